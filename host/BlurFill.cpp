#include "host/BlurFill.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace wqtrans {

namespace {

// Three quarters of each channel: dark enough that the picture in front stands out from
// its fill, light enough that the fill still reads as the picture's colours.
constexpr float kDarken = 0.75f;
// The small copy is about this many times smaller a side than the frame.
constexpr int32_t kShrink = 8;
// The box blur's radius is the small copy's longer side over this (at least 1): three
// passes of radius r spread like a Gaussian of sigma sqrt(r * (r + 1)), about a
// thirtieth of the frame's longer side.
constexpr int32_t kRadiusDivisor = 32;

// Columns of a row: begin inside, end just past.
struct Span {
    int32_t begin = 0;
    int32_t end = 0;
};

// Columns begin to end of the frame that lie between small pixels `first` and first + 1.
struct Run {
    int32_t begin;
    int32_t end;
    int32_t first;
};

// The memory a call works in, kept by each thread from one call to the next: at a
// frame's rate, taking it afresh (about a megabyte for 1080p, an eighth of the frame)
// would have the C library hand it back to the system and fault it in again page by
// page, which costs about as much as the work. It only grows, to the largest frame seen.
struct Scratch {
    std::vector<float> a, b, sums;    // the small copy while it is blurred, four floats a pixel
    std::vector<uint16_t> columnSums; // a row of the crop's box sums
    std::vector<float> columnFloats;  // the same as floats
    std::vector<int32_t> boxStarts;   // where the crop's boxes start across
    std::vector<uint32_t> small;      // the small copy, blurred and darkened
    // EnlargedRows': the runs of columns between the same two small pixels; for each
    // column of the frame, those two pixels and their weights; two small rows enlarged
    // and what the rows between them are drawn from.
    std::vector<Run> runs;
    std::vector<uint32_t> left, right;
    std::vector<uint16_t> keepLeft, takeRight, upper, lower, base, step;
};

template <typename T> T* Sized(std::vector<T>& v, std::size_t n) {
    if (v.size() < n) {
        v.resize(n);
    }
    return v.data();
}

// The calling thread's Scratch.
Scratch& ThisThreadsScratch() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    // The browser build runs one thread, and its linker refuses thread-local storage
    // without atomics.
    static Scratch scratch;
#else
    thread_local Scratch scratch;
#endif
    return scratch;
}

// The row kernels the work is made of: plain loops over whole rows, which the compiler
// vectorises. On x86-64 Linux each is built twice, for AVX2 and for the baseline, and
// the loader picks the one the processor runs (the attribute only asks the compiler for
// both); elsewhere, the browser's build too, once. Not under ThreadSanitizer, whose
// runtime is not up yet when the loader picks.
#if defined(__SANITIZE_THREAD__)
#define WQTRANS_THREAD_SANITIZER
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WQTRANS_THREAD_SANITIZER
#endif
#endif
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(WQTRANS_THREAD_SANITIZER)
#define WQTRANS_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define WQTRANS_ROW_KERNEL
#endif

// sums += a + b, n bytes into n 16-bit sums.
WQTRANS_ROW_KERNEL void AddRows(uint16_t* sums, const uint8_t* a, const uint8_t* b, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        sums[k] = static_cast<uint16_t>(sums[k] + a[k] + b[k]);
    }
}

// sums += a.
WQTRANS_ROW_KERNEL void AddRow(uint16_t* sums, const uint8_t* a, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        sums[k] = static_cast<uint16_t>(sums[k] + a[k]);
    }
}

// out = in, n 16-bit sums into floats.
WQTRANS_ROW_KERNEL void ToFloats(float* out, const uint16_t* in, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        out[k] = static_cast<float>(in[k]);
    }
}

// A step of a running box sum down a column: to = sums * scale, then sums += entering -
// leaving.
WQTRANS_ROW_KERNEL void BoxRow(float* to, float* sums, const float* entering, const float* leaving, std::size_t n,
                               float scale) {
    for (std::size_t k = 0; k < n; ++k) {
        to[k] = sums[k] * scale;
        sums[k] += entering[k] - leaving[k];
    }
}

