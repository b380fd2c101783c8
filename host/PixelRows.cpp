#include "host/PixelRows.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define WQTRANS_AVX2_ROWS 1
#include <immintrin.h>
#endif
#if defined(__wasm_simd128__)
#define WQTRANS_WASM_SIMD_ROWS 1
#include <wasm_simd128.h>
#endif

namespace wqtrans::pixels {

namespace {

std::atomic<bool> plainPaths{false};

void GatherPortable(uint32_t* __restrict out, const uint32_t* __restrict row, const uint32_t* columns, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        out[k] = row[columns[k]];
    }
}

// The portable rows, written so that the compiler vectorises them.

// Byte by byte in 16-bit arithmetic, which baseline SIMD multiplies well:
// out = s + (d - s) * p / 128 with an arithmetic shift, the same floor as the formula.
// The top byte's weight is 128, which gives back the destination's byte. `io` is read
// as the destination and written as the output.
void BlendBytes(uint8_t* __restrict io, const uint8_t* __restrict sb, int64_t bytes, const int16_t* weight) {
    for (int64_t i = 0; i < bytes; i += 4) {
        for (int k = 0; k < 4; ++k) {
            const int16_t sv = sb[i + k];
            const int16_t dv = io[i + k];
            io[i + k] = static_cast<uint8_t>(sv + static_cast<int16_t>(static_cast<int16_t>(dv - sv) * weight[k] >> 7));
        }
    }
}

void BlendPortable(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p) {
    int16_t weight[4] = {static_cast<int16_t>(p), static_cast<int16_t>(p), static_cast<int16_t>(p),
                         static_cast<int16_t>(p)};
    weight[std::endian::native == std::endian::little ? 3 : 0] = 128;
    if (out != d) {
        std::memcpy(out, d, static_cast<std::size_t>(n) * sizeof(uint32_t));
    }
    BlendBytes(reinterpret_cast<uint8_t*>(out), reinterpret_cast<const uint8_t*>(s), 4 * n, weight);
}

// Exact floor(x / 255) for 0 <= x <= 65534 (every product of two bytes).
inline uint16_t Div255(uint16_t x) { return static_cast<uint16_t>((x + 1 + (x >> 8)) >> 8); }

// Byte by byte in 16-bit arithmetic, like the blend: the top byte's weights (coefficient
// 0, alpha 0, destination 255) give back the destination's byte.
void TintBytes(uint8_t* __restrict io, const uint8_t* __restrict sb, int64_t bytes, const uint16_t* coef,
               const uint16_t* alpha, const uint16_t* rest) {
    // Sixteen bytes at a time with the four weights repeated: one vector per block.
    uint16_t c[16], a[16], r[16];
    for (int k = 0; k < 16; ++k) {
        c[k] = coef[k & 3];
        a[k] = alpha[k & 3];
        r[k] = rest[k & 3];
    }
    int64_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        for (int k = 0; k < 16; ++k) {
            const uint16_t tinted = Div255(static_cast<uint16_t>(sb[i + k] * c[k]));
            io[i + k] = static_cast<uint8_t>(Div255(static_cast<uint16_t>(tinted * a[k] + io[i + k] * r[k])));
        }
    }
    for (; i < bytes; ++i) {
        const uint16_t tinted = Div255(static_cast<uint16_t>(sb[i] * coef[i & 3]));
        io[i] = static_cast<uint8_t>(Div255(static_cast<uint16_t>(tinted * alpha[i & 3] + io[i] * rest[i & 3])));
    }
}

