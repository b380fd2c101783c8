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

// out[k] = row[columns[k]] for k below n: one row of a stretch. `limit` is the number
// of pixels that may be read from `row` on (the columns are below it); out must not
// overlap row.
void Gather(uint32_t* out, const uint32_t* row, const uint32_t* columns, int64_t n, int64_t limit);

// With `plain` set, the kernels above and the surface's drawing calls take only their
// plain paths: portable loops, one pixel at a time, with no vector code, no row copies
// for unscaled stretches and no runs of columns. For tests, which draw every case both
// ways and compare the pixels; off unless a test sets it.
void UsePlainPaths(bool plain);
bool PlainPaths();

} // namespace wqtrans::pixels
