#include "host/SoftwareSurfacePixels.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace wqtrans {

namespace {

constexpr std::size_t kCacheLine = 64;

// Uninitialised memory for `count` words; null for none.
uint32_t* Reserve(std::size_t count) {
    if (count == 0) {
        return nullptr;
    }
    if (count > SIZE_MAX / sizeof(uint32_t) - PixelBuffer::kHugePage) {
        throw std::bad_alloc();
    }
    const std::size_t bytes = count * sizeof(uint32_t);
    const std::size_t align = bytes >= PixelBuffer::kHugePage ? PixelBuffer::kHugePage : kCacheLine;
    // aligned_alloc takes a size that is a multiple of the alignment.
    const std::size_t rounded = (bytes + align - 1) / align * align;
    void* memory = std::aligned_alloc(align, rounded);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (align == PixelBuffer::kHugePage) {
        // Advice only: a kernel without transparent huge pages, or with them switched
        // off, refuses it and the block stays ordinary memory.
        (void)madvise(memory, rounded, MADV_HUGEPAGE);
    }
#endif
    return static_cast<uint32_t*>(memory);
}

} // namespace

void PixelBuffer::Free::operator()(uint32_t* p) const { std::free(p); }

PixelBuffer::PixelBuffer(std::size_t n, uint32_t fill) : words(Reserve(n)), count(n) {
    if (n == 0) {
        return;
    }
    if (fill == 0) {
        std::memset(words.get(), 0, n * sizeof(uint32_t));
    } else {
        std::fill_n(words.get(), n, fill);
    }
}

PixelBuffer::PixelBuffer(const PixelBuffer& other) : words(Reserve(other.count)), count(other.count) {
    if (count != 0) {
        std::memcpy(words.get(), other.words.get(), count * sizeof(uint32_t));
    }
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other) {
    if (this != &other) {
        PixelBuffer(other).swap(*this);
    }
    return *this;
}

} // namespace wqtrans
