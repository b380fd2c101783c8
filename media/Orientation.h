// How a picture's stored pixels are laid out on the display, as its EXIF orientation
// or a clip's display matrix says: transposed (x and y swapped), then mirrored left to
// right and top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/SoftwareSurface.h"

namespace wqtrans::media {

struct Orientation {
    bool transpose = false;
    bool flipX = false;
    bool flipY = false;
    bool Identity() const { return !transpose && !flipX && !flipY; }
    bool operator==(const Orientation&) const = default;
};

// A clockwise turn of 0, 90, 180 or 270 degrees (others count as 0).
Orientation Turned(int degrees);

// An EXIF orientation, 1 to 8; anything else is upright.
Orientation FromExif(int value);

// The orientation an EXIF block gives (a JPEG's APP1 payload, which starts "Exif\0\0",
// or the bare TIFF structure of a PNG's eXIf or a WebP's EXIF chunk); upright when the
// block is damaged or has no orientation.
Orientation ExifOrientation(const uint8_t* data, size_t size);

// The picture as shown: a new surface when the orientation turns or mirrors it.
SoftwareSurface Oriented(SoftwareSurface&& picture, Orientation orientation);

} // namespace wqtrans::media
