// Advanced Scrolling: the strips of each style, the random style and its seed, the
// columns that odd widths never draw.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/AdvancedScrollingTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

// The seed after which the generator's next value is `r`: the generator's state
// update (state * 214013 + 2531011) solved for the state before, with the next state
// chosen as r << 16.
unsigned int SeedGiving(uint32_t r) {
    const uint32_t a = 214013u;
    uint32_t inverse = a; // Newton's iteration for a's inverse modulo 2^32
    for (int i = 0; i < 5; ++i) {
        inverse *= 2u - a * inverse;
    }
    return ((r << 16) - 2531011u) * inverse;
}

using AdvancedScrollingTest = test::NewFrameStepFixture<AdvancedScrollingTransition>;

TEST_F(AdvancedScrollingTest, IdentityAndParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '0'));
    EXPECT_EQ(t.GetMode(), 11);
    EXPECT_EQ(t.DialogId(), 108);
    EXPECT_EQ(t.style, 0);

    const uint8_t block[] = {8, 0, 0, 0};
    t.SetParams(block, 3);
    EXPECT_EQ(t.style, 0);
    t.SetParams(block, 4);
    EXPECT_EQ(t.style, 8);
    const uint8_t negative[] = {0xFF, 0xFF, 0xFF, 0xFF};
    t.SetParams(negative, 4);
    EXPECT_EQ(t.style, -1);
    uint8_t out[4] = {};
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[3], 0xFF);
}

TEST_F(AdvancedScrollingTest, EveryConstructionSeedsTheGeneratorWithTheTimer) {
    clock.Set(0);
    AdvancedScrollingTransition first;
    EXPECT_EQ(crt::rand(), 38); // the generator's first value after seed 0
    clock.Set(1);
    std::unique_ptr<Transition> clone(first.Clone());
    EXPECT_EQ(crt::rand(), 41); // after seed 1
}

TEST_F(AdvancedScrollingTest, QuarterWayForEachStyle) {
    // 640 x 480, d = 1000, e = 250: T = 213, T2 = 426, S = 91, a = 53, b = 120, b2 = 60.
    const std::string left = "new.CopyRect(dest, 0, 0, 160, 0, 53, 480, 0, 0, 0, 2)";
    const std::string right = "new.CopyRect(dest, 587, 0, 426, 0, 53, 480, 0, 0, 0, 2)";
    const std::vector<std::string> cases[] = {
        {left, right, "new.CopyRect(dest, 213, 0, 213, 360, 213, 120, 0, 0, 0, 2)"},
        {left, right, "new.CopyRect(dest, 213, 360, 213, 0, 213, 120, 0, 0, 0, 2)"},
        {left, right, "new.CopyRect(dest, 213, 0, 213, 0, 213, 120, 0, 0, 0, 2)"},
        {left, right, "new.CopyRect(dest, 213, 360, 213, 360, 213, 120, 0, 0, 0, 2)"},
        {left, right, "new.CopyRect(dest, 213, 0, 213, 180, 213, 60, 0, 0, 0, 2)",
         "new.CopyRect(dest, 213, 420, 213, 240, 213, 60, 0, 0, 0, 2)"},
        {left, right, "new.CopyRect(dest, 213, 0, 213, 0, 213, 60, 0, 0, 0, 2)",
         "new.CopyRect(dest, 213, 420, 213, 420, 213, 60, 0, 0, 0, 2)"},
        {"new.CopyRect(dest, 0, 360, 0, 0, 213, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 213, 0, 213, 360, 213, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 426, 360, 426, 0, 213, 120, 0, 0, 0, 2)"},
        {"new.CopyRect(dest, 0, 360, 0, 0, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 91, 0, 91, 360, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 182, 360, 182, 0, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 273, 0, 273, 360, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 364, 360, 364, 0, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 455, 0, 455, 360, 91, 120, 0, 0, 0, 2)",
         "new.CopyRect(dest, 546, 360, 546, 0, 182, 120, 0, 0, 0, 2)"},
    };
    for (int32_t style = 0; style < 8; ++style) {
        SCOPED_TRACE("style " + std::to_string(style));
        t.style = style;
        At(250);
        EXPECT_EQ(Step(), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), cases[style].begin(), cases[style].end());
        EXPECT_CALLS(log, expected);
        // Nothing is remembered: the same time draws the same calls again.
        log.Clear();
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(AdvancedScrollingTest, AtTheStartEveryCopyIsEmptyButStillMade) {
    At(0);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 213, 0, 0, 480, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 640, 0, 426, 0, 0, 480, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 213, 0, 213, 480, 213, 0, 0, 0, 0, 2)"});
}

TEST_F(AdvancedScrollingTest, RandomStyleFromTheGenerator) {
    struct Case {
        uint32_t r;
        uint32_t style;
    };
    const Case cases[] = {{0, 0},     {4095, 0},  {4096, 1},  {8191, 1},  {8192, 2},  {16383, 3}, {16384, 4},
                          {24575, 5}, {24576, 6}, {28671, 6}, {28672, 7}, {32766, 7}, {32767, 8}};
    t.style = 8;
    for (const Case& c : cases) {
        SCOPED_TRACE("r = " + std::to_string(c.r));
        At(250);
        crt::srand(SeedGiving(c.r));
        EXPECT_EQ(Step(), 1);
        EXPECT_EQ(t.activeStyle, c.style);
    }
    // The top value draws the whole frame at once, at every step of the run.
    At(250);
    crt::srand(SeedGiving(32767));
    EXPECT_EQ(Step(), 1);
    clock.Set(500);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)", "dest.IsReady()", "new.CopyAll(dest)"});
}