// The same with bytes out, rounded: sums * scale is at least 0 (a sum's rounding errors
// are far below 0.5) and below 256.
WQTRANS_ROW_KERNEL void BoxRowToBytes(uint8_t* to, float* sums, const float* entering, const float* leaving,
                                      std::size_t n, float scale) {
    for (std::size_t k = 0; k < n; ++k) {
        to[k] = static_cast<uint8_t>(static_cast<int32_t>(sums[k] * scale + 0.5f));
        sums[k] += entering[k] - leaving[k];
    }
}

// Bytes begin to end of a row enlarged across: (a * wa + b * wb + 32) / 64 with the
// weights out of 256, in 1/4 steps. The sum stays below 2^16 (255 * 256 + 32), so it is
// kept in 16-bit lanes.
WQTRANS_ROW_KERNEL void Weigh(uint16_t* out, const uint8_t* a, const uint8_t* b, const uint16_t* wa, const uint16_t* wb,
                              std::size_t begin, std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        out[k] = static_cast<uint16_t>(static_cast<uint16_t>(a[k] * wa[k] + b[k] * wb[k] + 32) >> 6);
    }
}

// What the rows between enlarged rows a and b are drawn from: base = a * 64 + 128 and
// step = b - a, wrapping below 0 (only the low 16 bits of a row's sum count).
WQTRANS_ROW_KERNEL void Prepare(uint16_t* base, uint16_t* step, const uint16_t* a, const uint16_t* b, std::size_t begin,
                                std::size_t end) {
    for (std::size_t k = begin; k < end; ++k) {
        base[k] = static_cast<uint16_t>(a[k] * 64 + 128);
        step[k] = static_cast<uint16_t>(b[k] - a[k]);
    }
}

// Bytes begin to end of an output row at weight w (out of 64) between rows a and b:
// (base + step * w) / 256 = (a * (64 - w) + b * w + 128) / 256. The sum stays below 2^16
// (1020 * 64 + 128), so it is kept in 16-bit lanes.
WQTRANS_ROW_KERNEL void DrawRow(uint8_t* line, const uint16_t* base, const uint16_t* step, std::size_t begin,
                                std::size_t end, uint16_t w) {
    for (std::size_t k = begin; k < end; ++k) {
        line[k] = static_cast<uint8_t>(static_cast<uint16_t>(base[k] + step[k] * w) >> 8);
    }
}

// The crop at (x, y), w x h pixels, of a frame whose rows are `stride` bytes apart,
// box-averaged down to a small copy of sw x sh pixels of four float channels in the
// frame's byte order. Each small pixel averages a box of at least one pixel: the boxes
// tile the crop when it is the larger, and repeat its pixels when it is the smaller.
void Shrink(const uint8_t* bytes, std::size_t stride, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sw,
            int32_t sh, float* out, std::vector<uint16_t>& columnSums, std::vector<float>& columnFloats,
            std::vector<int32_t>& boxStarts) {
    const std::size_t n = static_cast<std::size_t>(w) * 4;
    const auto line = [&](int32_t row) {
        return bytes + static_cast<std::size_t>(y + row) * stride + static_cast<std::size_t>(x) * 4;
    };
    // A box is at most 15 rows high (the crop is no taller than the frame, the small copy
    // an eighth of it and at least a row), so a column's sum stays below 16 * 255.
    uint16_t* sums = Sized(columnSums, n);
    float* floats = Sized(columnFloats, n);
    // Where each box starts across, worked out once for all rows.
    int32_t* boxes = Sized(boxStarts, static_cast<std::size_t>(sw) + 1);
    for (int32_t i = 0; i <= sw; ++i) {
        boxes[i] = static_cast<int32_t>(int64_t{i} * w / sw);
    }
    for (int32_t j = 0; j < sh; ++j) {
        const int32_t top = static_cast<int32_t>(int64_t{j} * h / sh);
        const int32_t bottom = std::max(top + 1, static_cast<int32_t>(int64_t{j + 1} * h / sh));
        // Two rows at a time, so that two streams are read from memory at once.
        std::fill(sums, sums + n, uint16_t{0});
        int32_t row = top;
        for (; row + 1 < bottom; row += 2) {
            AddRows(sums, line(row), line(row + 1), n);
        }
        if (row < bottom) {
            AddRow(sums, line(row), n);
        }
        // Then across, on floats, four channels a step.
        ToFloats(floats, sums, n);
        for (int32_t i = 0; i < sw; ++i) {
            const int32_t left = boxes[i];
            const int32_t right = std::max(left + 1, boxes[i + 1]);
            float total[4] = {};
            for (int32_t column = left; column < right; ++column) {
                for (int c = 0; c < 4; ++c) {
                    total[c] += floats[static_cast<std::size_t>(column) * 4 + static_cast<std::size_t>(c)];
                }
            }
            const float scale = 1.0f / static_cast<float>((bottom - top) * (right - left));
            float* pixel = out + (static_cast<std::size_t>(j) * static_cast<std::size_t>(sw) + i) * 4;
            for (int c = 0; c < 4; ++c) {
                pixel[c] = total[c] * scale;
            }
        }
    }
}

