// The non-window platform calls: string loading, formatting, the C runtime generator,
// global memory and the replaceable time source.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Platform.h"

namespace {

std::u16string Text(const char16_t* buffer) { return std::u16string(buffer); }

TEST(LoadString, CopiesWhatFitsAndTerminates) {
    const struct {
        UINT id;
        int capacity;
        const char16_t* expected;
        int copied;
    } cases[] = {
        {1000, 9, u"Standard", 8},
        {1000, 64, u"Standard transitions", 20},
        {1000, 21, u"Standard transitions", 20},
        {1000, 20, u"Standard transition", 19},
        {1010, 64, u"Spot width: %d%%", 16},
        {1003, 1, u"", 0},
    };
    for (const auto& c : cases) {
        char16_t buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(LoadStringW(nullptr, c.id, reinterpret_cast<LPWSTR>(buffer), c.capacity), c.copied) << c.id;
        EXPECT_EQ(Text(buffer), std::u16string(c.expected)) << c.id << " capacity " << c.capacity;
        EXPECT_EQ(buffer[c.copied + 1], u'#') << "wrote past the terminator";
    }
}

TEST(LoadString, WritesNothingForUnknownIdsNullBuffersAndNoCapacity) {
    char16_t buffer[8] = {u'x', u'y', 0};
    EXPECT_EQ(LoadStringW(nullptr, 1002, reinterpret_cast<LPWSTR>(buffer), 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 1013, reinterpret_cast<LPWSTR>(buffer), 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 1000, reinterpret_cast<LPWSTR>(buffer), 0), 0);
    EXPECT_EQ(LoadStringW(nullptr, 1000, reinterpret_cast<LPWSTR>(buffer), -1), 0);
    EXPECT_EQ(Text(buffer), u"xy");
    EXPECT_EQ(LoadStringW(nullptr, 1000, nullptr, 8), 0);
}

TEST(Format, FormatsAsTheRealCall) {
    char16_t buffer[1100];
    EXPECT_EQ(wsprintfW(reinterpret_cast<LPWSTR>(buffer), reinterpret_cast<LPCWSTR>(u"Spot width: %d%%"), 4), 14);
    EXPECT_EQ(Text(buffer), u"Spot width: 4%");

    wsprintfW(reinterpret_cast<LPWSTR>(buffer), reinterpret_cast<LPCWSTR>(u"%d|%d|%u|%x"), -17, INT32_MIN, 4294967295u,
              0xBEEFu);
    EXPECT_EQ(Text(buffer), u"-17|-2147483648|4294967295|beef");

    wsprintfW(reinterpret_cast<LPWSTR>(buffer), reinterpret_cast<LPCWSTR>(u"[%s] %c"), u"Turn 2", u'Z');
    EXPECT_EQ(Text(buffer), u"[Turn 2] Z");
}

TEST(Format, StopsAt1024CharactersWithTheTerminator) {
    const std::u16string format(1100, u'a');
    char16_t buffer[1200];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(wsprintfW(reinterpret_cast<LPWSTR>(buffer), reinterpret_cast<LPCWSTR>(format.c_str())), 1023);
    EXPECT_EQ(buffer[1022], u'a');
    EXPECT_EQ(buffer[1023], u'\0');
    EXPECT_EQ(buffer[1024], u'#');
}

TEST(CrtRand, IsTheModulePlatformGenerator) {
    wqtrans::crt::srand(1);
    EXPECT_EQ(wqtrans::crt::rand(), 41);
    EXPECT_EQ(wqtrans::crt::rand(), 18467);
    EXPECT_EQ(wqtrans::crt::rand(), 6334);
    // Seed 0: state 2531011 gives (2531011 >> 16) & 0x7FFF = 38.
    wqtrans::crt::srand(0);
    EXPECT_EQ(wqtrans::crt::rand(), 38);
    // The same seed gives the same run; every value stays within 0 to 32767.
    wqtrans::crt::srand(12345);
    int first[100];
    int low = 32767, high = 0;
    for (int& value : first) {
        value = wqtrans::crt::rand();
        low = std::min(low, value);
        high = std::max(high, value);
    }
    EXPECT_GE(low, 0);
    EXPECT_LE(high, 32767);
    wqtrans::crt::srand(12345);
    for (int value : first) {
        EXPECT_EQ(wqtrans::crt::rand(), value);
    }
}

TEST(GlobalMemory, IsZeroFilledAndFoundAgainFromItsPointer) {
    for (SIZE_T bytes : {SIZE_T{1}, SIZE_T{3}, SIZE_T{4096}}) {
        HGLOBAL memory = GlobalAlloc(GHND, bytes);
        ASSERT_NE(memory, nullptr);
        auto* bytesOf = static_cast<unsigned char*>(GlobalLock(memory));
        ASSERT_NE(bytesOf, nullptr);
        for (SIZE_T i = 0; i < bytes; ++i) {
            ASSERT_EQ(bytesOf[i], 0) << i;
        }
        std::memset(bytesOf, 0xAB, bytes); // the whole block is writable
        EXPECT_EQ(GlobalHandle(bytesOf), memory);
        GlobalUnlock(memory);
        EXPECT_EQ(GlobalFree(memory), nullptr);
    }
}

TEST(GlobalMemory, ReportsFailureInsteadOfThrowing) {
    EXPECT_EQ(GlobalAlloc(GHND, static_cast<SIZE_T>(-1)), nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, static_cast<SIZE_T>(-1) - 8), nullptr);
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_EQ(GlobalHandle(nullptr), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

} // namespace