void TintPortable(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t tint) {
    const auto a = static_cast<uint16_t>(tint >> 24);
    uint16_t coef[4], alpha[4], rest[4];
    for (int k = 0; k < 4; ++k) {
        // Byte k of a pixel in memory holds bits 8k and up on a little-endian machine.
        const int shift = std::endian::native == std::endian::little ? 8 * k : 24 - 8 * k;
        const bool top = shift == 24;
        coef[k] = top ? 0 : static_cast<uint16_t>((tint >> shift) & 0xFF);
        alpha[k] = top ? 0 : a;
        rest[k] = top ? 255 : static_cast<uint16_t>(255 - a);
    }
    if (out != d) {
        std::memcpy(out, d, static_cast<std::size_t>(n) * sizeof(uint32_t));
    }
    TintBytes(reinterpret_cast<uint8_t*>(out), reinterpret_cast<const uint8_t*>(s), 4 * n, coef, alpha, rest);
}

#ifdef WQTRANS_AVX2_ROWS

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has && !plainPaths.load(std::memory_order_relaxed);
}

// Eight pixels at a time: source and destination bytes interleaved, then one
// multiply-add per channel pair with the weights (128 - p, p). Needs 1 <= p <= 127 so
// that both weights fit a signed byte; the sums stay below 2^15.
__attribute__((target("avx2"))) int64_t BlendAvx2(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n,
                                                  uint32_t p) {
    const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>(p << 8 | (128 - p)));
    const __m256i top = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(sv, dv), weights);
        const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(sv, dv), weights);
        const __m256i mixed = _mm256_packus_epi16(_mm256_srli_epi16(lo, 7), _mm256_srli_epi16(hi, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_blendv_epi8(mixed, dv, top));
    }
    return i;
}

// Thirty-two bytes at a time, the blend of BlendAvx2 on every byte; 1 <= p <= 127.
__attribute__((target("avx2"))) int64_t BlendBytesAvx2(uint8_t* io, const uint8_t* s, int64_t bytes, uint32_t p) {
    const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>(p << 8 | (128 - p)));
    int64_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(io + i));
        const __m256i lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(sv, dv), weights);
        const __m256i hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(sv, dv), weights);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(io + i),
                            _mm256_packus_epi16(_mm256_srli_epi16(lo, 7), _mm256_srli_epi16(hi, 7)));
    }
    return i;
}

__attribute__((target("avx2"))) inline __m256i Div255x16(__m256i x) {
    const __m256i one = _mm256_set1_epi16(1);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, one), _mm256_srli_epi16(x, 8)), 8);
}

// Eight pixels at a time in 16-bit lanes. The top byte's weights (coefficient 0,
// alpha 0, destination 255) give back the destination's byte exactly.
__attribute__((target("avx2"))) int64_t TintAvx2(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n,
                                                 uint32_t tint) {
    const uint16_t a = static_cast<uint16_t>(tint >> 24);
    const uint16_t b = static_cast<uint16_t>(255 - a);
    const uint16_t cr = (tint >> 16) & 0xFF, cg = (tint >> 8) & 0xFF, cb = tint & 0xFF;
    // Lanes in memory order of a pixel: B, G, R, top.
    const __m256i coef = _mm256_setr_epi16(cb, cg, cr, 0, cb, cg, cr, 0, cb, cg, cr, 0, cb, cg, cr, 0);
    const __m256i alpha = _mm256_setr_epi16(a, a, a, 0, a, a, a, 0, a, a, a, 0, a, a, a, 0);
    const __m256i rest = _mm256_setr_epi16(b, b, b, 255, b, b, b, 255, b, b, b, 255, b, b, b, 255);
    const __m256i zero = _mm256_setzero_si256();
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        __m256i half[2];
        for (int k = 0; k < 2; ++k) {
            const __m256i s16 = k == 0 ? _mm256_unpacklo_epi8(sv, zero) : _mm256_unpackhi_epi8(sv, zero);
            const __m256i d16 = k == 0 ? _mm256_unpacklo_epi8(dv, zero) : _mm256_unpackhi_epi8(dv, zero);
            const __m256i tinted = Div255x16(_mm256_mullo_epi16(s16, coef));
            half[k] = Div255x16(_mm256_add_epi16(_mm256_mullo_epi16(tinted, alpha), _mm256_mullo_epi16(d16, rest)));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(half[0], half[1]));
    }
    return i;
}

