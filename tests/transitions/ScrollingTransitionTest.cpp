// Scrolling: the new frame's position at each step, the never-passed end, and the panel.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "platform/Automation.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/ScrollingTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

using ScrollingTest = test::StepFixture<ScrollingTransition>;

TEST_F(ScrollingTest, IdentityAndParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'C', 'R', 'L'));
    EXPECT_EQ(t.GetMode(), 11);
    EXPECT_EQ(t.DialogId(), 106);
    EXPECT_EQ(t.direction, 0);

    const uint8_t block[] = {3, 0, 0, 0, 0xEE};
    t.SetParams(block, 3); // short: ignored
    EXPECT_EQ(t.direction, 0);
    t.SetParams(nullptr, 4);
    EXPECT_EQ(t.direction, 0);
    t.SetParams(block, 5);
    EXPECT_EQ(t.direction, 3);

    uint8_t out[5] = {9, 9, 9, 9, 9};
    EXPECT_EQ(t.GetParams(nullptr), 4);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 9);

    std::unique_ptr<Transition> clone(t.Clone());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(static_cast<ScrollingTransition&>(*clone).direction, 0);
}

TEST_F(ScrollingTest, QuarterWayForEachDirection) {
    struct Case {
        int32_t direction;
        const char* call;
    };
    // 640 x 480, d = 1000, e = 250: the width travels 160, the height 120.
    const Case cases[] = {
        {0, "new.CopyRect(dest, -480, 0, 0, 0, 640, 480, 0, 0, 0, 2)"},
        {1, "new.CopyRect(dest, 480, 0, 0, 0, 640, 480, 0, 0, 0, 2)"},
        {2, "new.CopyRect(dest, 0, -360, 0, 0, 640, 480, 0, 0, 0, 2)"},
        {3, "new.CopyRect(dest, 0, 360, 0, 0, 640, 480, 0, 0, 0, 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("direction " + std::to_string(c.direction));
        t.direction = c.direction;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", c.call});
    }
}

TEST_F(ScrollingTest, DrawsOnlyWhenTheOffsetGrows) {
    At(0);
    EXPECT_EQ(Step(), 1); // s = 0: nothing yet
    clock.Set(1);
    EXPECT_EQ(Step(), 1); // s = 640 / 1000 = 0: still nothing
    clock.Set(2);
    EXPECT_EQ(Step(), 1); // s = 1
    clock.Set(3);
    EXPECT_EQ(Step(), 1); // s = 1 again: nothing
    clock.Set(1000);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "dest.IsReady()", "dest.IsReady()",
                       "new.CopyRect(dest, -639, 0, 0, 0, 640, 480, 0, 0, 0, 2)", "dest.IsReady()", "dest.IsReady()",
                       "new.CopyRect(dest, 0, 0, 0, 0, 640, 480, 0, 0, 0, 2)"});
}

TEST_F(ScrollingTest, CopiesTheOldFramesSizeFromALargerNewFrame) {
    oldFrame.SetSize(320, 200);
    newFrame.SetSize(640, 480);
    t.direction = 3;
    At(500);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 100, 0, 0, 320, 200, 0, 0, 0, 2)"});
}

TEST_F(ScrollingTest, UnreadyDestinationDrawsNothingAfterTheSetUp) {
    At(500);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.distance, 640u);
    EXPECT_EQ(t.GetElapsed(), 0u); // the clock is read after the readiness test
}

TEST_F(ScrollingTest, HostFailureReportsZeroAndKeepsTheLastDrawing) {
    At(250);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(t.drawn, 0u);
    newFrame.ThrowAfter(-1);
    log.Clear();
    EXPECT_EQ(Step(), 1); // the same offset is drawn again, since the failed drawing did not count
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, -480, 0, 0, 0, 640, 480, 0, 0, 0, 2)"});
    EXPECT_EQ(t.drawn, 160u);
}

TEST_F(ScrollingTest, FinishRemeasuresWithTheNewDirection) {
    At(500);
    EXPECT_EQ(Step(), 1);
    t.direction = 2;
    t.Finish();
    clock.Set(750);
    log.Clear();
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(t.distance, 480u);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, -120, 0, 0, 640, 480, 0, 0, 0, 2)"});
}

