// The shared conversion of 3-byte pixels, at every length around the vector widths (the
// loops' ends), from and to memory at odd offsets, and a picture's rows bottom up.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/PixelFormat.h"

namespace wqtrans {
namespace {

TEST(PixelFormat, TriplesToWordsAndBackAtEveryLength) {
    std::mt19937 rng(3);
    for (std::size_t count = 0; count <= 140; ++count) {
        for (std::size_t offset : {0, 1, 3}) {
            std::vector<uint8_t> triples(offset + 3 * count); // no slack: a read past it is caught under ASan
            for (uint8_t& byte : triples) {
                byte = static_cast<uint8_t>(rng());
            }
            std::vector<uint32_t> words(count + 2, 0x12345678u);
            WordsFromTriples(triples.data() + offset, words.data() + 1, count);
            for (std::size_t i = 0; i < count; ++i) {
                const uint8_t* p = triples.data() + offset + 3 * i;
                ASSERT_EQ(words[i + 1], 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0]) << count << " pixel " << i;
            }
            EXPECT_EQ(words.front(), 0x12345678u);
            EXPECT_EQ(words.back(), 0x12345678u) << count;

            std::vector<uint8_t> back(offset + 3 * count + 8, 0xA5);
            for (std::size_t i = 0; i < count; ++i) {
                words[i + 1] ^= 0xFF000000u; // the top byte is dropped whatever it is
            }
            TriplesFromWords(words.data() + 1, back.data() + offset, count);
            for (std::size_t i = 0; i < back.size(); ++i) {
                const bool inside = i >= offset && i < offset + 3 * count;
                ASSERT_EQ(back[i], inside ? triples[i] : 0xA5) << count << " byte " << i;
            }
        }
    }
}

TEST(PixelFormat, PicturesWithRowsBottomUp) {
    constexpr int32_t kWidth = 37, kHeight = 5;
    constexpr std::ptrdiff_t kStride = 3 * kWidth + 5;
    std::vector<uint8_t> bytes(kStride * kHeight);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7);
    }
    uint8_t* lastRow = bytes.data() + kStride * (kHeight - 1);
    SoftwareSurface surface(kWidth, kHeight, 0);
    ReadTriples(lastRow, -kStride, surface);
    EXPECT_EQ(surface.Pixel(2, 0), 0xFF000000u | lastRow[8] << 16 | lastRow[7] << 8 | lastRow[6]);
    EXPECT_EQ(surface.Pixel(0, kHeight - 1), 0xFF000000u | bytes[2] << 16 | bytes[1] << 8 | bytes[0]);
    std::vector<uint8_t> back(bytes.size(), 0);
    WriteTriples(surface, back.data() + kStride * (kHeight - 1), -kStride);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(back[i], i % kStride < 3 * kWidth ? bytes[i] : 0) << i;
    }
}

} // namespace
} // namespace wqtrans