// Eight pixels at a time where eight columns span fewer than sixteen source pixels
// (every growth, and every shrink by less than half): two loads and two in-register
// permutations, the second load's lanes taken where the offset is 8 or more. Columns
// grow with k. Wider spans go one pixel at a time, which is faster than a hardware
// gather on the processors measured. Returns the pixels done.
__attribute__((target("avx2"))) int64_t GatherAvx2(uint32_t* out, const uint32_t* row, const uint32_t* columns,
                                                   int64_t n, int64_t limit) {
    const __m256i seven = _mm256_set1_epi32(7);
    int64_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const uint32_t first = columns[k];
        if (columns[k + 7] - first >= 16 || int64_t{first} + 16 > limit) {
            GatherPortable(out + k, row, columns + k, 8);
            continue;
        }
        // The row's pixels further on, asked for early: a stretch starts a new source
        // row every destination row, before the processor's own prefetch has caught on.
        _mm_prefetch(reinterpret_cast<const char*>(row + first + 512), _MM_HINT_T0);
        const __m256i cols = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(columns + k));
        const __m256i offsets = _mm256_sub_epi32(cols, _mm256_set1_epi32(static_cast<int32_t>(first)));
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + first));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + first + 8));
        // permutevar8x32 reads the low three bits of each offset.
        const __m256i v =
            _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, offsets), _mm256_permutevar8x32_epi32(hi, offsets),
                               _mm256_cmpgt_epi32(offsets, seven));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), v);
    }
    return k;
}

#endif

#ifdef WQTRANS_WASM_SIMD_ROWS

// Four pixels at a time in 16-bit lanes, the portable formula
// out = s + (d - s) * w >> 7 with the top byte's weight 128.
int64_t BlendWasm(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p) {
    const auto w = static_cast<int16_t>(p);
    const v128_t weights = wasm_i16x8_make(w, w, w, 128, w, w, w, 128);
    int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const v128_t sv = wasm_v128_load(s + i);
        const v128_t dv = wasm_v128_load(d + i);
        v128_t half[2];
        for (int k = 0; k < 2; ++k) {
            const v128_t s16 = k == 0 ? wasm_u16x8_extend_low_u8x16(sv) : wasm_u16x8_extend_high_u8x16(sv);
            const v128_t d16 = k == 0 ? wasm_u16x8_extend_low_u8x16(dv) : wasm_u16x8_extend_high_u8x16(dv);
            half[k] = wasm_i16x8_add(s16, wasm_i16x8_shr(wasm_i16x8_mul(wasm_i16x8_sub(d16, s16), weights), 7));
        }
        wasm_v128_store(out + i, wasm_u8x16_narrow_i16x8(half[0], half[1]));
    }
    return i;
}

#endif

} // namespace

void UsePlainPaths(bool plain) { plainPaths.store(plain, std::memory_order_relaxed); }

bool PlainPaths() { return plainPaths.load(std::memory_order_relaxed); }

void Gather(uint32_t* out, const uint32_t* row, const uint32_t* columns, int64_t n, int64_t limit) {
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (HasAvx2()) {
        done = GatherAvx2(out, row, columns, n, limit);
    }
#else
    (void)limit;
#endif
    GatherPortable(out + done, row, columns + done, n - done);
}

TripleGather::TripleGather(const uint32_t* from, int64_t n) : columns(from, from + n) {
    // The groups of four whose 16-byte store ends within the row's 3n bytes: group g
    // stores bytes [12g, 12g + 16).
    const int64_t count = std::max<int64_t>(0, (3 * n - 4) / 12);
    groups.resize(static_cast<std::size_t>(count));
    for (int64_t g = 0; g < count; ++g) {
        Group& group = groups[static_cast<std::size_t>(g)];
        const uint32_t first = from[4 * g];
        group.start = 3 * first;
        group.fits = 3 * (int64_t{from[4 * g + 3]} - first) + 3 <= 32;
        std::memset(group.low, 0x80, sizeof group.low);
        std::memset(group.high, 0x80, sizeof group.high);
        if (!group.fits) {
            continue;
        }
        for (int j = 0; j < 12; ++j) {
            const auto byte = static_cast<uint8_t>(3 * (from[4 * g + j / 3] - first) + j % 3);
            (byte < 16 ? group.low[j] : group.high[j]) = static_cast<uint8_t>(byte & 15);
        }
    }
}

