// DrawView on every path the processor has (AVX2, SSE2, the reference): whole, half and
// double pixels against the picture's own values, edges clamped, any position against
// the blend in double precision, the vector code against the reference, a mark's
// centroid following a view that moves by small steps, and degenerate views and sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "join/Viewport.h"

namespace wqtrans::join {
namespace {

constexpr int kPaths[] = {3, 1, 0};
constexpr uint32_t kGuard = 0x5A5A5A5Au;

// Rows `pad` words longer than the picture, of other values, so that a read past a
// row's end changes the output; with no padding one past the last row leaves the
// allocation (for AddressSanitizer).
struct Picture {
    int32_t width = 0, height = 0;
    size_t stride = 0;
    std::vector<uint32_t> words;
    uint32_t At(int32_t x, int32_t y) const {
        return words[static_cast<size_t>(std::clamp(y, 0, height - 1)) * stride + std::clamp(x, 0, width - 1)];
    }
};

Picture Random(int32_t width, int32_t height, uint32_t seed, int32_t pad = 3) {
    std::mt19937 random(seed);
    Picture p{width, height, static_cast<size_t>(width + pad), {}};
    p.words.resize(p.stride * static_cast<size_t>(height));
    std::generate(p.words.begin(), p.words.end(), random);
    return p;
}

int Channel(uint32_t word, int k) { return static_cast<int>(word >> (8 * k) & 0xFF); }

// w x h pixels drawn on `path` into a block that starts 0 to 7 words past a vector's
// alignment, its rows (of odd alignments in turn) followed by guard words that must
// stay, as must those before the block.
std::vector<uint32_t> Drawn(int path, const Picture& p, const ViewRect& view, int32_t w, int32_t h) {
    const size_t stride = static_cast<size_t>(std::max(w, 0)) + 3, lead = static_cast<size_t>(w + 3 * h) % 8;
    std::vector<uint32_t> block(lead + 8 + stride * static_cast<size_t>(std::max(h, 0)), kGuard), out;
    const size_t start = lead + (8 - reinterpret_cast<uintptr_t>(block.data()) / 4 % 8) % 8;
    detail::DrawViewLimited(path, p.words.empty() ? nullptr : p.words.data(), p.width, p.height, p.stride, view,
                            block.data() + start, w, h, stride);
    for (size_t k = 0; k < block.size(); ++k) {
        if (k >= start && k - start < stride * static_cast<size_t>(std::max(h, 0)) &&
            (k - start) % stride < static_cast<size_t>(w)) {
            out.push_back(block[k]);
        } else if (block[k] != kGuard) {
            ADD_FAILURE() << "written outside the block at word " << k << " (block from " << start << ")";
        }
    }
    return out;
}

// The first pixel that differs, with both words; empty if none.
std::string FirstDifference(const std::vector<uint32_t>& want, const std::vector<uint32_t>& got, int32_t w) {
    for (size_t k = 0; k < want.size(); ++k) {
        if (want[k] != got[k]) {
            char text[96];
            std::snprintf(text, sizeof text, "pixel (%zu, %zu): want %08X, got %08X", k % static_cast<size_t>(w),
                          k / static_cast<size_t>(w), want[k], got[k]);
            return text;
        }
    }
    return want.size() == got.size() ? "" : "sizes differ";
}

// The rounded (half up) mean of pixels, channel by channel, opaque.
uint32_t Mean(const std::vector<uint32_t>& words) {
    uint32_t mean = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (const uint32_t w : words) {
            sum += Channel(w, c);
        }
        mean |= static_cast<uint32_t>((sum + static_cast<int>(words.size()) / 2) / static_cast<int>(words.size()))
                << (8 * c);
    }
    return mean;
}

// Output pixel (i, j) is the rounded mean of the picture's pixels (sx i + x0 + dx,
// sy j + y0 + dy) over the case's (dx, dy), edges clamped.
TEST(Viewport, ShowsWholeHalfAndDoublePixels) {
    const Picture p = Random(13, 9, 1);
    const struct {
        const char* name;
        ViewRect view;
        int32_t w, h, sx, x0, sy, y0;
        std::vector<std::pair<int, int>> mean;
    } cases[] = {
        {"identity", {0, 0, 13, 9}, 13, 9, 1, 0, 1, 0, {{0, 0}}},
        {"whole pixels in", {3, 2, 8, 5}, 8, 5, 1, 3, 1, 2, {{0, 0}}},
        {"whole pixels out", {-2, 4, 13, 9}, 13, 9, 1, -2, 1, 4, {{0, 0}}},
        {"half across", {0.5, 0, 13, 9}, 13, 9, 1, 0, 1, 0, {{0, 0}, {1, 0}}},
        {"half down", {0, 0.5, 13, 9}, 13, 9, 1, 0, 1, 0, {{0, 0}, {0, 1}}},
        {"half out", {-0.5, 0, 13, 9}, 13, 9, 1, -1, 1, 0, {{0, 0}, {1, 0}}},
        {"2:1 across", {0, 0, 12, 9}, 6, 9, 2, 0, 1, 0, {{0, 0}, {1, 0}}},
        {"2:1 both", {1, 1, 12, 8}, 6, 4, 2, 1, 2, 1, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}},
        {"mirrored", {13, 0, -13, 9}, 13, 9, -1, 12, 1, 0, {{0, 0}}},
        {"far outside", {-40, 30, 5, 5}, 7, 3, 0, 0, 0, 8, {{0, 0}}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> want;
        for (int32_t j = 0; j < c.h; ++j) {
            for (int32_t i = 0; i < c.w; ++i) {
                std::vector<uint32_t> words;
                for (const auto& [dx, dy] : c.mean) {
                    words.push_back(p.At(c.sx * i + c.x0 + dx, c.sy * j + c.y0 + dy));
                }
                want.push_back(Mean(words));
            }
        }
        for (const int path : kPaths) {
            EXPECT_EQ(FirstDifference(want, Drawn(path, p, c.view, c.w, c.h), c.w), "") << c.name << ", path " << path;
        }
    }
}

// Random views (enlarging, 1 to 2 and more, hanging out, mirrored) of random pictures
// of odd sizes, and frames large enough to be written past the cache: the vector code
// gives the reference's words, and those are within 0.6 of the blend at the exact
// position in double precision (rounding 0.5, positions to 1/4096 pixel at most
// 2 * 255 / 8192, the rows' blend kept to 1/256).
TEST(Viewport, FollowsTheExactBlend) {
    std::mt19937 random(7);
    const auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    const int32_t sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {37, 23}, {101, 67}, {3, 200}};
    double worst = 0;
    for (int trial = 0; trial < 243; ++trial) {
        const bool large = trial >= 240; // 1100 x 500 words: 2.2 MB
        const auto* size = sizes[trial % 6];
        const Picture p =
            large ? Random(1301, 703, 9) : Random(size[0], size[1], static_cast<uint32_t>(trial), trial % 2 * 3);
        const int32_t w = large ? 1100 : 1 + static_cast<int32_t>(random() % 70);
        const int32_t h = large ? 500 : 1 + static_cast<int32_t>(random() % 40);
        const double scale = uniform(0.3, 2.3) * (trial % 17 == 0 ? -1 : 1);
        const ViewRect view{uniform(-4, p.width), uniform(-4, p.height), scale * w, std::abs(scale) * h};
        const std::vector<uint32_t> reference = Drawn(0, p, view, w, h);
        for (const int path : {3, 1}) {
            ASSERT_EQ(FirstDifference(reference, Drawn(path, p, view, w, h), w), "") << "trial " << trial;
        }
        for (int32_t j = 0; j < h; ++j) {
            const double sy = std::clamp(view.y + (j + 0.5) * view.height / h - 0.5, 0.0, p.height - 1.0);
            const int32_t y = static_cast<int32_t>(sy);
            for (int32_t i = 0; i < w; ++i) {
                const double sx = std::clamp(view.x + (i + 0.5) * view.width / w - 0.5, 0.0, p.width - 1.0);
                const int32_t x = static_cast<int32_t>(sx);
                for (int c = 0; c < 3; ++c) {
                    const auto at = [&](int32_t dx, int32_t dy) { return Channel(p.At(x + dx, y + dy), c); };
                    const double fx = sx - x, fy = sy - y;
                    const double exact =
                        (at(0, 0) * (1 - fx) + at(1, 0) * fx) * (1 - fy) + (at(0, 1) * (1 - fx) + at(1, 1) * fx) * fy;
                    worst = std::max(worst, std::abs(Channel(reference[j * w + i], c) - exact));
                }
            }
        }
    }
    EXPECT_LE(worst, 0.6);
}

