// The four parameter-block shapes.
#include <gtest/gtest.h>

#include <array>

#include "module/ParamBlock.h"

namespace wqtrans {
namespace {

TEST(ParamBlock, WordsAreLittleEndianByteByByte) {
    int32_t a = 0x04030201, b = -2, c = 0x7FFFFFFF;
    std::array<uint8_t, 12> out{};
    EXPECT_EQ(WriteBlock(out.data(), a, b, c), 12);
    EXPECT_EQ(out, (std::array<uint8_t, 12>{1, 2, 3, 4, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(ParamBlock, NullOutputAsksForTheSizeAlone) {
    int32_t one = 1;
    uint16_t half = 5, other = 6;
    EXPECT_EQ(WriteBlock(nullptr, one), 4);
    EXPECT_EQ(WriteBlock(nullptr, one, one), 8);
    EXPECT_EQ(WriteBlock(nullptr, one, one, one), 12);
    EXPECT_EQ(WriteBlock(nullptr, half), 2);
    EXPECT_EQ(WriteBlock(nullptr, half, other), 4);
    EXPECT_EQ(WriteBlock(nullptr, one, half, other), 8);
}

TEST(ParamBlock, PackedHalfWordsFormOneWord) {
    uint16_t count = 0x1388, direction = 3;
    std::array<uint8_t, 4> out{};
    WriteBlock(out.data(), count, direction);
    EXPECT_EQ(out, (std::array<uint8_t, 4>{0x88, 0x13, 3, 0}));
    uint16_t readCount = 0, readDirection = 0;
    const uint8_t block[4] = {0xFF, 0xFF, 0x02, 0x80};
    ReadBlock(block, 4, readCount, readDirection);
    EXPECT_EQ(readCount, 0xFFFF);
    EXPECT_EQ(readDirection, 0x8002);
}

TEST(ParamBlock, NullOrShortBlocksChangeNothing) {
    int32_t a = 11, b = 22;
    const uint8_t block[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    ReadBlock(nullptr, 8, a, b);
    ReadBlock(block, 7, a, b);
    ReadBlock(block, 0, a, b);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(b, 22);
    ReadBlock(block, 8, a, b);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    ReadBlock(block, 0xFFFFFFFFu, a, b); // longer blocks take the first bytes
}

TEST(ParamBlock, ValuesAreTakenAsTheyCome) {
    int32_t value = 0;
    const uint8_t block[4] = {0x00, 0x00, 0x00, 0x80};
    ReadBlock(block, 4, value);
    EXPECT_EQ(value, INT32_MIN);
}

} // namespace
} // namespace wqtrans
