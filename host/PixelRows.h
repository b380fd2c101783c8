// Row kernels of the reference surface: one row of n pixels combined from a source row
// and a destination row into an output row. The output may be the destination row
// itself; the source must not overlap either. The destination's top byte is kept.
#pragma once

#include <cstdint>

namespace wqtrans::pixels {

// out = (s * (128 - p) + d * p) / 128 per colour channel, p from 0 to 128.
void Blend(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p);

// With a = tint >> 24 and c the channel's byte of tint: s' = s * c / 255, then
// out = (s' * a + d * (255 - a)) / 255 per colour channel.
void Tint(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t tint);

} // namespace wqtrans::pixels
