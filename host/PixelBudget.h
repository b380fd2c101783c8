// The pixel budget of the hosts that take pictures from outside (files, streams,
// arrays): a side of at most 16384 pixels and 2^26 pixels in all, checked before any
// pixel memory is taken.
#pragma once

#include <cstdint>
#include <string>

namespace wqtrans {

inline constexpr int64_t kMaxSide = 16384;
inline constexpr int64_t kMaxPixels = int64_t{1} << 26;

// "" when a picture of width x height fits the budget; else its size and the limit.
inline std::string OverBudget(int64_t width, int64_t height) {
    if (width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels) {
        return "";
    }
    return std::to_string(width) + "x" + std::to_string(height) + " pixels; the limit is " + std::to_string(kMaxSide) +
           " a side and " + std::to_string(kMaxPixels) + " pixels in all (e.g. 8192x8192)";
}

} // namespace wqtrans
