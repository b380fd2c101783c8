// Open: the growing cross, the switch at 0.3, the quarters and the empty panel.
#include <gtest/gtest.h>

#include "platform/Automation.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/OpenTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

using OpenTest = test::NewFrameStepFixture<OpenTransition>;

TEST_F(OpenTest, IdentityAndAnOptionThatIsOnlyKept) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '5'));
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.DialogId(), 111);
    EXPECT_EQ(t.option, 0);
    const uint8_t block[] = {0xEF, 0xBE, 0xAD, 0xDE};
    t.SetParams(block, 3);
    EXPECT_EQ(t.option, 0);
    t.SetParams(block, 4);
    uint8_t out[4] = {};
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(out[0], 0xEF);
    EXPECT_EQ(out[3], 0xDE);

    At(100);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 192, 206, 192, 206, 256, 68, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 275, 144, 275, 144, 91, 192, 0, 0, 0, 2)"});
}

TEST_F(OpenTest, CallsAcrossTheRun) {
    struct Case {
        uint32_t e;
        std::vector<std::string> calls;
    };
    // 640 x 480, d = 1000: w = 320, h = 240, H / 7 = 68, W / 7 = 91.
    const Case cases[] = {
        {0,
         {"new.CopyRect(dest, 320, 206, 320, 206, 0, 68, 0, 0, 0, 2)",
          "new.CopyRect(dest, 275, 240, 275, 240, 91, 0, 0, 0, 0, 2)"}},
        {100,
         {"new.CopyRect(dest, 192, 206, 192, 206, 256, 68, 0, 0, 0, 2)",
          "new.CopyRect(dest, 275, 144, 275, 144, 91, 192, 0, 0, 0, 2)"}},
        // G = 2 x 382, K = 2 x 287: both bars reach past the frame.
        {299,
         {"new.CopyRect(dest, -62, 206, -62, 206, 764, 68, 0, 0, 0, 2)",
          "new.CopyRect(dest, 275, -47, 275, -47, 91, 574, 0, 0, 0, 2)"}},
        // 10e = 3d opens the quarters: gx = -128, gy = -96.
        {300,
         {"new.CopyRect(dest, 320, 0, 320, 0, -128, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 320, 240, 320, 240, 320, -96, 0, 0, 0, 2)",
          "new.CopyRect(dest, 448, 240, 448, 240, -128, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 336, 0, 336, 320, -96, 0, 0, 0, 2)"}},
        {400,
         {"new.CopyRect(dest, 320, 0, 320, 0, -64, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 320, 240, 320, 240, 320, -48, 0, 0, 0, 2)",
          "new.CopyRect(dest, 384, 240, 384, 240, -64, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 288, 0, 288, 320, -48, 0, 0, 0, 2)"}},
        {750,
         {"new.CopyRect(dest, 320, 0, 320, 0, 160, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 320, 240, 320, 240, 320, 120, 0, 0, 0, 2)",
          "new.CopyRect(dest, 160, 240, 160, 240, 160, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 120, 0, 120, 320, 120, 0, 0, 0, 2)"}},
        {1000,
         {"new.CopyRect(dest, 320, 0, 320, 0, 320, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 320, 240, 320, 240, 320, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 240, 0, 240, 320, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 320, 240, 0, 0, 0, 2)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("e = " + std::to_string(c.e));
        At(c.e);
        EXPECT_EQ(Step(), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(OpenTest, SwitchAtThreeTenthsOfOtherDurations) {
    struct Case {
        uint32_t d;
        uint32_t e;
        bool cross;
    };
    const Case cases[] = {
        {10, 2, true},           {10, 3, false},          {3, 0, true}, {3, 1, false}, {7, 2, true}, {7, 3, false},
        {1000000, 299999, true}, {1000000, 300000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("e = " + std::to_string(c.e) + " of " + std::to_string(c.d));
        At(c.e, c.d);
        EXPECT_EQ(Step(), 1);
        EXPECT_EQ(log.lines.size(), c.cross ? 3u : 5u);
    }
}

TEST_F(OpenTest, UnreadyBeyondTheRunAndHostFailure) {
    At(500);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 500u);
    EXPECT_FALSE(t.FirstStep());
    dest.SetReady(true);
    ExpectNewFrameWholeBeyondTheRun();
    At(500);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(Step(), 0);
}

// 70 x 49 (w = 35, h = 24; bars 7 and 10 thick): by e = 290 both bars have outgrown
// the frame; from 300 to below 500 nothing visible is drawn, so the cross stays.
TEST(OpenPixels, TheCrossStaysUntilTheQuartersOpen) {
    const auto cross = [](int32_t x, int32_t y) {
        return ((y >= 21 && y < 28) || (x >= 30 && x < 40)) ? NewAt(x, y) : OldAt(x, y);
    };
    TestClock clock;
    PixelRig rig(70, 49);
    OpenTransition open;
    test::RunUntil(open, rig, clock, 1000, 10, 290);
    EXPECT_EQ(test::FirstBadPixel(rig.dest, cross), "");
    for (uint32_t t : {300u, 400u, 499u}) {
        clock.Set(t);
        ASSERT_EQ(open.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
    }
    EXPECT_EQ(test::FirstBadPixel(rig.dest, cross), "");
}

// The quarters end at full size, but with an odd height the bottom-left one (h rows)
// misses the last row, and with an odd width the bottom-right one (w columns) misses
// the last column: there the destination keeps the old frame, or the cross where an
// earlier step drew it.
TEST(OpenPixels, EndsOnTheNewFrameButForTheOddRowAndColumn) {
    for (auto [width, height] : {std::pair{70, 48}, std::pair{70, 49}, std::pair{71, 50}, std::pair{41, 31}}) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", a step every " +
                         std::to_string(frame) + " ms");
            TestClock clock;
            PixelRig rig(width, height);
            OpenTransition open;
            test::RunUntil(open, rig, clock, 1000, frame, 1000);
            const int32_t w = width / 2;
            const int32_t h = height / 2;
            const auto gap = [&](int32_t x, int32_t y) {
                return (height % 2 == 1 && y == height - 1 && x < w) || (width % 2 == 1 && x == width - 1 && y >= h);
            };
            // With a step every 333 ms or more, only the zero-length cross of the first
            // step was ever drawn.
            const bool crossDrawn = frame < 333;
            const auto expected = [&](int32_t x, int32_t y) {
                if (!gap(x, y)) {
                    return NewAt(x, y);
                }
                return crossDrawn && rig.dest.Pixel(x, y) == NewAt(x, y) ? NewAt(x, y) : OldAt(x, y);
            };
            EXPECT_EQ(test::FirstBadPixel(rig.dest, expected), "");
        }
    }
}

TEST(OpenPanel, EmptyPanelOpensAndClosesWithoutChangingTheOption) {
    OpenTransition open;
    open.option = 5;
    HWND panel = open.OpenSettings(nullptr, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(automation::Controls(panel).empty());
    EXPECT_EQ(open.CloseSettings(1), 1);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(open.Dialog(), nullptr);
    EXPECT_EQ(open.option, 5);
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

} // namespace
} // namespace wqtrans
