// How far a run has come along a length: size x e / d, the product taken in 64 bits
// so that long runs on large frames do not wrap; the same as the 32-bit product
// wherever that one does not wrap.
#pragma once

#include <cstdint>

namespace wqtrans {

inline uint32_t Progress(uint32_t size, uint32_t e, uint32_t d) {
    return static_cast<uint32_t>(static_cast<uint64_t>(size) * e / d);
}

} // namespace wqtrans