// A round mark seen through a view moving 100 steps of 0.013 pixel, across or down: its
// centroid in the output moves every step, the same way, by steps that agree to 0.005
// pixel, and stays within 0.01 pixel of a straight line. The mark is a disc with a
// Gaussian edge: rounding the output to 8 bits alone moves a small Gaussian's centroid
// by about 0.01 pixel from step to step (its faint tail is far out), a plateau rounds
// exactly. Positions taken to 1/256 pixel would fail at scale 1.
TEST(Viewport, MarkFollowsTheViewSmoothly) {
    constexpr int32_t kSize = 96, kOut = 80;
    constexpr double kX = 46.3, kY = 48.6, kRadius = 16, kEdge = 2;
    Picture p{kSize, kSize, kSize, std::vector<uint32_t>(kSize * kSize)};
    for (int32_t y = 0; y < kSize; ++y) {
        for (int32_t x = 0; x < kSize; ++x) {
            const double out = std::max(0.0, std::hypot(x - kX, y - kY) - kRadius);
            p.words[static_cast<size_t>(y * kSize + x)] =
                static_cast<uint32_t>(std::lround(255 * std::exp(-out * out / (2 * kEdge * kEdge)))) << 8;
        }
    }
    const struct {
        bool down;
        double scale; // picture pixels per output pixel
    } cases[] = {{false, 1.0}, {false, 1.37}, {false, 1.9}, {true, 1.37}, {false, 0.6}};
    for (const auto& c : cases) {
        for (const int path : kPaths) {
            std::vector<double> centroid;
            for (int step = 0; step <= 100; ++step) {
                const double across = c.down ? 0.3 : 0.013 * step, down = c.down ? 0.013 * step : 0.3;
                const double x = kX + 0.5 - kOut / 2.0 * c.scale + across, y = kY + 0.5 - kOut / 2.0 * c.scale + down;
                const std::vector<uint32_t> out = Drawn(path, p, {x, y, kOut * c.scale, kOut * c.scale}, kOut, kOut);
                double sum = 0, moment = 0;
                for (size_t k = 0; k < out.size(); ++k) {
                    sum += Channel(out[k], 1);
                    moment += Channel(out[k], 1) * static_cast<double>(c.down ? k / kOut : k % kOut);
                }
                centroid.push_back(moment / sum);
            }
            const double slope = (centroid.back() - centroid.front()) / 100;
            double forward = -1, off = 0, bend = 0;
            for (size_t k = 1; k < centroid.size(); ++k) {
                forward = std::max(forward, centroid[k] - centroid[k - 1]);
                off = std::max(off, std::abs(centroid[k] - centroid[0] - slope * static_cast<double>(k)));
                if (k >= 2) {
                    bend = std::max(bend, std::abs(centroid[k] - 2 * centroid[k - 1] + centroid[k - 2]));
                }
            }
            SCOPED_TRACE("scale " + std::to_string(c.scale) + (c.down ? " down" : " across") + ", path " +
                         std::to_string(path));
            EXPECT_NEAR(slope, -0.013 / c.scale, 0.0002);
            EXPECT_LT(forward, 0);
            EXPECT_LE(off, 0.01);
            EXPECT_LE(bend, 0.005);
        }
    }
}

