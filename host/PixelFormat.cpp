#include "host/PixelFormat.h"

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#include <immintrin.h>
#define WQ_PIXEL_SSSE3 1
#endif

namespace wqtrans {

namespace {

void WordsFromTriplesPlain(const uint8_t* __restrict from, uint32_t* __restrict to, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        to[i] = from[3 * i] | uint32_t{from[3 * i + 1]} << 8 | uint32_t{from[3 * i + 2]} << 16 | 0xFF000000u;
    }
}

void TriplesFromWordsPlain(const uint32_t* __restrict from, uint8_t* __restrict to, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t word = from[i];
        to[3 * i] = static_cast<uint8_t>(word);
        to[3 * i + 1] = static_cast<uint8_t>(word >> 8);
        to[3 * i + 2] = static_cast<uint8_t>(word >> 16);
    }
}

#ifdef WQ_PIXEL_SSSE3
// Four pixels a step with one byte shuffle each way. A step reads (or writes) 16 bytes
// of which it uses 12, so the vector steps stop while the rest of the row covers the
// other 4 bytes, and the last pixels go one at a time.
__attribute__((target("ssse3"))) void WordsFromTriplesSsse3(const uint8_t* from, uint32_t* to, std::size_t count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
    std::size_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_or_si128(_mm_shuffle_epi8(bytes, spread), alpha));
    }
    WordsFromTriplesPlain(from + 3 * i, to + i, count - i);
}

__attribute__((target("ssse3"))) void TriplesFromWordsSsse3(const uint32_t* from, uint8_t* to, std::size_t count) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    // The 4 bytes past a step's 12 are written over by the next step or the last pixels.
    for (; i + 8 <= count; i += 4) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 3 * i), _mm_shuffle_epi8(words, pack));
    }
    TriplesFromWordsPlain(from + i, to + 3 * i, count - i);
}

// Asked once, at the first conversion (__builtin_cpu_init first, as it may come before
// the runtime's own constructors have run).
bool HasSsse3() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

} // namespace

void WordsFromTriples(const uint8_t* from, uint32_t* to, std::size_t count) {
#ifdef WQ_PIXEL_SSSE3
    if (HasSsse3()) {
        WordsFromTriplesSsse3(from, to, count);
        return;
    }
#endif
    WordsFromTriplesPlain(from, to, count);
}

void TriplesFromWords(const uint32_t* from, uint8_t* to, std::size_t count) {
#ifdef WQ_PIXEL_SSSE3
    if (HasSsse3()) {
        TriplesFromWordsSsse3(from, to, count);
        return;
    }
#endif
    TriplesFromWordsPlain(from, to, count);
}

void ReadTriples(const uint8_t* rows, std::ptrdiff_t rowStride, SoftwareSurface& surface) {
    const auto width = static_cast<std::size_t>(surface.Width());
    for (int32_t y = 0; y < surface.Height(); ++y) {
        WordsFromTriples(rows + y * rowStride, surface.Pixels() + static_cast<std::size_t>(y) * width, width);
    }
}

void WriteTriples(SoftwareSurface& surface, uint8_t* rows, std::ptrdiff_t rowStride) {
    const auto width = static_cast<std::size_t>(surface.Width());
    for (int32_t y = 0; y < surface.Height(); ++y) {
        TriplesFromWords(surface.Pixels() + static_cast<std::size_t>(y) * width, rows + y * rowStride, width);
    }
}

} // namespace wqtrans
