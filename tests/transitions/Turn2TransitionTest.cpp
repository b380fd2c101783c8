// Turn 2: the calls of its steps on the truncation boundaries of the spiral, the turn
// count, the pixels it leaves, its block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/Turn2Transition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

std::string OldAt(int32_t x, int32_t y, int32_t w = 640, int32_t h = 480) {
    return "old.CopyRect(dest, " + std::to_string(x) + ", " + std::to_string(y) + ", 0, 0, " + std::to_string(w) +
           ", " + std::to_string(h) + ", 0, 0, 0, 2)";
}

class Turn2Test : public test::StepFixture<Turn2Transition> {
protected:
    void Start(uint32_t d) { BeginRun(d); }
    // One step at elapsed time `e`; checks the whole new frame comes first and returns
    // the call that draws the old frame.
    std::string StepAt(uint32_t e) {
        clock.Set(e);
        log.Clear();
        EXPECT_EQ(Step(), 1);
        if (log.lines.size() != 3) {
            ADD_FAILURE() << test::FirstDifference({}, log.lines);
            return "";
        }
        EXPECT_EQ(log.lines[0], "dest.IsReady()");
        EXPECT_EQ(log.lines[1], "new.CopyAll(dest)");
        return log.lines[2];
    }
};

TEST_F(Turn2Test, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '2'));
    EXPECT_EQ(t.GetMode(), 3);
    uint8_t out[8] = {};
    EXPECT_EQ(t.GetParams(nullptr), 8);
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0}));
    const uint8_t block[8] = {10, 0, 0, 0, 1, 0, 0, 0};
    t.SetParams(block, 8);
    EXPECT_EQ(t.rotations, 10);
    EXPECT_EQ(t.inverse, 1);
    const uint8_t other[8] = {4, 0, 0, 0, 0, 0, 0, 0};
    t.SetParams(other, 7);
    t.SetParams(nullptr, 8);
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(block, block + 8));
}

TEST_F(Turn2Test, QuarterTurnLandsOnRow79) {
    // rotations 2, e = 125 of 1000: angle K/4, rr = 80; 80 x sin + 240 = 319.99...
    Start(1000);
    EXPECT_EQ(StepAt(125), OldAt(0, 79));
    EXPECT_EQ(t.turnsDone, 0u);
}

TEST_F(Turn2Test, AngleExactlyKGives639AndMinus1) {
    // d = 2: at e = 1 the angle is 2 x 1 x K / 2 = K exactly, rr = 320; the t counts.
    Start(2);
    EXPECT_EQ(StepAt(1), OldAt(319, -1));
    EXPECT_EQ(t.turnsDone, 1u);
    // At e = 2: 2 x 2 x K / 2 - 1 x K = K again, now with rr = 640.
    EXPECT_EQ(StepAt(2), OldAt(639, -1));
    EXPECT_EQ(t.turnsDone, 2u);
}

TEST_F(Turn2Test, StartHasNoOffsetInEitherSense) {
    Start(1000);
    EXPECT_EQ(StepAt(0), OldAt(0, 0));
    t.inverse = 1;
    Start(1000);
    EXPECT_EQ(StepAt(0), OldAt(0, 0));
    EXPECT_EQ(t.turnsDone, 0u);
}

TEST_F(Turn2Test, InverseCountsATurnAtZero) {
    // rotations 1, d = 2, e = 2: raw angle K, inverse K - K = 0: offset (640, 0).
    t.rotations = 1;
    t.inverse = 1;
    Start(2);
    EXPECT_EQ(StepAt(2), OldAt(640, 0));
    EXPECT_EQ(t.turnsDone, 1u);
    // Again at e = 2: K - (K - K) = K, which is not at or below 0.
    EXPECT_EQ(StepAt(2), OldAt(639, -1));
    EXPECT_EQ(t.turnsDone, 1u);
}

TEST_F(Turn2Test, AtMostOneTurnIsCountedPerStep) {
    // rotations 10 jumping to the end: the angle is about 10 K, one t is counted per
    // step, and the picture stays right since sine and cosine repeat.
    t.rotations = 10;
    Start(1000);
    EXPECT_EQ(StepAt(1000), OldAt(639, -1));
    EXPECT_EQ(t.turnsDone, 1u);
    EXPECT_EQ(StepAt(1000), OldAt(639, -1));
    EXPECT_EQ(t.turnsDone, 2u);
}

TEST_F(Turn2Test, BeginRestartsTheTurnCount) {
    Start(2);
    StepAt(1);
    ASSERT_EQ(t.turnsDone, 1u);
    Start(1000);
    EXPECT_EQ(StepAt(125), OldAt(0, 79));
    EXPECT_EQ(t.turnsDone, 0u);
}

TEST_F(Turn2Test, LongRunOnALargeFrame) {
    // W x e = 4000 x 1500000 passes 2^32: the offset must still be three quarters of W.
    t.rotations = 0;
    newFrame.SetSize(4000, 3000);
    Start(2000000);
    EXPECT_EQ(StepAt(1500000), OldAt(3000, 0, 4000, 3000));
}

