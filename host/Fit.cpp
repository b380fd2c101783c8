#include "host/Fit.h"

#include <algorithm>
#include <cmath>

namespace wqtrans {

std::optional<FitMode> FitModeNamed(std::string_view name) {
    if (name == "stretch") {
        return FitMode::Stretch;
    }
    if (name == "contain") {
        return FitMode::Contain;
    }
    if (name == "cover") {
        return FitMode::Cover;
    }
    if (name == "blur") {
        return FitMode::Blur;
    }
    return std::nullopt;
}

FitPlacement PlaceFitted(int32_t pictureWidth, int32_t pictureHeight, int32_t width, int32_t height, FitMode mode) {
    const int32_t pw = pictureWidth;
    const int32_t ph = pictureHeight;
    FitPlacement placement{{0, 0, pw, ph}, {0, 0, width, height}};
    if (mode == FitMode::Stretch || int64_t{pw} * height == int64_t{ph} * width) {
        return placement;
    }
    if (mode == FitMode::Contain || mode == FitMode::Blur) {
        const double scale = std::min(static_cast<double>(width) / pw, static_cast<double>(height) / ph);
        const int32_t w = std::clamp(static_cast<int32_t>(std::lround(pw * scale)), 1, width);
        const int32_t h = std::clamp(static_cast<int32_t>(std::lround(ph * scale)), 1, height);
        placement.to = {(width - w) / 2, (height - h) / 2, w, h};
    } else {
        const double scale = std::max(static_cast<double>(width) / pw, static_cast<double>(height) / ph);
        const int32_t w = std::clamp(static_cast<int32_t>(std::lround(width / scale)), 1, pw);
        const int32_t h = std::clamp(static_cast<int32_t>(std::lround(height / scale)), 1, ph);
        placement.from = {(pw - w) / 2, (ph - h) / 2, w, h};
    }
    return placement;
}

} // namespace wqtrans
