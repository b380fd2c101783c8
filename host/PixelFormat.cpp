#include "host/PixelFormat.h"

namespace wqtrans {

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define WQ_PIXEL_CLONES __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define WQ_PIXEL_CLONES
#endif

WQ_PIXEL_CLONES void WordsFromTriples(const uint8_t* __restrict from, uint32_t* __restrict to, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        to[i] = from[3 * i] | uint32_t{from[3 * i + 1]} << 8 | uint32_t{from[3 * i + 2]} << 16 | 0xFF000000u;
    }
}

WQ_PIXEL_CLONES void TriplesFromWords(const uint32_t* __restrict from, uint8_t* __restrict to, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t word = from[i];
        to[3 * i] = static_cast<uint8_t>(word);
        to[3 * i + 1] = static_cast<uint8_t>(word >> 8);
        to[3 * i + 2] = static_cast<uint8_t>(word >> 16);
    }
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
