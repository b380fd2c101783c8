// ZigZag 2: parameters, the two snakes of each step, whole and short runs on the
// reference surface and the settings panel.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/ZigZag2Transition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

class ZigZag2Test : public test::StepFixture<ZigZag2Transition> {
protected:
    void Start(int32_t orientation, int32_t count, uint32_t d) {
        t.orientation = orientation;
        t.lineCount = count;
        BeginRun(d);
    }
};

TEST_F(ZigZag2Test, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x34304553u);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1023);
    EXPECT_EQ(t.DialogId(), 110);

    uint8_t out[8];
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{0, 0, 0, 0, 4, 0, 0, 0}));
    const uint8_t block[8] = {1, 0, 0, 0, 30, 0, 0, 0};
    t.SetParams(block, 7);
    EXPECT_EQ(t.lineCount, 4);
    t.SetParams(block, 8);
    EXPECT_EQ(t.orientation, 1);
    EXPECT_EQ(t.lineCount, 30);
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(block, block + 8));

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<ZigZag2Transition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->orientation, 0);
    EXPECT_EQ(fresh->lineCount, 4);
}

TEST_F(ZigZag2Test, DefaultsAtAQuarterAHalfAndThreeQuarters) {
    Start(0, 4, 1000);
    EXPECT_EQ(StepAt(250), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 320, 120, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 320, 360, 320, 360, 320, 120, 0, 0, 0, 2)"});
    EXPECT_EQ(t.lineIndex, 0u);

    EXPECT_EQ(StepAt(500), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 640, 120, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 0, 360, 0, 360, 640, 120, 0, 0, 0, 2)"});
    EXPECT_EQ(t.lineIndex, 1u);
    EXPECT_EQ(t.reversed, 1u);

    EXPECT_EQ(StepAt(750), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 320, 0, 320, 0, 320, 240, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 0, 240, 0, 240, 320, 240, 0, 0, 0, 2)"});
    EXPECT_EQ(t.lineIndex, 1u);
}

TEST_F(ZigZag2Test, VerticalLinesExchangeTheAxes) {
    // Band 160 across 640; the snakes run 480 down.
    Start(1, 4, 1000);
    EXPECT_EQ(StepAt(250), 1); // L = (120 * 4) >> 1 = 240
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 160, 240, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 480, 240, 480, 240, 160, 240, 0, 0, 0, 2)"});
    EXPECT_EQ(StepAt(500), 1); // L = 480, the line is complete
    EXPECT_EQ(StepAt(750), 1); // L = 240 on the second line, the other way
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 240, 0, 240, 320, 240, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 320, 0, 320, 0, 320, 240, 0, 0, 0, 2)"});
}

TEST_F(ZigZag2Test, OneLinePerStepAfterAPause) {
    Start(0, 4, 1000);
    EXPECT_EQ(StepAt(1000), 1); // L = 1280: past the edge, one line advanced
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 1280, 120, 0, 0, 0, 2)",
                       "new.CopyRect(dest, -640, 360, -640, 360, 1280, 120, 0, 0, 0, 2)"});
    EXPECT_EQ(t.lineIndex, 1u);
    EXPECT_EQ(StepAt(1000), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 640, 240, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 0, 240, 0, 240, 640, 240, 0, 0, 0, 2)"});
    EXPECT_EQ(t.lineIndex, 2u);
}

TEST_F(ZigZag2Test, OddCases) {
    // No lines: the new frame whole.
    Start(0, 0, 1000);
    EXPECT_EQ(StepAt(300), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});

    // Elapsed time beyond the duration: the new frame whole.
    Start(0, 4, 1000);
    StepAt(100);
    t.SetElapsed(static_cast<uint32_t>(-50));
    EXPECT_EQ(StepAt(120), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});

    // The clock set back below the finished line: a negative run draws nothing and
    // the line index stays.
    Start(0, 4, 1000);
    StepAt(500);
    ASSERT_EQ(t.lineIndex, 1u);
    t.SetElapsed(100);
    EXPECT_EQ(StepAt(500), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.lineIndex, 1u);
    EXPECT_EQ(t.reversed, 1u);

    // Not ready: 0, with the run state reset by the first step all the same.
    Start(0, 4, 1000);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(100), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.lineIndex, 0u);
    EXPECT_EQ(t.width, 640u);
}

