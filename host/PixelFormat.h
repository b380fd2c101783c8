// Pixels in a caller's layout, to and from the reference surface's 32-bit words.
//
// The transitions copy, stretch and blend with one weight for all channels, so the
// order of the colour channels does not matter: a picture of RGB or BGR bytes is drawn
// as the words C0 | C1 << 8 | C2 << 16 | 0xFF << 24 (C0 the first byte) and comes back
// byte for byte, and RGBA or BGRA bytes are the words themselves on a little-endian
// machine, drawn where they lie. Every host that takes 3-byte pixels converts them here.
//
// On x86-64 Linux, where the processor has SSSE3, four pixels go at a time through one
// byte shuffle (about 1.5 times as fast as what g++ makes of the plain loops for AVX2);
// elsewhere the plain loops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/SoftwareSurface.h"

namespace wqtrans {

// `count` 3-byte pixels to words with an opaque alpha.
void WordsFromTriples(const uint8_t* from, uint32_t* to, std::size_t count);
// `count` words to 3-byte pixels, the top byte dropped.
void TriplesFromWords(const uint32_t* from, uint8_t* to, std::size_t count);

// A picture of 3-byte pixels, rows `rowStride` bytes apart (negative for a picture
// stored bottom up), into `surface`, whose size it has.
void ReadTriples(const uint8_t* rows, std::ptrdiff_t rowStride, SoftwareSurface& surface);
// `surface` into a picture of 3-byte pixels of its size, rows `rowStride` bytes apart.
void WriteTriples(SoftwareSurface& surface, uint8_t* rows, std::ptrdiff_t rowStride);

} // namespace wqtrans
