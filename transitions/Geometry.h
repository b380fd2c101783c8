// Integer conversions of the pixel geometry that stay defined for any size a host
// reports: a surface may claim sizes near 2^31 or below 0, and the module must then
// draw some picture rather than run into undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>

namespace wqtrans {

// A double truncated towards zero to a 32-bit integer, as the platform's conversion
// instruction does it: a value outside the 32-bit range, or NaN, gives 0x80000000
// (the processor's "integer indefinite").
inline int32_t TruncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

// A sum or product of 32-bit values, taken in 64 bits and brought back to 32 bits
// modulo 2^32, as 32-bit pixel geometry wraps.
inline int32_t Wrap32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// The most pixels a frame may have for transitions whose work grows with its area
// (one call per cell, strip or pixel): 2^28, a 1 GiB frame of 32-bit pixels. A host
// that reports more (a failing or foreign surface) gets the new frame whole in one
// call, so that a step cannot run for minutes.
// Sizes are taken unsigned, so that a negative size counts as a huge one, and a side
// of 0 as 1, so that a long thin frame counts too.
constexpr uint64_t kMaxFrameArea = uint64_t{1} << 28;

inline bool FrameFits(uint32_t width, uint32_t height) {
    return uint64_t{width > 0 ? width : 1u} * uint64_t{height > 0 ? height : 1u} <= kMaxFrameArea;
}

} // namespace wqtrans