namespace {

// Pixel k to the end of a row, three bytes each.
void GatherTriplesFrom(uint8_t* out, const uint8_t* row, const uint32_t* columns, int64_t k, int64_t n) {
    for (; k < n; ++k) {
        std::memcpy(out + 3 * k, row + 3 * static_cast<std::size_t>(columns[k]), 3);
    }
}

#ifdef WQTRANS_AVX2_ROWS

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3") != 0;
    return has && !plainPaths.load(std::memory_order_relaxed);
}

// A group reads two 16-byte halves, shuffles each and merges them: its 12 bytes and 4
// of zeros, which the next group's store overwrites. A group that does not fit, or
// would read past `readable`, goes a pixel at a time. Returns the pixels done.
__attribute__((target("ssse3"))) int64_t GatherGroupsSsse3(uint8_t* out, const uint8_t* row, int64_t readable,
                                                           const TripleGather::Group* groups, std::size_t count,
                                                           const uint32_t* columns) {
    for (std::size_t g = 0; g < count; ++g) {
        const TripleGather::Group& group = groups[g];
        if (!group.fits || int64_t{group.start} + 32 > readable) {
            GatherTriplesFrom(out, row, columns, static_cast<int64_t>(4 * g), static_cast<int64_t>(4 * g + 4));
            continue;
        }
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + group.start));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + group.start + 16));
        const __m128i picked =
            _mm_or_si128(_mm_shuffle_epi8(low, _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.low))),
                         _mm_shuffle_epi8(high, _mm_loadu_si128(reinterpret_cast<const __m128i*>(group.high))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12 * g), picked);
    }
    return static_cast<int64_t>(4 * count);
}

#endif

} // namespace

void TripleGather::Row(uint8_t* out, const uint8_t* row, int64_t readable) const {
    const auto n = static_cast<int64_t>(columns.size());
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (HasSsse3()) {
        done = GatherGroupsSsse3(out, row, readable, groups.data(), groups.size(), columns.data());
    }
#else
    (void)readable;
#endif
    GatherTriplesFrom(out, row, columns.data(), done, n);
}

void Blend(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p) {
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (p >= 1 && p <= 127 && HasAvx2()) {
        done = BlendAvx2(out, s, d, n, p);
    }
#endif
#ifdef WQTRANS_WASM_SIMD_ROWS
    if (p <= 128 && !PlainPaths()) {
        done = BlendWasm(out, s, d, n, p);
    }
#endif
    BlendPortable(out + done, s + done, d + done, n - done, p);
}

void BlendTriples(uint8_t* io, const uint8_t* s, int64_t n, uint32_t p) {
    const int64_t bytes = 3 * n;
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (p >= 1 && p <= 127 && HasAvx2()) {
        done = BlendBytesAvx2(io, s, bytes, p);
    }
#endif
    const auto w = static_cast<int16_t>(std::min<uint32_t>(p, 128));
    for (int64_t i = done; i < bytes; ++i) {
        const int16_t sv = s[i];
        io[i] = static_cast<uint8_t>(sv + static_cast<int16_t>(static_cast<int16_t>(io[i] - sv) * w >> 7));
    }
}

void Tint(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t tint) {
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (HasAvx2()) {
        done = TintAvx2(out, s, d, n, tint);
    }
#endif
    TintPortable(out + done, s + done, d + done, n - done, tint);
}

} // namespace wqtrans::pixels
