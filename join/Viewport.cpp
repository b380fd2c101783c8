#include "join/Viewport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace wqtrans::join {

namespace {

// ---------------------------------------------------------------------------------------
// The arithmetic every path shares
//
// Positions are fixed point with kFractionBits below the pixel: 1/4096, finer than a
// smooth pan needs (14 bits is the most the lanes below would hold). The two rows are
// blended first into a value with kLevelBits below the 8-bit level, rounded to nearest,
// plus half an output level; two columns of those are blended with weights summing to
// kOne and the sum cut to 8 bits, which rounds the whole to nearest. The rows' blend
// stays below 2^15 (255.5 * 128) and the columns' below 2^31, so 16-bit lanes hold the
// first and a 16 x 16 -> 32-bit multiply-add makes the second.

constexpr int kFractionBits = 12;
constexpr int32_t kOne = 1 << kFractionBits;
constexpr int kLevelBits = 7;
constexpr int kRowShift = kFractionBits - kLevelBits;
constexpr int32_t kRowRounding = 1 << (kRowShift - 1);
constexpr int32_t kHalfLevel = 1 << (kLevelBits - 1);
constexpr int kColumnShift = kFractionBits + kLevelBits;
constexpr uint32_t kOpaque = 0xFF000000u;

// The blend of two rows' channel values a (weight kOne - f) and b (weight f).
inline int32_t BlendRows(int32_t a, int32_t b, int32_t f) {
    return (a << kLevelBits) + (((b - a) * f + kRowRounding) >> kRowShift) + kHalfLevel;
}

// The blend of two BlendRows values to an 8-bit channel.
inline int32_t BlendColumns(int32_t v0, int32_t v1, int32_t f) { return (v0 * (kOne - f) + v1 * f) >> kColumnShift; }

// Where an output pixel samples along one axis: the picture's pixel `index` and the
// next, `fraction` / kOne of the way from the one's centre to the other's.
struct Tap {
    int32_t index;
    int32_t fraction;
};

// The sample position of output pixel i of `count` along an axis of the view, in the
// picture's pixel centres (pixel k's centre at k). Not finite for a view that is not.
inline double CentreOf(double origin, double extent, int32_t count, int32_t i) {
    return origin - 0.5 + (i + 0.5) * (extent / count);
}

// The tap at a position, clamped to the picture's `size` pixels; NaN takes pixel 0.
inline Tap TapAt(double centre, int32_t size) {
    if (!(centre > 0)) {
        return {0, 0};
    }
    if (centre >= size - 1) {
        return {size - 1, 0};
    }
    const int64_t fixed = std::llround(centre * kOne);
    return {static_cast<int32_t>(fixed >> kFractionBits), static_cast<int32_t>(fixed & (kOne - 1))};
}

// Null and sizes of 0 or less are no picture.
bool Empty(const uint32_t* picture, int32_t width, int32_t height) {
    return picture == nullptr || width <= 0 || height <= 0;
}

// The view with its coordinates that are not finite taken as 0.
ViewRect Sane(const ViewRect& view) {
    const auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    return {finite(view.x), finite(view.y), finite(view.width), finite(view.height)};
}

void FillBlack(uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride) {
    for (int32_t j = 0; j < destHeight; ++j) {
        std::fill_n(dest + static_cast<size_t>(j) * destStride, destWidth, kOpaque);
    }
}

#if defined(__x86_64__)

// The pieces of each instruction set's code are inlined into it (WQ_AVX2 with its
// target); the once-a-row lambdas (WQ_AVX2_ROW) stay functions of their own, because the
// shared row loop, compiled for no particular target, calls them.
#define WQ_INLINE [[gnu::always_inline]] inline
#define WQ_LAMBDA __attribute__((always_inline))
#define WQ_AVX2 __attribute__((target("avx2"), always_inline))
#define WQ_AVX2_ROW __attribute__((target("avx2")))

// ---------------------------------------------------------------------------------------
// The vector code: for each output row, the two picture rows it needs are blended over
// the columns in view into a row of 16-bit values (four channels a pixel), then each
// output pixel blends two neighbours of that row with an offset and weights worked out
// once per call.

// The columns of a call. Output columns come in groups of kGroup that start where the
// destination's rows are aligned to 32 bytes (`lead` entries before column 0), so that
// a large frame's whole groups can be written past the cache: a frame that size would
// not stay in it, and writing through it first reads what is overwritten. A group that
// reaches past either end of the row goes through a copy. Each entry of the table holds
// an output column's offset into the blended row and its weights (kOne - f, f) four
// times over, for a 16-bit multiply-add on a pixel and its right neighbour interleaved;
// the AVX2 code takes a group's columns in the order 0, 4, 1, 5, 2, 6, 3, 7, which its
// in-lane packing puts back in order.
constexpr int32_t kGroup = 8;
constexpr size_t kStreamBytes = size_t{2} << 20; // twice a core's second-level cache, or more

struct Scratch {
    std::vector<Tap> taps;
    std::vector<int32_t> offsets;
    std::vector<int16_t> weights; // 8 per entry
    std::vector<int16_t> row;     // 4 per pixel in view, and padding
};

struct Columns {
    int32_t first = 0;   // the picture's first column in view
    int32_t count = 0;   // columns in view, the right neighbour of the last one included
    int32_t lead = 0;    // entries before output column 0
    int32_t entries = 0; // whole groups
    bool stream = false; // whole groups at aligned addresses are written past the cache
};

Columns PlanColumns(const ViewRect& view, int32_t width, const uint32_t* dest, int32_t destWidth, int32_t destHeight,
                    bool pairedLanes, Scratch& s) {
    Columns columns;
    const auto address = reinterpret_cast<uintptr_t>(dest);
    columns.lead = address % 4 == 0 ? static_cast<int32_t>(address % 32 / 4) : 0;
    columns.entries = (columns.lead + destWidth + kGroup - 1) / kGroup * kGroup;
    columns.stream = static_cast<size_t>(destWidth) * static_cast<size_t>(destHeight) * 4 >= kStreamBytes;
    s.taps.resize(static_cast<size_t>(destWidth));
    int32_t low = width - 1, high = 0;
    for (int32_t i = 0; i < destWidth; ++i) {
        const Tap tap = TapAt(CentreOf(view.x, view.width, destWidth, i), width);
        s.taps[static_cast<size_t>(i)] = tap;
        low = std::min(low, tap.index);
        high = std::max(high, tap.index);
    }
    // The last tap's neighbour is in view unless it is the picture's last pixel, whose
    // weight is then 0; its place in the row is padding.
    high = std::min(high + 1, width - 1);
    columns.first = low;
    columns.count = high - low + 1;
    const auto entries = static_cast<size_t>(columns.entries);
    s.offsets.resize(entries);
    s.weights.resize(entries * 8);
    for (size_t e = 0; e < entries; ++e) {
        // Entry e holds slot 4 * (k % 2) + k / 2 of its group (k = e % 8) in paired lanes.
        const size_t k = e % kGroup;
        const size_t slot = pairedLanes ? e - k + 4 * (k % 2) + k / 2 : e;
        const int64_t column = static_cast<int64_t>(slot) - columns.lead;
        const Tap tap = column >= 0 && column < destWidth ? s.taps[static_cast<size_t>(column)] : Tap{low, 0};
        s.offsets[e] = 4 * (tap.index - low); // in the row's 16-bit values
        for (size_t c = 0; c < 4; ++c) {
            s.weights[e * 8 + 2 * c] = static_cast<int16_t>(kOne - tap.fraction);
            s.weights[e * 8 + 2 * c + 1] = static_cast<int16_t>(tap.fraction);
        }
    }
    // Whole vectors of 4 pixels blended, and one pixel more read past the last.
    const size_t pixels = (static_cast<size_t>(columns.count) + 3) / 4 * 4 + 4;
    if (s.row.size() < pixels * 4) {
        s.row.resize(pixels * 4);
    }
    return columns;
}

// Whether an output row's whole groups are written past the cache.
bool Streams(const Columns& columns, const uint32_t* out) {
    return columns.stream && (reinterpret_cast<uintptr_t>(out) - 4u * static_cast<uint32_t>(columns.lead)) % 32 == 0;
}

// The part of a group that starts at output column i (perhaps before 0) inside the row.
void StorePart(const uint32_t (&group)[kGroup], uint32_t* out, int32_t i, int32_t destWidth) {
    const int32_t from = std::max(i, 0), to = std::min(i + kGroup, destWidth);
    std::memcpy(out + from, group + (from - i), static_cast<size_t>(to - from) * sizeof(uint32_t));
}

// The last pixels of two rows, fewer than four, copied into whole vectors so that
// nothing past the rows is read.
struct Tail {
    uint32_t a[4] = {}, b[4] = {};
    Tail(const uint32_t* rowA, const uint32_t* rowB, int32_t count) {
        std::memcpy(a, rowA, static_cast<size_t>(count) * sizeof(uint32_t));
        std::memcpy(b, rowB, static_cast<size_t>(count) * sizeof(uint32_t));
    }
};

// The rows of a call, with the columns planned: `blend(a, b, f, count, row, ahead)`
// fills the blended row, `draw(row, out)` one output row from it; each is called once a
// row, so that it may be compiled for other instructions than this. A row whose taps
// equal the row before's keeps its blend. The blend asks for the picture rows of the
// output row kAhead rows on as it goes: the rows' blend waits on memory and the
// columns' blend does not, and so the one overlaps the other.
constexpr int32_t kAhead = 3;

// Two picture rows from the first column in view: the upper and the one below it (the
// same row when the lower one has no weight).
struct RowPair {
    const uint32_t* a;
    const uint32_t* b;
};

template <typename Blend, typename Draw>
WQ_INLINE void DrawRows(const uint32_t* picture, int32_t height, size_t stride, const ViewRect& view, Columns columns,
                        int16_t* row, uint32_t* dest, int32_t destHeight, size_t destStride, Blend&& blend,
                        Draw&& draw) {
    const auto rows = [&](Tap tap) {
        const uint32_t* a = picture + static_cast<size_t>(tap.index) * stride + columns.first;
        return RowPair{a, tap.fraction == 0 ? a : a + stride}; // a fraction means a row below
    };
    Tap previous{-1, 0};
    for (int32_t j = 0; j < destHeight; ++j) {
        const Tap tap = TapAt(CentreOf(view.y, view.height, destHeight, j), height);
        if (tap.index != previous.index || tap.fraction != previous.fraction) {
            const RowPair these = rows(tap);
            const int32_t later = std::min(j + kAhead, destHeight - 1);
            blend(these.a, these.b, tap.fraction, columns.count, row,
                  rows(TapAt(CentreOf(view.y, view.height, destHeight, later), height)));
            previous = tap;
        }
        draw(row, dest + static_cast<size_t>(j) * destStride);
    }
}

// SSE2, which every x86-64 has: the row blend by a 16 x 16 -> 32-bit multiply-add of
// each channel of the two rows, one output pixel to a vector.

void DrawSse2(const uint32_t* picture, int32_t height, size_t stride, const ViewRect& view, Columns columns, Scratch& s,
              uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride) {
    const int32_t* offsets = s.offsets.data();
    const int16_t* weights = s.weights.data();
    const auto blend = [](const uint32_t* a, const uint32_t* b, int32_t f, int32_t count, int16_t* row, RowPair ahead) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i w = _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(f) << 16) | (kOne - f)));
        // BlendRows as (a * (kOne - f) + b * f + rounding) >> kRowShift: the same numbers.
        const __m128i rounding = _mm_set1_epi32(kRowRounding + (kHalfLevel << kRowShift));
        const auto two = [&](__m128i a16, __m128i b16) WQ_LAMBDA {
            const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(a16, b16), w);
            const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(a16, b16), w);
            return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, rounding), kRowShift),
                                   _mm_srai_epi32(_mm_add_epi32(hi, rounding), kRowShift));
        };
        const auto four = [&](const uint32_t* pa, const uint32_t* pb, int32_t x) WQ_LAMBDA {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb));
            __m128i* to = reinterpret_cast<__m128i*>(row + 4 * x);
            _mm_storeu_si128(to, two(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero)));
            _mm_storeu_si128(to + 1, two(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero)));
        };
        int32_t x = 0;
        for (; x + 16 <= count; x += 16) {
            _mm_prefetch(reinterpret_cast<const char*>(ahead.a + x), _MM_HINT_T1);
            _mm_prefetch(reinterpret_cast<const char*>(ahead.b + x), _MM_HINT_T1);
            for (int32_t k = 0; k < 16; k += 4) {
                four(a + x + k, b + x + k, x + k);
            }
        }
        for (; x + 4 <= count; x += 4) {
            four(a + x, b + x, x);
        }
        if (x < count) {
            const Tail tail(a + x, b + x, count - x);
            four(tail.a, tail.b, x);
        }
    };
    const auto draw = [&](const int16_t* row, uint32_t* out) {
        const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(kOpaque));
        const auto pixel = [&](int32_t e) WQ_LAMBDA {
            const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + offsets[e]));
            const __m128i mixed = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8 * e));
            return _mm_srai_epi32(_mm_madd_epi16(mixed, w), kColumnShift);
        };
        const auto four = [&](int32_t e) WQ_LAMBDA {
            const __m128i lo = _mm_packs_epi32(pixel(e), pixel(e + 1));
            const __m128i hi = _mm_packs_epi32(pixel(e + 2), pixel(e + 3));
            return _mm_or_si128(_mm_packus_epi16(lo, hi), alpha);
        };
        const bool stream = Streams(columns, out);
        for (int32_t e = 0; e < columns.entries; e += kGroup) {
            const int32_t i = e - columns.lead;
            const __m128i lo = four(e), hi = four(e + 4);
            if (i >= 0 && i + kGroup <= destWidth) {
                auto* to = reinterpret_cast<__m128i*>(out + i);
                if (stream) {
                    _mm_stream_si128(to, lo);
                    _mm_stream_si128(to + 1, hi);
                } else {
                    _mm_storeu_si128(to, lo);
                    _mm_storeu_si128(to + 1, hi);
                }
            } else {
                uint32_t words[kGroup];
                _mm_storeu_si128(reinterpret_cast<__m128i*>(words), lo);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 4), hi);
                StorePart(words, out, i, destWidth);
            }
        }
    };
    DrawRows(picture, height, stride, view, columns, s.row.data(), dest, destHeight, destStride, blend, draw);
    if (columns.stream) {
        _mm_sfence(); // the streamed words before whatever the caller stores next
    }
}