TEST(Viewport, DegenerateViewsAndSizesAreSafe) {
    const double inf = HUGE_VAL, nan = std::nan("");
    const struct {
        int32_t pw, ph; // 0: no picture
        ViewRect view;
        int32_t w, h;
    } cases[] = {
        {0, 0, {0, 0, 4, 4}, 5, 3},
        {1, 1, {0, 0, 1, 1}, 9, 7},
        {1, 1, {-1e12, 1e12, 1e15, -1e15}, 9, 7},
        {5, 4, {0, 0, 0, 0}, 9, 7},
        {5, 4, {2.5, 1.5, 0, 0}, 17, 1},
        {5, 4, {1e300, -1e300, 1e308, 1e308}, 3, 3},
        {5, 4, {nan, inf, -inf, nan}, 8, 8},
        {5, 4, {0, 0, 5, 4}, 0, 4},
        {5, 4, {0, 0, 5, 4}, 4, -2},
        {2, 1, {-3, 0, 1e9, 1}, 33, 1},
        {1, 9, {0, 0, 1, 9}, 1, 40},
        {4000, 1, {0, 0, 4000, 1}, 3, 2},
    };
    for (const auto& c : cases) {
        const Picture p = c.pw == 0 ? Picture{} : Random(c.pw, c.ph, 3, 0);
        for (const int path : kPaths) {
            const std::vector<uint32_t> out = Drawn(path, p, c.view, c.w, c.h);
            EXPECT_EQ(out.size(), static_cast<size_t>(std::max(0, c.w) * std::max(0, c.h)));
            for (const uint32_t word : out) {
                ASSERT_EQ(word >> 24, 0xFFu);
                if (c.pw * c.ph <= 1) {
                    ASSERT_EQ(word, Mean({c.pw == 0 ? 0 : p.At(0, 0)}));
                }
            }
        }
    }
    detail::DrawViewLimited(3, nullptr, 0, 0, 0, {}, nullptr, 10, 10, 10); // no destination
}

} // namespace
} // namespace wqtrans::join
