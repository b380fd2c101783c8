#include "host/PixelRows.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define WQTRANS_AVX2_ROWS 1
#include <immintrin.h>
#endif

namespace wqtrans::pixels {

namespace {

// Exact floor(x / 255) for 0 <= x <= 65534 (every product of two bytes).
inline uint32_t Div255(uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// The portable rows, written so that the compiler vectorises them.
void BlendPortable(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p) {
    const uint32_t q = 128 - p;
    for (int64_t i = 0; i < n; ++i) {
        const uint32_t v = s[i];
        const uint32_t t = d[i];
        // R and B share one multiply: each product stays below 2^15, so they cannot meet.
        const uint32_t rb = (((v & 0xFF00FFu) * q + (t & 0xFF00FFu) * p) >> 7) & 0xFF00FFu;
        const uint32_t g = (((v & 0x00FF00u) * q + (t & 0x00FF00u) * p) >> 7) & 0x00FF00u;
        out[i] = (t & 0xFF000000u) | rb | g;
    }
}

void TintPortable(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t tint) {
    const uint32_t a = tint >> 24, b = 255 - a;
    const uint32_t cr = (tint >> 16) & 0xFF, cg = (tint >> 8) & 0xFF, cb = tint & 0xFF;
    for (int64_t i = 0; i < n; ++i) {
        const uint32_t v = s[i];
        const uint32_t t = d[i];
        const uint32_t r = Div255(Div255(((v >> 16) & 0xFF) * cr) * a + ((t >> 16) & 0xFF) * b);
        const uint32_t g = Div255(Div255(((v >> 8) & 0xFF) * cg) * a + ((t >> 8) & 0xFF) * b);
        const uint32_t bl = Div255(Div255((v & 0xFF) * cb) * a + (t & 0xFF) * b);
        out[i] = (t & 0xFF000000u) | r << 16 | g << 8 | bl;
    }
}

#ifdef WQTRANS_AVX2_ROWS

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
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

#endif

} // namespace

void Blend(uint32_t* out, const uint32_t* s, const uint32_t* d, int64_t n, uint32_t p) {
    int64_t done = 0;
#ifdef WQTRANS_AVX2_ROWS
    if (p >= 1 && p <= 127 && HasAvx2()) {
        done = BlendAvx2(out, s, d, n, p);
    }
#endif
    BlendPortable(out + done, s + done, d + done, n - done, p);
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
