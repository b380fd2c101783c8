// The pixel memory of the reference surface: a counted array of 32-bit words, like a
// vector, whose large blocks start on a 2 MiB boundary and are offered to the kernel as
// huge pages, so that whole-frame passes take fewer address-translation misses. Smaller
// blocks start on a cache line. Where the kernel refuses huge pages the memory is
// ordinary memory; nothing else changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "../module/Api.h"

namespace wqtrans {

class WQ_API PixelBuffer {
public:
    // Blocks of this many bytes or more are aligned to it and advised as huge pages.
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;

    PixelBuffer() = default;
    // `count` words of `fill`. Throws std::bad_alloc when the memory cannot be had.
    PixelBuffer(std::size_t count, uint32_t fill);
    PixelBuffer(const PixelBuffer& other);
    PixelBuffer& operator=(const PixelBuffer& other);
    PixelBuffer(PixelBuffer&& other) noexcept { swap(other); }
    PixelBuffer& operator=(PixelBuffer&& other) noexcept {
        PixelBuffer(std::move(other)).swap(*this);
        return *this;
    }
    void swap(PixelBuffer& other) noexcept {
        words.swap(other.words);
        std::swap(count, other.count);
    }

    uint32_t* data() { return words.get(); }
    const uint32_t* data() const { return words.get(); }
    std::size_t size() const { return count; }
    uint32_t& operator[](std::size_t i) { return words[i]; }
    const uint32_t& operator[](std::size_t i) const { return words[i]; }
    uint32_t* begin() { return words.get(); }
    uint32_t* end() { return words.get() + count; }

private:
    struct Free {
        void operator()(uint32_t* p) const;
    };
    std::unique_ptr<uint32_t[], Free> words;
    std::size_t count = 0;
};

} // namespace wqtrans
