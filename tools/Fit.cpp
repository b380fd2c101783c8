// Bringing a picture to another size: stretched, letterboxed (contain), cropped (cover)
// or contained on a blurred copy of itself (blur), with libswscale's area filter when
// shrinking and bicubic when enlarging.
extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "host/BlurFill.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

// Scales the `sw` x `sh` block at (sx, sy) of `from` onto the `dw` x `dh` block at
// (dx, dy) of `to`.
void ScaleBlock(Picture& from, int32_t sx, int32_t sy, int32_t sw, int32_t sh, Picture& to, int32_t dx, int32_t dy,
                int32_t dw, int32_t dh) {
    // Full chroma on input too: without it, libswscale halves the colour resolution
    // across when a picture shrinks to half its width or less.
    const int flags =
        (dw < sw || dh < sh ? SWS_AREA : SWS_BICUBIC) | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP;
    SwsContext* scaler =
        sws_getContext(sw, sh, AV_PIX_FMT_BGRA, dw, dh, AV_PIX_FMT_BGRA, flags, nullptr, nullptr, nullptr);
    if (scaler == nullptr) {
        throw std::bad_alloc();
    }
    const uint8_t* source[1] = {
        reinterpret_cast<const uint8_t*>(from.Pixels() + static_cast<ptrdiff_t>(sy) * from.Width() + sx)};
    const int sourceStride[1] = {from.Width() * 4};
    uint8_t* dest[1] = {reinterpret_cast<uint8_t*>(to.Pixels() + static_cast<ptrdiff_t>(dy) * to.Width() + dx)};
    const int destStride[1] = {to.Width() * 4};
    sws_scale(scaler, source, sourceStride, 0, sh, dest, destStride);
    sws_freeContext(scaler);
}

} // namespace

FitMode ParseFit(const std::string& text) {
    if (const std::optional<FitMode> mode = FitModeNamed(text)) {
        return *mode;
    }
    UsageError("--fit \"" + text + "\" is not one of: stretch, contain, cover, blur");
}

uint32_t ParseColour(const std::string& text) {
    std::string lower;
    for (char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    static const std::pair<const char*, uint32_t> kNames[] = {
        {"black", 0x000000}, {"white", 0xFFFFFF}, {"gray", 0x808080}, {"grey", 0x808080},
        {"red", 0xFF0000},   {"green", 0x008000}, {"blue", 0x0000FF},
    };
    for (const auto& [name, rgb] : kNames) {
        if (lower == name) {
            return 0xFF000000u | rgb;
        }
    }
    std::string hex = lower;
    if (!hex.empty() && hex[0] == '#') {
        hex.erase(0, 1);
    } else if (hex.size() > 2 && hex.compare(0, 2, "0x") == 0) {
        hex.erase(0, 2);
    }
    if (hex.size() == 3) {
        hex = {hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    }
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(c) != 0; })) {
        UsageError("--background \"" + text +
                   "\" is not a colour: use #RRGGBB, #RGB or black, white, gray, red, "
                   "green, blue");
    }
    return 0xFF000000u | static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
}

std::unique_ptr<Picture> Scaled(Picture& picture, int32_t width, int32_t height, const FitOptions& fit) {
    auto scaled = std::make_unique<Picture>(width, height, fit.background);
    const auto [from, to] = PlaceFitted(picture.Width(), picture.Height(), width, height, fit.mode);
    ScaleBlock(picture, from.x, from.y, from.width, from.height, *scaled, to.x, to.y, to.width, to.height);
    if (fit.mode == FitMode::Blur) {
        BlurBehind(*scaled, to);
    }
    // The frames are opaque, whatever the picture's alpha.
    uint32_t* pixels = scaled->Pixels();
    for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i) {
        pixels[i] |= 0xFF000000u;
    }
    return scaled;
}

std::pair<int32_t, int32_t> FitInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight) {
    if (width <= boxWidth && height <= boxHeight) {
        return {width, height};
    }
    const double scale = std::min(static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height);
    return {std::max(1, static_cast<int32_t>(std::lround(width * scale))),
            std::max(1, static_cast<int32_t>(std::lround(height * scale)))};
}

} // namespace wqtrans::tool