// The w x h four-channel image `in` turned about its diagonal into `out` (h x w), so that
// the passes across run as passes down, a whole row at a time; in tiles of 8 x 8
// pixels, so that each tile's rows stay in the cache while it is turned.
void Transpose(const float* in, float* out, int32_t w, int32_t h) {
    constexpr int32_t kTile = 8;
    for (int32_t y0 = 0; y0 < h; y0 += kTile) {
        for (int32_t x0 = 0; x0 < w; x0 += kTile) {
            for (int32_t y = y0; y < std::min(y0 + kTile, h); ++y) {
                for (int32_t x = x0; x < std::min(x0 + kTile, w); ++x) {
                    const float* from = in + (static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x) * 4;
                    float* to = out + (static_cast<std::size_t>(x) * static_cast<std::size_t>(h) + y) * 4;
                    std::copy_n(from, 4, to);
                }
            }
        }
    }
}

// One box pass of radius r down each column of the w x h four-channel image `in`, the
// edge rows repeated past the ends, into `out`; or, when `bytes` is given, into rows
// of bytes `stride` bytes apart, each sample times `darken`. A running sum, kept for a
// whole row at a time: one add and one subtract a sample, whatever the radius.
void BoxDown(const float* in, float* out, int32_t w, int32_t h, int32_t r, float* sums, uint8_t* bytes = nullptr,
             std::size_t stride = 0, float darken = 1.0f) {
    const float scale = darken / static_cast<float>(2 * r + 1);
    const std::size_t n = static_cast<std::size_t>(w) * 4;
    const auto row = [&](int32_t y) { return in + static_cast<std::size_t>(std::clamp(y, 0, h - 1)) * n; };
    std::fill(sums, sums + n, 0.0f);
    for (int32_t k = -r; k <= r; ++k) {
        const float* p = row(k);
        for (std::size_t i = 0; i < n; ++i) {
            sums[i] += p[i];
        }
    }
    for (int32_t y = 0; y < h; ++y) {
        if (bytes != nullptr) {
            BoxRowToBytes(bytes + static_cast<std::size_t>(y) * stride, sums, row(y + r + 1), row(y - r), n, scale);
        } else {
            BoxRow(out + static_cast<std::size_t>(y) * n, sums, row(y + r + 1), row(y - r), n, scale);
        }
    }
}

// Where output position i of `size` samples falls between two of `small` samples, with
// pixel centres at +0.5 and the ends clamped: the first of the two and the weight of
// the second, out of 2^bits.
struct Tap {
    int32_t first;
    int32_t weight;
};
Tap TapAt(int64_t i, int64_t size, int64_t small, int bits) {
    const int64_t one = int64_t{1} << bits;
    // (i + 0.5) * small / size - 0.5, in 1/one steps.
    const int64_t numerator = (2 * i + 1) * small * one - size * one;
    if (numerator < 0) {
        return {0, 0};
    }
    const int64_t at = numerator / (2 * size);
    if (at >> bits >= small - 1) {
        return {static_cast<int32_t>(small - 1), 0};
    }
    return {static_cast<int32_t>(at >> bits), static_cast<int32_t>(at & (one - 1))};
}

