#include "web/Pixels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "host/BlurFill.h"

namespace wqtrans::web {

namespace {

// For each of `target` outputs, `taps` source indexes (clamped to the edge) and their
// weights, which add up to 1. Output i is centred on source position (i + 0.5) * scale
// - 0.5.
struct AxisFilter {
    int32_t taps = 0;
    std::vector<int32_t> index;
    std::vector<float> weight;
};

enum class Kernel { Area, Linear, Cubic };

double CubicWeight(double d) {
    // Mitchell-Netravali with B = 0, C = 0.6.
    if (d < 1.0) {
        return (1.4 * d - 2.4) * d * d + 1.0;
    }
    if (d < 2.0) {
        return ((-0.6 * d + 3.0) * d - 4.8) * d + 2.4;
    }
    return 0.0;
}

AxisFilter MakeFilter(int32_t source, int32_t target, Kernel kernel) {
    AxisFilter filter;
    const double scale = static_cast<double>(source) / target;
    if (source == target) {
        filter.taps = 1;
        for (int32_t i = 0; i < target; ++i) {
            filter.index.push_back(i);
            filter.weight.push_back(1.0f);
        }
        return filter;
    }
    const double radius = kernel == Kernel::Area ? scale / 2 + 0.5 : kernel == Kernel::Linear ? 1.0 : 2.0;
    filter.taps = static_cast<int32_t>(std::ceil(2 * radius)) + 1;
    std::vector<double> weights(static_cast<size_t>(filter.taps));
    for (int32_t i = 0; i < target; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int32_t first = static_cast<int32_t>(std::floor(centre - radius));
        double sum = 0.0;
        for (int32_t k = 0; k < filter.taps; ++k) {
            const double d = std::abs(first + k - centre);
            double w = 0.0;
            if (kernel == Kernel::Area) {
                // How much of source pixel first + k the output's footprint covers.
                w = std::clamp(scale / 2 + 0.5 - d, 0.0, 1.0);
            } else if (kernel == Kernel::Linear) {
                w = std::max(0.0, 1.0 - d);
            } else {
                w = CubicWeight(d);
            }
            weights[static_cast<size_t>(k)] = w;
            sum += w;
        }
        for (int32_t k = 0; k < filter.taps; ++k) {
            filter.index.push_back(std::clamp(first + k, 0, source - 1));
            filter.weight.push_back(static_cast<float>(weights[static_cast<size_t>(k)] / sum));
        }
    }
    return filter;
}

// Output i of `filter`, channel by channel: `at(index)` points at the source's R, G and
// B at that index.
template <typename At> std::array<float, 3> Filtered(const AxisFilter& filter, int32_t i, At at) {
    std::array<float, 3> sum{};
    for (int32_t k = 0; k < filter.taps; ++k) {
        const size_t tap = static_cast<size_t>(i) * static_cast<size_t>(filter.taps) + static_cast<size_t>(k);
        const auto* p = at(filter.index[tap]);
        const float w = filter.weight[tap];
        for (int c = 0; c < 3; ++c) {
            sum[static_cast<size_t>(c)] += w * p[c];
        }
    }
    return sum;
}

uint32_t Channel(float value) { return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L)); }

} // namespace

void FitPicture(const uint8_t* rgba, int32_t width, int32_t height, FitMode mode, uint32_t background,
                SoftwareSurface& to) {
    const int32_t frameWidth = to.Width();
    uint32_t* frame = to.Pixels();
    std::fill(frame, frame + static_cast<size_t>(frameWidth) * static_cast<size_t>(to.Height()),
              0xFF000000u | background);
    const auto [from, place] = PlaceFitted(width, height, frameWidth, to.Height(), mode);

    const bool shrinking = place.width < from.width || place.height < from.height;
    const auto kernelFor = [shrinking](int32_t source, int32_t target) {
        return target < source ? Kernel::Area : shrinking ? Kernel::Linear : Kernel::Cubic;
    };
    const AxisFilter across = MakeFilter(from.width, place.width, kernelFor(from.width, place.width));
    const AxisFilter down = MakeFilter(from.height, place.height, kernelFor(from.height, place.height));

    // Across first, into rows of RGB, then down.
    std::vector<float> rows(static_cast<size_t>(place.width) * static_cast<size_t>(from.height) * 3);
    for (int32_t y = 0; y < from.height; ++y) {
        const uint8_t* line = rgba + (static_cast<size_t>(from.y + y) * static_cast<size_t>(width) + from.x) * 4;
        float* out = &rows[static_cast<size_t>(y) * static_cast<size_t>(place.width) * 3];
        for (int32_t x = 0; x < place.width; ++x) {
            const auto sum = Filtered(across, x, [line](int32_t i) { return line + static_cast<size_t>(i) * 4; });
            std::copy(sum.begin(), sum.end(), out + static_cast<size_t>(x) * 3);
        }
    }
    const auto rowWidth = static_cast<size_t>(place.width); // clang 14 captures no structured binding
    for (int32_t y = 0; y < place.height; ++y) {
        uint32_t* out = frame + static_cast<size_t>(place.y + y) * static_cast<size_t>(frameWidth) + place.x;
        for (int32_t x = 0; x < place.width; ++x) {
            const auto sum = Filtered(down, y, [&](int32_t i) {
                return &rows[(static_cast<size_t>(i) * rowWidth + static_cast<size_t>(x)) * 3];
            });
            out[x] = 0xFF000000u | Channel(sum[0]) << 16 | Channel(sum[1]) << 8 | Channel(sum[2]);
        }
    }
    if (mode == FitMode::Blur) {
        BlurBehind(to, place);
    }
}

void ToCanvasBytes(uint32_t* pixels, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t p = pixels[i];
        pixels[i] = 0xFF000000u | (p & 0xFF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
    }
}

} // namespace wqtrans::web
