// Row kernels of the reference surface: one row of n pixels combined from a source row
// and a destination row into an output row. The output may be the destination row
// itself; the source must not overlap either. The destination's top byte is kept.
#pragma once

#include <cstdint>
#include <vector>

namespace wqtrans::pixels {

// out = (s * (128 - p) + d * p) / 128 per colour channel, p from 0 to 128.
void Blend(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p);

// The blend on n 3-byte pixels, every byte a colour channel: io = (s * (128 - p) + io *
// p) / 128 per byte, io the destination and the output.
void BlendTriples(uint8_t* io, const uint8_t* s, int64_t n, uint32_t p);

// With a = tint >> 24 and c the channel's byte of tint: s' = s * c / 255, then
// out = (s' * a + d * (255 - a)) / 255 per colour channel.
void Tint(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t tint);

// out[k] = row[columns[k]] for k below n: one row of a stretch. `limit` is the number
// of pixels that may be read from `row` on (the columns are below it); out must not
// overlap row.
void Gather(uint32_t* out, const uint32_t* row, const uint32_t* columns, int64_t n, int64_t limit);

// A stretch's gather on 3-byte pixels: pixel k of an output row is pixel columns[k] of
// a source row, for k below n, the same columns for every row. The columns, which grow
// with k, are made once into a plan: where each four output pixels read and the byte
// shuffles that pick them, so that where the processor has SSSE3 a row goes four pixels
// a step (four output pixels reading from within 32 bytes: every growth and every
// shrink to 0.4 and more); elsewhere a pixel at a time.
class TripleGather {
public:
    TripleGather(const uint32_t* columns, int64_t n);
    // One output row from `row`, of which `readable` bytes on may be read.
    void Row(uint8_t* out, const uint8_t* row, int64_t readable) const;

    struct Group {
        uint32_t start;            // the first byte read, from the row's start
        bool fits;                 // the four pixels lie within the 32 bytes from start
        uint8_t low[16], high[16]; // the shuffles of the two 16-byte halves
    };

private:
    std::vector<uint32_t> columns;
    std::vector<Group> groups;
};

// With `plain` set, the kernels above and the surface's drawing calls take only their
// plain paths: portable loops, one pixel at a time, with no vector code, no row copies
// for unscaled stretches and no runs of columns. For tests, which draw every case both
// ways and compare the pixels; off unless a test sets it.
void UsePlainPaths(bool plain);
bool PlainPaths();

} // namespace wqtrans::pixels
