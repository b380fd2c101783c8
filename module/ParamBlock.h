// Parameter blocks: a transition's parameter fields as a little-endian record.
//
// There are four shapes (one, two or three 32-bit words, or one 16-bit word); a class
// hands its fields, in block order, to WriteBlock and ReadBlock. Fields are written
// and read byte by byte, so the block is the same on every platform whatever the
// class's own layout. Two 16-bit fields side by side form one 32-bit word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace wqtrans {

template <typename... Fields> constexpr std::size_t BlockSize = (sizeof(Fields) + ... + 0);

// The largest of the four shapes: three 32-bit words.
constexpr std::size_t kMaxBlockSize = 12;

namespace detail {

template <typename F> void PutField(uint8_t*& out, F value) {
    static_assert(std::is_integral_v<F> && (sizeof(F) == 2 || sizeof(F) == 4));
    auto bits = static_cast<std::make_unsigned_t<F>>(value);
    for (std::size_t i = 0; i < sizeof(F); ++i) {
        *out++ = static_cast<uint8_t>(bits >> (8 * i));
    }
}

template <typename F> void TakeField(const uint8_t*& in, F& value) {
    static_assert(std::is_integral_v<F> && (sizeof(F) == 2 || sizeof(F) == 4));
    std::make_unsigned_t<F> bits = 0;
    for (std::size_t i = 0; i < sizeof(F); ++i) {
        bits = static_cast<std::make_unsigned_t<F>>(bits | static_cast<std::make_unsigned_t<F>>(*in++) << (8 * i));
    }
    value = static_cast<F>(bits);
}

} // namespace detail

// GetParams: writes the block to `out` when it is not null; returns the block size
// either way, so a null pointer asks for the size alone.
template <typename... Fields> int32_t WriteBlock(void* out, const Fields&... fields) {
    constexpr std::size_t size = BlockSize<Fields...>;
    static_assert(size == 2 || size == 4 || size == 8 || size == kMaxBlockSize, "not one of the four block shapes");
    if (out != nullptr) {
        auto* bytes = static_cast<uint8_t*>(out);
        (detail::PutField(bytes, fields), ...);
    }
    return static_cast<int32_t>(size);
}

// SetParams: takes the block only when it is not null and at least the block size
// long; a null or short block leaves every field as it was. Values are not checked.
template <typename... Fields> void ReadBlock(const void* block, uint32_t size, Fields&... fields) {
    constexpr std::size_t blockSize = BlockSize<Fields...>;
    static_assert(blockSize == 2 || blockSize == 4 || blockSize == 8 || blockSize == kMaxBlockSize,
                  "not one of the four block shapes");
    if (block == nullptr || size < blockSize) {
        return;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    (detail::TakeField(bytes, fields), ...);
}

} // namespace wqtrans
