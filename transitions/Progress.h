// How far a run has come along a length: size x e / d, the share e / d of the run
// applied to a size, a distance, a count or a level (and likewise a level q of 1000).
//
// The product is taken in 64 bits. In 32 bits it would wrap once size x e reaches
// 2^32 (a frame 16384 wide after 4.4 minutes, a blend level of 128 after 9.3 hours),
// and the picture would jump back; in 64 bits it cannot for any size and time of
// 32 bits, and wherever the 32-bit product does not wrap the result is the same. The
// division truncates as the 32-bit one does. Every transition's share of its run goes
// through here; differences and halvings of the result stay in 32 bits as written.
#pragma once

#include <cstdint>

namespace wqtrans {

// size x e / d in full, for a size that may not fit in 32 bits (twice a width); exact
// while size x e stays below 2^64, as it does for twice any size of 31 bits.
constexpr uint64_t WideProgress(uint64_t size, uint32_t e, uint32_t d) { return size * e / d; }

// size x e / d, at most size while e <= d; brought back to 32 bits modulo 2^32 when
// e > d takes it past them.
constexpr uint32_t Progress(uint32_t size, uint32_t e, uint32_t d) {
    return static_cast<uint32_t>(WideProgress(size, e, d));
}

} // namespace wqtrans