// AVX2: the row blend by a rounding high multiply of the rows' difference (the same
// numbers as BlendRows), two output pixels to a vector.

__attribute__((target("avx2"))) void DrawAvx2(const uint32_t* picture, int32_t height, size_t stride,
                                              const ViewRect& view, Columns columns, Scratch& s, uint32_t* dest,
                                              int32_t destWidth, int32_t destHeight, size_t destStride) {
    const int32_t* offsets = s.offsets.data();
    const int16_t* weights = s.weights.data();
    const auto blend = [](const uint32_t* a, const uint32_t* b, int32_t f, int32_t count, int16_t* row,
                          RowPair ahead) WQ_AVX2_ROW {
        // (d << 7) * (f << 3) rounded at bit 15 is (d * f + 16) >> 5, d = b - a.
        const __m256i w = _mm256_set1_epi16(static_cast<int16_t>(f << (15 - kFractionBits)));
        const __m256i half = _mm256_set1_epi16(kHalfLevel);
        const auto four = [&](const uint32_t* pa, const uint32_t* pb, int32_t x) WQ_AVX2 {
            const __m256i va = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pa)));
            const __m256i vb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pb)));
            const __m256i d = _mm256_mulhrs_epi16(_mm256_slli_epi16(_mm256_sub_epi16(vb, va), kLevelBits), w);
            const __m256i v = _mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(va, kLevelBits), d), half);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 4 * x), v);
        };
        int32_t x = 0;
        for (; x + 16 <= count; x += 16) {
            _mm_prefetch(reinterpret_cast<const char*>(ahead.a + x), _MM_HINT_T1);
            _mm_prefetch(reinterpret_cast<const char*>(ahead.b + x), _MM_HINT_T1);
            for (int32_t k = 0; k < 16; k += 4) {
                four(a + x + k, b + x + k, x + k);
            }
        }
        for (; x + 4 <= count; x += 4) {
            four(a + x, b + x, x);
        }
        if (x < count) {
            const Tail tail(a + x, b + x, count - x);
            four(tail.a, tail.b, x);
        }
    };
    const auto draw = [&](const int16_t* row, uint32_t* out) WQ_AVX2_ROW {
        const __m256i alpha = _mm256_set1_epi32(static_cast<int32_t>(kOpaque));
        // A pixel and its right neighbour, channel by channel.
        const __m256i interleave = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2,
                                                    3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
        // Entries e and e + 1: two output pixels, one in each 128-bit lane.
        const auto pixels = [&](int32_t e) WQ_AVX2 {
            const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + offsets[e]));
            const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + offsets[e + 1]));
            const __m256i pair = _mm256_shuffle_epi8(_mm256_set_m128i(hi, lo), interleave);
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 8 * e));
            return _mm256_srai_epi32(_mm256_madd_epi16(pair, w), kColumnShift);
        };
        const bool stream = Streams(columns, out);
        for (int32_t e = 0; e < columns.entries; e += kGroup) {
            const int32_t i = e - columns.lead;
            // Columns (0 | 4), (1 | 5), (2 | 6), (3 | 7), packed within lanes to 0..3 | 4..7.
            const __m256i lo = _mm256_packs_epi32(pixels(e), pixels(e + 2));
            const __m256i hi = _mm256_packs_epi32(pixels(e + 4), pixels(e + 6));
            const __m256i words = _mm256_or_si256(_mm256_packus_epi16(lo, hi), alpha);
            if (i >= 0 && i + kGroup <= destWidth) {
                auto* to = reinterpret_cast<__m256i*>(out + i);
                if (stream) {
                    _mm256_stream_si256(to, words);
                } else {
                    _mm256_storeu_si256(to, words);
                }
            } else {
                uint32_t part[kGroup];
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(part), words);
                StorePart(part, out, i, destWidth);
            }
        }
    };
    DrawRows(picture, height, stride, view, columns, s.row.data(), dest, destHeight, destStride, blend, draw);
    if (columns.stream) {
        _mm_sfence(); // the streamed words before whatever the caller stores next
    }
}

