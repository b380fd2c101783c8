// The picture readers' shared parts: a picture as its decoder gives it, before it is
// brought to sRGB, turned and laid on the background.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/PixelBudget.h"
#include "host/SoftwareSurface.h"
#include "media/ColourProfile.h"
#include "media/Orientation.h"
#include "media/Picture.h"

namespace wqtrans::media {

struct RawPicture {
    SoftwareSurface pixels; // 0xAARRGGBB as stored
    ColourSpace colour;
    Orientation orientation;
    bool premultiplied = false; // colour already multiplied by alpha
};

// A picture whose data is bad.
[[noreturn]] inline void Unreadable(const std::string& reason) {
    throw PictureError(PictureError::Kind::Damaged, reason);
}
// A file that is no picture, or not one picture.
[[noreturn]] inline void Unsupported(const std::string& reason) {
    throw PictureError(PictureError::Kind::Unsupported, reason);
}

// A PictureError giving the size when width x height is over the pixel budget.
inline void CheckBudget(int64_t width, int64_t height) {
    const std::string problem = OverBudget(width, height);
    if (!problem.empty()) {
        throw PictureError(PictureError::Kind::OverBudget, "it is " + problem);
    }
}

// Whether the bytes start as a HEIF or AVIF file: an ISO box "ftyp" naming one of their
// brands as its major brand.
bool LooksLikeHeif(const uint8_t* data, size_t size);

// The primary picture of a HEIF or AVIF file, with its transformations (rotation,
// mirror, crop) done and its colour space as the file gives it.
RawPicture DecodeHeif(const uint8_t* data, size_t size);

} // namespace wqtrans::media
