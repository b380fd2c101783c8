// Frames whose pixels tell their origin: pixel (x, y) of frame F holds
// F << 24 | y << 12 | x (x and y below 4096), so that every destination pixel decodes
// to "frame F, pixel (x, y)". Copies keep all 32 bits on the reference surface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/SoftwareSurface.h"

namespace wqtrans::test {

enum FrameTag : uint32_t { kOldTag = 1, kNewTag = 2, kDestTag = 3 };

constexpr uint32_t Tagged(uint32_t frame, int32_t x, int32_t y) {
    return frame << 24 | static_cast<uint32_t>(y) << 12 | static_cast<uint32_t>(x);
}

inline void TagFrame(SoftwareSurface& surface, uint32_t frame) {
    for (int32_t y = 0; y < surface.Height(); ++y) {
        for (int32_t x = 0; x < surface.Width(); ++x) {
            surface.SetPixel(x, y, Tagged(frame, x, y));
        }
    }
}

inline std::string DescribePixel(uint32_t value) {
    return "frame " + std::to_string(value >> 24) + " (" + std::to_string(value & 0xFFF) + ", " +
           std::to_string((value >> 12) & 0xFFF) + ")";
}

// "" when every pixel equals `expected`(x, y); otherwise the first bad pixel with both
// values and the number of bad pixels.
inline std::string FirstBadPixel(const SoftwareSurface& surface,
                                 const std::function<uint32_t(int32_t x, int32_t y)>& expected) {
    std::string first;
    long bad = 0;
    auto& s = const_cast<SoftwareSurface&>(surface);
    for (int32_t y = 0; y < s.Height(); ++y) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            const uint32_t want = expected(x, y);
            const uint32_t got = s.Pixel(x, y);
            if (want != got) {
                if (bad == 0) {
                    first = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): expected " +
                            DescribePixel(want) + ", got " + DescribePixel(got);
                }
                ++bad;
            }
        }
    }
    return bad == 0 ? std::string() : first + " (" + std::to_string(bad) + " bad pixels)";
}

} // namespace wqtrans::test