TEST_F(AdvancedScrollingTest, RandomStyleHoldsForTheRunAndIsDrawnAgainByTheNext) {
    t.style = 8;
    At(100);
    crt::srand(SeedGiving(4096 * 3));
    EXPECT_EQ(Step(), 1);
    crt::srand(SeedGiving(4096 * 6));
    clock.Set(200);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(t.activeStyle, 3u);
    At(100); // a new run
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(t.activeStyle, 6u);
    // Finish asks for a new draw as well, and takes over a changed style.
    t.style = 2;
    t.Finish();
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(t.activeStyle, 2u);
}

TEST_F(AdvancedScrollingTest, WholeFrameForStylesAboveEightAndTimeBeyondTheRun) {
    for (int32_t style : {9, 100, -1}) {
        SCOPED_TRACE("style " + std::to_string(style));
        t.style = style;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
    }
    t.style = 0;
    At(500);
    EXPECT_EQ(Step(), 1);
    ExpectNewFrameWholeBeyondTheRun();
}

TEST_F(AdvancedScrollingTest, UnreadyDestinationAfterTheSetUpAndTheClock) {
    t.style = 8;
    At(400);
    crt::srand(SeedGiving(4096 * 5));
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.activeStyle, 5u);
    EXPECT_EQ(t.GetElapsed(), 400u); // the clock is read before the readiness test
}

TEST_F(AdvancedScrollingTest, HostFailureReportsZero) {
    At(250);
    newFrame.ThrowAfter(1);
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(log.lines.size(), 3u); // the readiness test, one copy, the failing copy
}

// The whole run on a width that is a multiple of 3 (and of nothing else needed): every
// style ends on the new frame.
TEST(AdvancedScrollingPixels, EveryStyleEndsOnTheNewFrame) {
    for (int32_t style = 0; style < 8; ++style) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("style " + std::to_string(style) + ", a step every " + std::to_string(frame) + " ms");
            TestClock clock;
            PixelRig rig(60, 30);
            AdvancedScrollingTransition scrolling;
            scrolling.style = style;
            test::RunUntil(scrolling, rig, clock, 1000, frame, 1000);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, NewAt), "");
        }
    }
}

// W = 62 = 3 x 20 + 2 and H = 31: the thirds are 20 wide, the right one ends one
// column right of its source, columns 40 and 41 are never drawn by styles 0 to 5 and
// columns 60 and 61 never by style 6; styles 4 and 5 never draw row 15 of the middle
// third.
TEST(AdvancedScrollingPixels, OddSizesKeepTheOldFrameWhereNothingIsDrawn) {
    using Picture = std::function<uint32_t(int32_t, int32_t)>;
    const Picture thirds = [](int32_t x, int32_t y) {
        if (x < 40) {
            return NewAt(x, y);
        }
        return x < 42 ? OldAt(x, y) : NewAt(x - 1, y);
    };
    const Picture middleRow = [thirds](int32_t x, int32_t y) {
        return (y == 15 && x >= 20 && x < 40) ? OldAt(x, y) : thirds(x, y);
    };
    // Style 4's lower half slides up from source row 15 to destination row 16.
    const Picture halvesMeet = [middleRow](int32_t x, int32_t y) {
        return (y > 15 && x >= 20 && x < 40) ? NewAt(x, y - 1) : middleRow(x, y);
    };
    const Picture sixth = [](int32_t x, int32_t y) { return x < 60 ? NewAt(x, y) : OldAt(x, y); };
    const Picture all = [](int32_t x, int32_t y) { return NewAt(x, y); };
    const Picture expected[] = {thirds, thirds, thirds, thirds, halvesMeet, middleRow, sixth, all};
    for (int32_t style = 0; style < 8; ++style) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("style " + std::to_string(style) + ", a step every " + std::to_string(frame) + " ms");
            TestClock clock;
            PixelRig rig(62, 31);
            AdvancedScrollingTransition scrolling;
            scrolling.style = style;
            test::RunUntil(scrolling, rig, clock, 1000, frame, 1000);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, expected[style]), "");
        }
    }
}

using AdvancedScrollingPanelTest = test::PanelFixture<AdvancedScrollingTransition>;
using test::ExpectRadioButtons;

const std::vector<std::u16string> kStyleTexts = {u"&Style 1", u"&Style 2", u"&Style 3", u"&Style 4", u"&Style 5",
                                                 u"&Style 6", u"&Style 7", u"&Style 8", u"&Randomly"};

TEST_F(AdvancedScrollingPanelTest, ButtonsShowTheStyle) {
    for (int32_t style : {0, 3, 7, 8}) {
        SCOPED_TRACE("style " + std::to_string(style));
        t.style = style;
        HWND panel = Open();
        ASSERT_NE(panel, nullptr);
        ExpectRadioButtons(panel, 1000, kStyleTexts, style);
    }
}

TEST_F(AdvancedScrollingPanelTest, ClicksChangeTheStyleAndAskForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ExpectClicksSelect(panel, {1008, 1004, 1000, 1007}, 1000, t.style);
    // A command from outside the group changes nothing.
    t.style = 2;
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1009, 0), 0);
    EXPECT_EQ(t.style, 2);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(AdvancedScrollingPanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1006));
    t.style = 1;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.style, 0); // a cancel goes back to the style the panel opened with

    panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1008));
    t.style = 1;
    Running();
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_FALSE(t.FirstStep());
    EXPECT_FALSE(IsWindow(panel));
    uint8_t block[4] = {};
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(block[0], 8);
}

} // namespace
} // namespace wqtrans
