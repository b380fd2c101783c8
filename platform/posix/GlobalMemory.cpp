// Global memory over zero-filled heap blocks. A handle is the address of a small
// header in front of the block, so GlobalHandle finds it from the block's pointer.
#include <cstdlib>
#include <new>

#include "platform/Platform.h"

namespace {

struct alignas(std::max_align_t) Header {
    std::size_t size;
    unsigned lockCount;
};

Header* FromHandle(HGLOBAL memory) { return reinterpret_cast<Header*>(memory); }

} // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
    if (bytes > static_cast<SIZE_T>(-1) - sizeof(Header)) {
        return nullptr;
    }
    void* block = std::calloc(1, sizeof(Header) + bytes);
    if (block == nullptr) {
        return nullptr;
    }
    auto* header = new (block) Header{bytes, 0};
    return reinterpret_cast<HGLOBAL>(header);
}

LPVOID GlobalLock(HGLOBAL memory) {
    if (memory == nullptr) {
        return nullptr;
    }
    Header* header = FromHandle(memory);
    ++header->lockCount;
    return header + 1;
}

HGLOBAL GlobalHandle(LPCVOID pointer) {
    if (pointer == nullptr) {
        return nullptr;
    }
    const auto* header = static_cast<const Header*>(pointer) - 1;
    return reinterpret_cast<HGLOBAL>(const_cast<Header*>(header));
}

BOOL GlobalUnlock(HGLOBAL memory) {
    if (memory == nullptr) {
        return FALSE;
    }
    Header* header = FromHandle(memory);
    if (header->lockCount > 0) {
        --header->lockCount;
    }
    return header->lockCount > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory != nullptr) {
        std::free(FromHandle(memory));
    }
    return nullptr;
}