TEST_F(Turn2Test, UnreadyDestinationDrawsNothingButRestartsTheCount) {
    Start(2);
    StepAt(1);
    t.Begin(2);
    dest.SetReady(false);
    newFrame.SetSize(100, 50);
    log.Clear();
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.turnsDone, 0u);
    EXPECT_EQ(t.width, 100u);
    EXPECT_EQ(t.height, 50u);
}

TEST_F(Turn2Test, ElapsedBeyondTheDurationCopiesTheNewFrame) {
    Start(1000);
    clock.Set(500);
    t.UpdateElapsed();
    ExpectNewFrameWholeBeyondTheRun();
}

class Turn2Pixels : public test::PixelFixture<Turn2Transition> {
protected:
    Turn2Pixels() : PixelFixture(64, 48, test::kDestTag) {}
};

TEST_F(Turn2Pixels, QuarterTurnShowsTheNewFrameAbove) {
    // rr = 8 at e = 125: the old frame drawn at (0, 7), the new frame in rows 0 to 6.
    t.Begin(1000);
    clock.Set(125);
    t.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      return y < 7 ? Tagged(test::kNewTag, x, y) : Tagged(test::kOldTag, x, y - 7);
                                  }),
              "");
}

TEST_F(Turn2Pixels, EndLeavesOneColumnOfTheOldFrame) {
    // rotations 1, d = 1: the angle is K, rr = 64: the old frame at (63, -1).
    t.rotations = 1;
    t.Begin(1);
    clock.Set(1);
    t.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      return x == 63 && y < 47 ? Tagged(test::kOldTag, 0, y + 1)
                                                               : Tagged(test::kNewTag, x, y);
                                  }),
              "");
}

// The panel, through the automation layer.
class Turn2Panel : public test::PanelFixture<Turn2Transition> {
protected:
    // The panel opened on a run part-way through, with the given parameters.
    HWND Open(int32_t rotations, int32_t inverse) {
        Running();
        t.rotations = rotations;
        t.inverse = inverse;
        return PanelFixture::Open();
    }
};

TEST_F(Turn2Panel, InitialState) {
    ASSERT_NE(Open(9, 1), nullptr);
    const auto bar = automation::Control(panel, 1025);
    ASSERT_TRUE(bar.has_value());
    EXPECT_EQ(bar->kind, automation::ControlKind::TrackBar);
    EXPECT_EQ(bar->rangeMin, 1);
    EXPECT_EQ(bar->rangeMax, 10);
    EXPECT_EQ(bar->position, 9);
    EXPECT_EQ(automation::Control(panel, 1026)->text, u"Inverse Rotation");
    EXPECT_TRUE(automation::Control(panel, 1026)->checked);
    EXPECT_FALSE(PreviewAsked());
}

TEST_F(Turn2Panel, ClicksAndTrackBarAskForAPreview) {
    ASSERT_NE(Open(2, 0), nullptr);
    Running();
    ASSERT_TRUE(automation::Click(panel, 1026));
    EXPECT_EQ(t.inverse, 1);
    EXPECT_TRUE(PreviewAsked());

    t.inverse = 5;
    Running();
    SendMessageW(panel, WM_COMMAND, 1, 0); // any command reads the box back
    EXPECT_EQ(t.inverse, 1);
    EXPECT_TRUE(PreviewAsked());

    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 10));
    EXPECT_EQ(t.rotations, 10);
    EXPECT_TRUE(PreviewAsked());
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 0)); // the control stops at 1
    EXPECT_EQ(t.rotations, 1);
}

TEST_F(Turn2Panel, TrackBarPositionsOutsideTheRange) {
    // A scroll takes only 1 to 10 but always asks for a preview; closing takes any
    // position but 0.
    ASSERT_NE(Open(3, 0), nullptr);
    for (int32_t position : {11, 0}) {
        SCOPED_TRACE(position);
        ForceTrackBar(panel, 1025, position);
        Running();
        SendMessageW(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), 0);
        EXPECT_EQ(t.rotations, 3);
        EXPECT_TRUE(PreviewAsked());
    }
    t.CloseSettings(1);
    EXPECT_EQ(t.rotations, 3);
    ASSERT_NE(Open(3, 0), nullptr);
    ForceTrackBar(panel, 1025, 11);
    t.CloseSettings(1);
    EXPECT_EQ(t.rotations, 11);
}

TEST_F(Turn2Panel, CloseReadsTheControlsOnlyWithApply) {
    ASSERT_NE(Open(2, 0), nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 7));
    ASSERT_TRUE(automation::Click(panel, 1026));
    t.rotations = 2;
    t.inverse = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_EQ(t.rotations, 2);
    EXPECT_EQ(t.inverse, 0);

    ASSERT_NE(Open(2, 0), nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 7));
    ASSERT_TRUE(automation::Click(panel, 1026));
    t.rotations = 2;
    t.inverse = 0;
    Running();
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_FALSE(PreviewAsked()); // closing asks for no preview
    uint8_t block[8] = {};
    EXPECT_EQ(t.GetParams(block), 8);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 8), (std::vector<uint8_t>{7, 0, 0, 0, 1, 0, 0, 0}));
}

} // namespace
} // namespace wqtrans
