// Pictures' colours brought into the output's colour space, sRGB, with Little CMS: an
// embedded ICC profile, or the primaries and transfer of a HEIF or AVIF picture's nclx
// box. Pictures that say nothing are sRGB already.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"

namespace wqtrans::media {

// A picture's colour space as its file describes it.
struct ColourSpace {
    std::vector<uint8_t> icc; // an ICC profile's bytes, when the file holds one
    // Otherwise the ITU-T H.273 code points of a nclx box (0: none given).
    int primaries = 0;
    int transfer = 0;
    bool Given() const { return !icc.empty() || primaries != 0 || transfer != 0; }
};

// Converts the picture's straight-alpha 0xAARRGGBB pixels from `space` to sRGB with the
// perceptual intent, alpha kept; once per picture. A profile that Little CMS refuses,
// or one of another kind than RGB or grey, leaves the pixels as they are and returns
// why, for a note ("" when converted or when there was nothing to convert).
std::string ConvertToSrgb(SoftwareSurface& picture, const ColourSpace& space);

} // namespace wqtrans::media
