// Pictures read from their bytes for every command of the tool and for the join: PNG,
// JPEG, WebP, and HEIC/HEIF and AVIF through libheif. Each comes as it is shown: turned
// and mirrored as its EXIF orientation (or the HEIF file's own transformations) says,
// its colours brought to sRGB from its colour profile, and transparency laid on a
// background. The pixel budget (host/PixelBudget.h) is checked from the header before
// any pixel memory is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"

namespace wqtrans::media {

// A picture that cannot be read; what() is the reason alone ("bad PNG data"), for the
// caller to put after the picture's name.
struct PictureError : std::runtime_error {
    enum class Kind {
        Damaged,     // its data is bad or cut short
        Unsupported, // not a picture, or not one picture (an animation, a sequence)
        OverBudget,  // what() is "it is WxH pixels; the limit is ..."
    };
    PictureError(Kind kind, const std::string& reason) : std::runtime_error(reason), kind(kind) {}
    Kind kind;
};

// Whether bytes start as a picture that DecodePicture reads does: enough to refuse a
// stream that is none from its first 12 bytes.
bool LooksLikePicture(const uint8_t* data, size_t size);

struct DecodedPicture {
    SoftwareSurface pixels; // opaque 0xFFRRGGBB, as shown
    // What the reader did not do as the file asked (a colour profile it could not use),
    // each a clause for a note after the picture's name.
    std::vector<std::string> notes;
};

// Decodes a picture, told by its content. A PictureError when it cannot be decoded or
// is over the pixel budget (the message gives its size). Transparent and translucent
// pixels are laid on `background` (0xFFRRGGBB).
DecodedPicture DecodePicture(const uint8_t* data, size_t size, uint32_t background = 0xFF000000u);

} // namespace wqtrans::media