// The instruction sets this processor has: 3 (AVX2) or 1 (SSE2).
int MachineLevel() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? 3 : 1;
}

#undef WQ_AVX2
#undef WQ_AVX2_ROW
#undef WQ_LAMBDA
#undef WQ_INLINE

#endif

} // namespace

namespace detail {

void DrawViewReference(const uint32_t* picture, int32_t width, int32_t height, size_t stride, const ViewRect& view,
                       uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride) {
    if (dest == nullptr || destWidth <= 0 || destHeight <= 0) {
        return;
    }
    if (Empty(picture, width, height)) {
        FillBlack(dest, destWidth, destHeight, destStride);
        return;
    }
    const ViewRect v = Sane(view);
    for (int32_t j = 0; j < destHeight; ++j) {
        const Tap row = TapAt(CentreOf(v.y, v.height, destHeight, j), height);
        const uint32_t* a = picture + static_cast<size_t>(row.index) * stride;
        const uint32_t* b = picture + static_cast<size_t>(std::min(row.index + 1, height - 1)) * stride;
        uint32_t* out = dest + static_cast<size_t>(j) * destStride;
        for (int32_t i = 0; i < destWidth; ++i) {
            const Tap column = TapAt(CentreOf(v.x, v.width, destWidth, i), width);
            const int32_t right = std::min(column.index + 1, width - 1);
            uint32_t word = kOpaque;
            for (int shift = 0; shift < 24; shift += 8) {
                const auto channel = [&](const uint32_t* p, int32_t x) {
                    return static_cast<int32_t>(p[x] >> shift & 0xFF);
                };
                const int32_t left = BlendRows(channel(a, column.index), channel(b, column.index), row.fraction);
                const int32_t next = BlendRows(channel(a, right), channel(b, right), row.fraction);
                word |= static_cast<uint32_t>(BlendColumns(left, next, column.fraction)) << shift;
            }
            out[i] = word;
        }
    }
}

void DrawViewLimited(int isaLevel, const uint32_t* picture, int32_t width, int32_t height, size_t stride,
                     const ViewRect& view, uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride) {
#if defined(__x86_64__)
    static const int machine = MachineLevel();
    const int use = std::min(isaLevel, machine);
    if (use < 1 || dest == nullptr || destWidth <= 0 || destHeight <= 0 || Empty(picture, width, height)) {
        DrawViewReference(picture, width, height, stride, view, dest, destWidth, destHeight, destStride);
        return;
    }
    thread_local Scratch scratch;
    const ViewRect v = Sane(view);
    const Columns columns = PlanColumns(v, width, dest, destWidth, destHeight, use >= 3, scratch);
    (use >= 3 ? DrawAvx2 : DrawSse2)(picture, height, stride, v, columns, scratch, dest, destWidth, destHeight,
                                     destStride);
#else
    (void)isaLevel;
    DrawViewReference(picture, width, height, stride, view, dest, destWidth, destHeight, destStride);
#endif
}

} // namespace detail

void DrawView(const uint32_t* picture, int32_t width, int32_t height, size_t stride, const ViewRect& view,
              uint32_t* dest, int32_t destWidth, int32_t destHeight, size_t destStride) {
    detail::DrawViewLimited(3, picture, width, height, stride, view, dest, destWidth, destHeight, destStride);
}

} // namespace wqtrans::join
