// Fade's pictures on the reference surface: the old frame at the start, the half blend
// halfway and the new frame at the end, for both orders of drawing and for the
// extended step's plain and work-surface paths.
#include <cstdint>
#include <cstdlib>

#include <gtest/gtest.h>

#include "host/SoftwareSurface.h"
#include "support/Frames.h"
#include "support/TestClock.h"
#include "transitions/FadeTransition.h"

namespace wqtrans {
namespace {

using test::FirstBadPixel;

constexpr uint32_t kOld = 0xFF204060;  // R 32, G 64, B 96
constexpr uint32_t kNew = 0xFFA0C0E0;  // R 160, G 192, B 224
constexpr uint32_t kHalf = 0xFF6080A0; // the channel means
constexpr uint32_t kBack = 0xFF0A0B0C; // the destination around a frame drawn off its origin

// "" when every pixel is within 1 of `want` on each channel and has its top byte.
std::string NearlyFlat(const SoftwareSurface& surface, uint32_t want, int32_t x0 = 0, int32_t y0 = 0, int32_t w = -1,
                       int32_t h = -1) {
    auto& s = const_cast<SoftwareSurface&>(surface);
    w = w < 0 ? s.Width() : w;
    h = h < 0 ? s.Height() : h;
    for (int32_t y = y0; y < y0 + h; ++y) {
        for (int32_t x = x0; x < x0 + w; ++x) {
            const uint32_t got = s.Pixel(x, y);
            bool near = (got >> 24) == (want >> 24);
            for (int shift = 0; shift < 24; shift += 8) {
                near = near && std::abs(static_cast<int>((got >> shift) & 0xFF) -
                                        static_cast<int>((want >> shift) & 0xFF)) <= 1;
            }
            if (!near) {
                char text[96];
                std::snprintf(text, sizeof text, "pixel (%d, %d) is %08X, want %08X", x, y, got, want);
                return text;
            }
        }
    }
    return "";
}

TEST(FadeOnSurface, StepShowsOldHalfAndNew) {
    for (int32_t flags : {0, 1}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        test::TestClock clock(5000);
        SoftwareSurface oldFrame(8, 6, kOld), newFrame(8, 6, kNew), dest(8, 6, 0xFF000000);
        FadeTransition fade;
        fade.Begin(1000);
        const struct {
            uint32_t at;
            uint32_t want;
        } points[] = {{0, kOld}, {500, kHalf}, {1000, kNew}};
        for (const auto& point : points) {
            SCOPED_TRACE("e = " + std::to_string(point.at));
            clock.Set(5000 + point.at);
            ASSERT_EQ(fade.Step(&dest, &oldFrame, &newFrame, flags, nullptr), 1);
            EXPECT_EQ(NearlyFlat(dest, point.want), "");
        }
    }
}

// The blended frame's transparent pixels show the frame laid down under it.
TEST(FadeOnSurface, StepInModeOneShowsThroughTheKeyColour) {
    test::TestClock clock(0);
    SoftwareSurface oldFrame(4, 4, kOld), newFrame(4, 4, kNew), dest(4, 4, 0xFF000000);
    oldFrame.SetPixel(1, 1, 0xFF00FF00);
    oldFrame.SetKeyColour(0x0000FF00);
    FadeTransition fade;
    fade.Begin(1000);
    ASSERT_EQ(fade.Step(&dest, &oldFrame, &newFrame, 4, nullptr), 1);
    EXPECT_EQ(dest.Pixel(1, 1), kNew);
    EXPECT_EQ(dest.Pixel(0, 0), kOld);
}

// The extended step at an offset, halfway: the pair lands at (x, y) with the fade, and
// the destination around it stays as it was. op 0 takes the plain path; op 1 with
// param 0 (opaque) goes through the work surface and must give the same picture.
TEST(FadeOnSurface, StepExHalfwayAtAnOffset) {
    const struct {
        const char* name;
        int32_t op;
        HostParam param;
    } cases[] = {{"plain", 0, 0}, {"work surface", 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestClock clock(0);
        SoftwareSurface oldFrame(4, 3, kOld), newFrame(4, 3, kNew), dest(8, 6, kBack);
        FadeTransition fade;
        fade.Begin(1000);
        clock.Set(500);
        ASSERT_EQ(fade.StepEx(&dest, 3, 2, &oldFrame, &newFrame, 0, 0, 0, c.op, c.param, 0), 1);
        EXPECT_EQ(NearlyFlat(dest, kHalf, 3, 2, 4, 3), "");
        EXPECT_EQ(FirstBadPixel(dest,
                                [&](int32_t x, int32_t y) {
                                    const bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
                                    return inside ? dest.Pixel(x, y) : kBack;
                                }),
                  "");
    }
}

} // namespace
} // namespace wqtrans