// Rows of the small copy enlarged across to the frame's width, as channels in 1/4
// steps (0 to 1020), over the columns the fill needs, and the output rows drawn between
// two of them. Two enlarged rows are kept, the two that the output row being drawn lies
// between; output rows go down the frame, so each small row is enlarged once.
class EnlargedRows {
public:
    // `small` holds rows of smallWidth + 1 pixels, the last a copy of the one before it,
    // so that the second pixel of a pair is there at the right edge too (weighing 0).
    EnlargedRows(const uint32_t* small, int32_t smallWidth, int32_t width, std::vector<Span> columns, Scratch& scratch)
        : small(small), stride(static_cast<std::size_t>(smallWidth) + 1), columns(std::move(columns)) {
        const auto n = static_cast<std::size_t>(width);
        runs = &scratch.runs;
        runs->clear();
        left = Sized(scratch.left, n);
        right = Sized(scratch.right, n);
        keepLeft = Sized(scratch.keepLeft, n * 4);
        takeRight = Sized(scratch.takeRight, n * 4);
        rows[0] = Sized(scratch.upper, n * 4);
        rows[1] = Sized(scratch.lower, n * 4);
        base = Sized(scratch.base, n * 4);
        step = Sized(scratch.step, n * 4);
        for (const Span& span : this->columns) {
            for (int32_t x = span.begin; x < span.end; ++x) {
                const Tap tap = TapAt(x, width, smallWidth, 8);
                const auto at = static_cast<std::size_t>(x);
                if (runs->empty() || runs->back().first != tap.first || runs->back().end != x) {
                    runs->push_back({x, x + 1, tap.first});
                } else {
                    runs->back().end = x + 1;
                }
                std::fill_n(&takeRight[at * 4], 4, static_cast<uint16_t>(tap.weight));
                std::fill_n(&keepLeft[at * 4], 4, static_cast<uint16_t>(256 - tap.weight));
            }
        }
    }

    // Bytes begin to end of output row `line`, at weight w (out of 64) between small rows
    // `upper` and `lower`.
    void Draw(uint8_t* line, std::size_t begin, std::size_t end, int32_t upper, int32_t lower, uint32_t w) {
        if (upper != pair[0] || lower != pair[1]) {
            const uint16_t* a = Row(upper, lower);
            const uint16_t* b = Row(lower, upper);
            for (const Span& span : columns) {
                Prepare(base, step, a, b, static_cast<std::size_t>(span.begin) * 4,
                        static_cast<std::size_t>(span.end) * 4);
            }
            pair[0] = upper;
            pair[1] = lower;
        }
        DrawRow(line, base, step, begin, end, static_cast<uint16_t>(w));
    }

private:
    // Small row `index` enlarged, keeping small row `keep` if it is held.
    const uint16_t* Row(int32_t index, int32_t keep) {
        for (int s = 0; s < 2; ++s) {
            if (held[s] == index) {
                return rows[s];
            }
        }
        const int s = held[0] == keep ? 1 : 0;
        Enlarge(index, rows[s]);
        held[s] = index;
        return rows[s];
    }

    // The two small pixels each column lies between are laid out first, a run of words
    // for each pair, so that the weighing runs on whole rows of bytes.
    void Enlarge(int32_t index, uint16_t* out) {
        const uint32_t* row = small + static_cast<std::size_t>(index) * stride;
        for (const Run& run : *runs) {
            std::fill(left + run.begin, left + run.end, row[run.first]);
            std::fill(right + run.begin, right + run.end, row[run.first + 1]);
        }
        const auto* a = reinterpret_cast<const uint8_t*>(left);
        const auto* b = reinterpret_cast<const uint8_t*>(right);
        for (const Span& span : columns) {
            Weigh(out, a, b, keepLeft, takeRight, static_cast<std::size_t>(span.begin) * 4,
                  static_cast<std::size_t>(span.end) * 4);
        }
    }

    const uint32_t* small;
    std::size_t stride;
    std::vector<Span> columns;
    std::vector<Run>* runs;
    uint32_t* left;
    uint32_t* right;
    uint16_t* keepLeft;
    uint16_t* takeRight;
    uint16_t* rows[2];
    int32_t held[2] = {-1, -1};
    uint16_t* base;
    uint16_t* step;
    int32_t pair[2] = {-1, -1};
};

} // namespace