TEST_F(ScrollingTest, ElapsedTimeBeyondTheRunStopsAtTheEnd) {
    At(500);
    EXPECT_EQ(Step(), 1);
    t.SetElapsed(static_cast<uint32_t>(-100)); // the start now lies 100 ms ahead
    log.Clear();
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 640, 480, 0, 0, 0, 2)"});
}

TEST_F(ScrollingTest, DirectionWithoutASideShowsTheNewFrameInPlace) {
    for (int32_t direction : {4, 7, -1}) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_EQ(t.distance, 480u); // the height, as for the vertical directions
        EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 640, 480, 0, 0, 0, 2)"});
    }
}

// The picture part-way: the new frame's leading part, the rest still the old frame.
TEST(ScrollingPixels, PartWayAndAtTheEnd) {
    constexpr int32_t W = 41;
    constexpr int32_t H = 31;
    struct Case {
        int32_t direction;
        uint32_t e;
        std::function<uint32_t(int32_t, int32_t)> expected;
    };
    // At e = 500 of 1000: s = 20 across (W = 41), 15 down (H = 31).
    const Case cases[] = {
        {0, 500, [](int32_t x, int32_t y) { return x < 20 ? NewAt(x + 21, y) : OldAt(x, y); }},
        {1, 500, [](int32_t x, int32_t y) { return x >= 21 ? NewAt(x - 21, y) : OldAt(x, y); }},
        {2, 500, [](int32_t x, int32_t y) { return y < 15 ? NewAt(x, y + 16) : OldAt(x, y); }},
        {3, 500, [](int32_t x, int32_t y) { return y >= 16 ? NewAt(x, y - 16) : OldAt(x, y); }},
    };
    for (const Case& c : cases) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("direction " + std::to_string(c.direction) + ", a step every " + std::to_string(frame) +
                         " ms");
            TestClock clock;
            PixelRig rig(W, H);
            ScrollingTransition t;
            t.direction = c.direction;
            test::RunUntil(t, rig, clock, 1000, frame, c.e);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, c.expected), "");
            clock.Set(1000);
            ASSERT_EQ(t.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, NewAt), "");
        }
    }
}

using ScrollingPanelTest = test::PanelFixture<ScrollingTransition>;

TEST_F(ScrollingPanelTest, ControlsShowTheDirection) {
    const char16_t* texts[] = {u"From &left to right", u"From &right to left", u"From &top to bottom",
                               u"From &bottom to top"};
    for (int32_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        HWND panel = Open();
        ASSERT_NE(panel, nullptr);
        const auto controls = automation::Controls(panel);
        ASSERT_EQ(controls.size(), 5u);
        EXPECT_EQ(controls[0].kind, automation::ControlKind::GroupBox);
        EXPECT_EQ(controls[0].text, u"Direction");
        for (int32_t i = 0; i < 4; ++i) {
            EXPECT_EQ(controls[1 + i].id, 1007 + i);
            EXPECT_EQ(controls[1 + i].kind, automation::ControlKind::RadioButton);
            EXPECT_EQ(controls[1 + i].text, texts[i]);
            EXPECT_EQ(controls[1 + i].checked, i == direction) << "button " << 1007 + i;
        }
    }
}

TEST_F(ScrollingPanelTest, ClicksChangeTheDirectionAndAskForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ExpectClicksSelect(panel, {1010, 1009, 1007, 1008}, 1007, t.direction);
}

TEST_F(ScrollingPanelTest, AnyCommandAsksForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1009));
    t.direction = 1; // not what the buttons say: a command from elsewhere must not read them
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1011, 0), 0);
    EXPECT_EQ(t.direction, 1);
    EXPECT_TRUE(PreviewAsked());
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_HSCROLL, 0, 0), 0);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(ScrollingPanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1010));
    t.direction = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_EQ(t.direction, 0);

    panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1009));
    t.direction = 0;
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(t.direction, 2);
    uint8_t block[4] = {};
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(block[0], 2);
}

} // namespace
} // namespace wqtrans
