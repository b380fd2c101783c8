// Push: the band of the first half, the push of the second, and the rows that odd
// heights leave.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/PushTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

class PushTest : public test::NewFrameStepFixture<PushTransition> {
protected:
    // One more step of the run at elapsed time `e`; the log keeps the earlier steps.
    int32_t StepAt(uint32_t e) {
        clock.Set(e);
        return Step();
    }
};

TEST_F(PushTest, IdentityAndParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '6'));
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.DialogId(), 112);
    EXPECT_EQ(t.direction, 0);
    const uint8_t block[] = {2, 0, 0, 0};
    t.SetParams(block, 2);
    EXPECT_EQ(t.direction, 0);
    t.SetParams(block, 4);
    EXPECT_EQ(t.direction, 2);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 0);
}

TEST_F(PushTest, FirstHalfForEachDirection) {
    // 640 x 480, d = 1000, e = 250: h = 240, g = 320.
    const char* cases[] = {
        "new.CopyRect(dest, 0, 0, 320, 240, 320, 240, 0, 0, 0, 2)",
        "new.CopyRect(dest, 320, 0, 0, 240, 320, 240, 0, 0, 0, 2)",
        "new.CopyRect(dest, 0, 240, 320, 0, 320, 240, 0, 0, 0, 2)",
        "new.CopyRect(dest, 320, 240, 0, 0, 320, 240, 0, 0, 0, 2)",
    };
    for (int32_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", cases[direction]});
    }
}

TEST_F(PushTest, SecondHalfFillsTheBandOnceThenPushes) {
    // e = 750: q = 500, o = 120; then e = 1000: q = 1000, o = 240. Directions 0 and 1
    // t down from the top band, 2 and 3 up from the bottom band.
    const std::vector<std::string> down = {"dest.IsReady()",
                                           "new.CopyRect(dest, 0, 0, 0, 240, 640, 240, 0, 0, 0, 2)",
                                           "new.StretchRect(dest, 0, 120, 640, 240, 0, 240, 640, 240, 0, 0, 0, 4)",
                                           "new.StretchRect(dest, 0, 0, 640, 120, 0, 120, 640, 120, 0, 0, 0, 4)",
                                           "dest.IsReady()",
                                           "new.StretchRect(dest, 0, 240, 640, 240, 0, 240, 640, 240, 0, 0, 0, 4)",
                                           "new.StretchRect(dest, 0, 0, 640, 240, 0, 0, 640, 240, 0, 0, 0, 4)"};
    const std::vector<std::string> up = {"dest.IsReady()",
                                         "new.CopyRect(dest, 0, 240, 0, 0, 640, 240, 0, 0, 0, 2)",
                                         "new.StretchRect(dest, 0, 120, 640, 240, 0, 0, 640, 240, 0, 0, 0, 4)",
                                         "new.StretchRect(dest, 0, 360, 640, 120, 0, 240, 640, 120, 0, 0, 0, 4)",
                                         "dest.IsReady()",
                                         "new.StretchRect(dest, 0, 0, 640, 240, 0, 0, 640, 240, 0, 0, 0, 4)",
                                         "new.StretchRect(dest, 0, 240, 640, 240, 0, 240, 640, 240, 0, 0, 0, 4)"};
    for (int32_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        At(750);
        EXPECT_EQ(Step(), 1);
        EXPECT_EQ(StepAt(1000), 1);
        EXPECT_CALLS(log, direction < 2 ? down : up);
    }
}

TEST_F(PushTest, HalfTimeBelongsToTheFirstHalf) {
    At(0);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(StepAt(500), 1);
    EXPECT_EQ(StepAt(501), 1); // q = trunc(0.002 x 1000) = 2, o = 0
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 640, 240, 0, 240, 0, 0, 0, 2)", "dest.IsReady()",
                       "new.CopyRect(dest, 0, 0, 0, 240, 640, 240, 0, 0, 0, 2)", "dest.IsReady()",
                       "new.CopyRect(dest, 0, 0, 0, 240, 640, 240, 0, 0, 0, 2)",
                       "new.StretchRect(dest, 0, 0, 640, 240, 0, 240, 640, 240, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 0, 0, 640, 0, 0, 240, 640, 0, 0, 0, 0, 4)"});
}

TEST_F(PushTest, FinishFillsTheBandAgain) {
    At(600);
    EXPECT_EQ(Step(), 1);
    t.Finish();
    log.Clear();
    EXPECT_EQ(StepAt(700), 1); // q = 400, o = 96
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 240, 640, 240, 0, 0, 0, 2)",
                       "new.StretchRect(dest, 0, 96, 640, 240, 0, 240, 640, 240, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 0, 0, 640, 96, 0, 144, 640, 96, 0, 0, 0, 4)"});
}