void BlurBehind(SoftwareSurface& frame, const FitRect& shown) {
    const int32_t width = frame.Width();
    const int32_t height = frame.Height();
    if (frame.Pixels() == nullptr || !frame.Writable() || width <= 0 || height <= 0) {
        return;
    }
    const auto left = static_cast<int32_t>(std::clamp<int64_t>(shown.x, 0, width));
    const auto top = static_cast<int32_t>(std::clamp<int64_t>(shown.y, 0, height));
    const auto right = static_cast<int32_t>(std::clamp<int64_t>(int64_t{shown.x} + shown.width, 0, width));
    const auto bottom = static_cast<int32_t>(std::clamp<int64_t>(int64_t{shown.y} + shown.height, 0, height));
    if (left >= right || top >= bottom || (left == 0 && top == 0 && right == width && bottom == height)) {
        return;
    }
    Scratch& scratch = ThisThreadsScratch();

    // The part of the shown picture that has the frame's shape, made small and blurred.
    const FitRect crop = PlaceFitted(right - left, bottom - top, width, height, FitMode::Cover).from;
    const int32_t sw = std::max(1, width / kShrink);
    const int32_t sh = std::max(1, height / kShrink);
    const std::size_t samples = static_cast<std::size_t>(sw) * static_cast<std::size_t>(sh) * 4;
    float* a = Sized(scratch.a, samples);
    float* b = Sized(scratch.b, samples);
    float* sums = Sized(scratch.sums, static_cast<std::size_t>(std::max(sw, sh)) * 4);
    Shrink(frame.Bytes(), static_cast<std::size_t>(width) * 4, left + crop.x, top + crop.y, crop.width, crop.height, sw,
           sh, a, scratch.columnSums, scratch.columnFloats, scratch.boxStarts);
    const int32_t radius = std::max(1, (std::max(sw, sh) + kRadiusDivisor / 2) / kRadiusDivisor);
    // Three passes across (down the turned copy), turned back, then three down.
    Transpose(a, b, sw, sh);
    BoxDown(b, a, sh, sw, radius, sums);
    BoxDown(a, b, sh, sw, radius, sums);
    BoxDown(b, a, sh, sw, radius, sums);
    Transpose(a, b, sh, sw);
    BoxDown(b, a, sw, sh, radius, sums);
    BoxDown(a, b, sw, sh, radius, sums);
    // The last pass darkens into bytes, made opaque pixels, each row with its last pixel
    // repeated past its end.
    const std::size_t stride = static_cast<std::size_t>(sw) + 1;
    uint32_t* small = Sized(scratch.small, stride * static_cast<std::size_t>(sh));
    BoxDown(b, nullptr, sw, sh, radius, sums, reinterpret_cast<uint8_t*>(small), stride * 4, kDarken);
    for (int32_t j = 0; j < sh; ++j) {
        uint32_t* row = small + static_cast<std::size_t>(j) * stride;
        for (int32_t i = 0; i < sw; ++i) {
            row[i] |= 0xFF000000u;
        }
        row[sw] = row[sw - 1];
    }

    // Enlarged into the bands: above and below the picture the whole width, beside it
    // the columns left and right of it.
    std::vector<Span> sides;
    if (left > 0) {
        sides.push_back({0, left});
    }
    if (right < width) {
        sides.push_back({right, width});
    }
    const std::vector<Span> whole = {{0, width}};
    EnlargedRows rows(small, sw, width, top > 0 || bottom < height ? whole : sides, scratch);
    auto* out = reinterpret_cast<uint8_t*>(frame.Pixels());
    for (int32_t y = 0; y < height; ++y) {
        const Tap tap = TapAt(y, height, sh, 6);
        const int32_t next = std::min(tap.first + 1, sh - 1);
        uint8_t* line = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (const Span& span : y >= top && y < bottom ? sides : whole) {
            rows.Draw(line, static_cast<std::size_t>(span.begin) * 4, static_cast<std::size_t>(span.end) * 4, tap.first,
                      next, static_cast<uint32_t>(tap.weight));
        }
    }
}

} // namespace wqtrans