TEST(ZigZag2Pixels, FineRunsCoverEveryLineOfAWholeNumberOfPixels) {
    for (int32_t orientation : {0, 1}) {
        for (int32_t count : {2, 3, 5, 9, 30}) {
            for (uint32_t frame : {1u, 16u, 40u}) {
                SCOPED_TRACE("orientation " + std::to_string(orientation) + ", " + std::to_string(count) +
                             " lines, every " + std::to_string(frame) + " ms");
                TestClock clock;
                test::PixelRig rig(90, 90);
                ZigZag2Transition zigzag;
                zigzag.orientation = orientation;
                zigzag.lineCount = count;
                test::RunUntil(zigzag, rig, clock, 1000, frame, 1000);
                EXPECT_EQ(test::FirstBadPixel(rig.dest, test::NewAt), "");
            }
        }
    }
}

TEST(ZigZag2Pixels, FiveLinesMeetInTheMiddleLine) {
    // Half way: each snake has covered 50 of 40-pixel lines: its first line and 10
    // pixels of the second, from the far side.
    TestClock clock;
    test::PixelRig rig(40, 50);
    ZigZag2Transition zigzag;
    zigzag.lineCount = 5;
    test::RunUntil(zigzag, rig, clock, 1000, 10, 500);
    EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                  [](int32_t x, int32_t y) {
                                      const bool first = y < 10 || (y < 20 && x >= 30);
                                      const bool second = y >= 40 || (y >= 30 && x < 10);
                                      return first || second ? test::NewAt(x, y) : test::OldAt(x, y);
                                  }),
              "");
}

TEST(ZigZag2Pixels, LinesOfAFractionalHeightLeaveRowsBetweenTheSnakes) {
    // Four lines of 12.5 rows: each snake's lines end at trunc(12.5 k) + 12, so the
    // first reaches row 23 and the second comes up to row 26; rows 24 and 25 stay.
    TestClock clock;
    test::PixelRig rig(40, 50);
    ZigZag2Transition zigzag;
    test::RunUntil(zigzag, rig, clock, 1000, 1, 1000);
    EXPECT_EQ(
        test::FirstBadPixel(
            rig.dest, [](int32_t x, int32_t y) { return y == 24 || y == 25 ? test::OldAt(x, y) : test::NewAt(x, y); }),
        "");
}

TEST(ZigZag2Pixels, ShortRunsEndBeforeEveryLineIsReached) {
    // A single step at the end advances one line: the outer lines only.
    for (int32_t orientation : {0, 1}) {
        TestClock clock;
        test::PixelRig rig(40, 40);
        ZigZag2Transition zigzag;
        zigzag.orientation = orientation;
        test::RunUntil(zigzag, rig, clock, 1000, 1000, 1000);
        EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                      [&](int32_t x, int32_t y) {
                                          const int32_t across = orientation == 0 ? y : x;
                                          return across < 10 || across >= 30 ? test::NewAt(x, y) : test::OldAt(x, y);
                                      }),
                  "")
            << "orientation " << orientation;
    }
}

using ZigZag2PanelTest = test::PanelFixture<ZigZag2Transition>;

TEST_F(ZigZag2PanelTest, OpensWithTheSettings) {
    t.orientation = 1;
    t.lineCount = 9;
    HWND panel = Open();
    EXPECT_FALSE(Checked(panel, 1007));
    EXPECT_TRUE(Checked(panel, 1008));
    const auto bar = automation::Control(panel, 1025).value();
    EXPECT_EQ(bar.rangeMin, 2);
    EXPECT_EQ(bar.rangeMax, 30);
    EXPECT_EQ(bar.position, 9);
}

TEST_F(ZigZag2PanelTest, ButtonsAndTheTrackBar) {
    HWND panel = Open();
    Running();
    ASSERT_TRUE(automation::Click(panel, 1008));
    EXPECT_EQ(t.orientation, 1);
    EXPECT_TRUE(PreviewAsked());
    Running();
    ASSERT_TRUE(automation::Click(panel, 1007));
    EXPECT_EQ(t.orientation, 0);
    EXPECT_TRUE(PreviewAsked());
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1025, 0), 0);
    EXPECT_FALSE(t.FirstStep());

    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 30));
    EXPECT_EQ(t.lineCount, 30);
    EXPECT_TRUE(PreviewAsked());
    WidenTrackBar(panel, 1025, 0, 40);
    for (int32_t position : {0, 1, 31}) {
        Running();
        ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, position));
        EXPECT_EQ(t.lineCount, 30);
        EXPECT_TRUE(PreviewAsked());
    }
}

TEST_F(ZigZag2PanelTest, CloseReadsTheControlsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1008));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 6));
    t.orientation = 0;
    t.lineCount = 4;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.orientation, 0);
    EXPECT_EQ(t.lineCount, 4);

    panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1008));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 6));
    t.orientation = 0;
    t.lineCount = 4;
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[8];
    EXPECT_EQ(t.GetParams(block), 8);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 8), (std::vector<uint8_t>{1, 0, 0, 0, 6, 0, 0, 0}));
}
} // namespace
} // namespace wqtrans