TEST_F(PushTest, DirectionAboveThreeOnlyFillsTheLowerBand) {
    for (int32_t direction : {4, -1}) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_EQ(StepAt(750), 1);
        EXPECT_EQ(StepAt(800), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", "dest.IsReady()", "new.CopyRect(dest, 0, 240, 0, 0, 640, 240, 0, 0, 0, 2)",
                           "dest.IsReady()"});
    }
}

TEST_F(PushTest, UnreadyBeyondTheRunAndHostFailure) {
    At(750);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.GetElapsed(), 750u); // the clock is read before the readiness test
    dest.SetReady(true);

    // A failed band copy is not counted: the next step fills the band again.
    log.Clear();
    newFrame.ThrowAfter(0);
    EXPECT_EQ(Step(), 0);
    newFrame.ThrowAfter(-1);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(log.lines.size(), 6u);
    EXPECT_EQ(log.lines[3], "new.CopyRect(dest, 0, 0, 0, 240, 640, 240, 0, 0, 0, 2)");

    ExpectNewFrameWholeBeyondTheRun();
}

// 41 x 31 (h = 15): the band grows two columns at a time and tops out at 40 columns at
// half-time; at the end directions 0 and 1 leave the last row to the old frame, and
// directions 2 and 3 show the lower half one row down, row 15 being some row of the
// new frame that an earlier step left there.
TEST(PushPixels, HalfTimeAndTheEndOnOddSizes) {
    using Picture = std::function<uint32_t(int32_t, int32_t)>;
    struct Case {
        int32_t direction;
        Picture halfTime;
        Picture end;
    };
    const Picture upperEnd = [](int32_t x, int32_t y) { return y < 30 ? NewAt(x, y) : OldAt(x, y); };
    const Case cases[] = {
        {0, [](int32_t x, int32_t y) { return (y < 15 && x < 40) ? NewAt(x + 1, y + 15) : OldAt(x, y); }, upperEnd},
        {1, [](int32_t x, int32_t y) { return (y < 15 && x >= 1) ? NewAt(x - 1, y + 15) : OldAt(x, y); }, upperEnd},
        {2, [](int32_t x, int32_t y) { return (y >= 15 && y < 30 && x < 40) ? NewAt(x + 1, y - 15) : OldAt(x, y); },
         nullptr},
        {3, [](int32_t x, int32_t y) { return (y >= 15 && y < 30 && x >= 1) ? NewAt(x - 1, y - 15) : OldAt(x, y); },
         nullptr},
    };
    for (const Case& c : cases) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("direction " + std::to_string(c.direction) + ", a step every " + std::to_string(frame) +
                         " ms");
            TestClock clock;
            PixelRig rig(41, 31);
            PushTransition push;
            push.direction = c.direction;
            test::RunUntil(push, rig, clock, 1000, frame, 500);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, c.halfTime), "");
            for (uint32_t t = 500 + frame; t < 1000; t += frame) {
                clock.Set(t);
                ASSERT_EQ(push.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
            }
            clock.Set(1000);
            ASSERT_EQ(push.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
            if (c.end) {
                EXPECT_EQ(test::FirstBadPixel(rig.dest, c.end), "");
            } else {
                const Picture lowerEnd = [&rig](int32_t x, int32_t y) {
                    if (y == 15) {
                        const uint32_t got = rig.dest.Pixel(x, y);
                        // Any row of the new frame, in its own column.
                        return (got >> 24) == test::kNewTag && (got & 0xFFF) == static_cast<uint32_t>(x) ? got
                                                                                                         : NewAt(x, y);
                    }
                    return y < 15 ? NewAt(x, y) : NewAt(x, y - 1);
                };
                EXPECT_EQ(test::FirstBadPixel(rig.dest, lowerEnd), "");
            }
        }
    }
}

using PushPanelTest = test::PanelFixture<PushTransition>;
using test::ExpectRadioButtons;

TEST_F(PushPanelTest, ButtonsShowTheDirection) {
    for (int32_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        HWND panel = Open();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(automation::Controls(panel).size(), 4u);
        ExpectRadioButtons(panel, 1007, {u"Top Left", u"Top Right", u"Bottom Left", u"Bottom Right"}, direction);
    }
}

TEST_F(PushPanelTest, ClicksChangeTheDirectionAndAskForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ExpectClicksSelect(panel, {1009, 1010, 1008, 1007}, 1007, t.direction);
}

TEST_F(PushPanelTest, CommandsFromOtherControlsAreIgnored) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1010));
    t.direction = 1;
    Running();
    for (WPARAM id : {1006, 1011, 1}) {
        EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, id, 0), 0);
    }
    EXPECT_EQ(t.direction, 1);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(PushPanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1008));
    t.direction = 3;
    Running();
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.direction, 0); // a cancel goes back to the direction the panel opened with

    panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1009));
    t.direction = 0;
    Running();
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_FALSE(t.FirstStep()); // closing asks for no preview
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(t.Dialog(), nullptr);
    uint8_t block[4] = {};
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(block[0], 2);
}

} // namespace
} // namespace wqtrans
