// Line: parameters, the strips of each step in place and scrolling, whole runs on the
// reference surface and the settings panel.
#include <gtest/gtest.h>

#include <climits>
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
#include "transitions/LineTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

class LineTest : public test::StepFixture<LineTransition> {
protected:
    void Start(int32_t count, int32_t orientation, int32_t scrolling, uint32_t d) {
        t.lineCount = count;
        t.orientation = orientation;
        t.scrolling = scrolling;
        BeginRun(d);
    }
};

TEST_F(LineTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x33304553u);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1022);
    EXPECT_EQ(t.DialogId(), 109);

    uint8_t out[12];
    EXPECT_EQ(t.GetParams(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), (std::vector<uint8_t>{2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    const uint8_t block[12] = {20, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    t.SetParams(block, 11);
    EXPECT_EQ(t.lineCount, 2);
    t.SetParams(block, 12);
    EXPECT_EQ(t.lineCount, 20);
    EXPECT_EQ(t.orientation, 1);
    EXPECT_EQ(t.scrolling, -1);
    EXPECT_EQ(t.GetParams(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), std::vector<uint8_t>(block, block + 12));

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<LineTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->lineCount, 2);
    EXPECT_EQ(fresh->orientation, 0);
    EXPECT_EQ(fresh->scrolling, 0);
}

TEST_F(LineTest, DefaultsAtHalfTime) {
    Start(2, 0, 0, 1000);
    EXPECT_EQ(StepAt(500), 1);
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 0, 0, 0, 0, 320, 241, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 320, 240, 320, 240, 320, 480, 0, 0, 0, 2)",
                      });
    // Every step redraws the whole reached part.
    EXPECT_EQ(StepAt(500), 1);
    EXPECT_EQ(log.lines.size(), 3u);
}

TEST_F(LineTest, ThreeStripsOnAFrameOneHundredHigh) {
    Size(90, 100);
    Start(3, 0, 0, 1000);
    EXPECT_EQ(StepAt(500), 1); // p = 45
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 0, 0, 0, 0, 45, 34, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 45, 33, 45, 33, 45, 34, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 0, 66, 0, 66, 45, 100, 0, 0, 0, 2)",
                      });
}

TEST_F(LineTest, PlacesAndSourcesForEachOrientationAndScrolling) {
    struct Case {
        int32_t orientation;
        int32_t scrolling;
        std::vector<std::string> calls;
    };
    // 200 x 100, two strips, p = 10 (of 200 across, or of 100 down at e = 20).
    const Case cases[] = {
        {0,
         0,
         {"new.CopyRect(dest, 0, 0, 0, 0, 10, 51, 0, 0, 0, 2)",
          "new.CopyRect(dest, 190, 50, 190, 50, 10, 100, 0, 0, 0, 2)"}},
        {0,
         1,
         {"new.CopyRect(dest, 0, 0, 190, 0, 10, 51, 0, 0, 0, 2)",
          "new.CopyRect(dest, 190, 50, 0, 50, 10, 100, 0, 0, 0, 2)"}},
        {1,
         0,
         {"new.CopyRect(dest, 0, 0, 0, 0, 101, 10, 0, 0, 0, 2)",
          "new.CopyRect(dest, 100, 90, 100, 90, 200, 10, 0, 0, 0, 2)"}},
        {5,
         7,
         {"new.CopyRect(dest, 0, 0, 0, 90, 101, 10, 0, 0, 0, 2)",
          "new.CopyRect(dest, 100, 90, 100, 0, 200, 10, 0, 0, 0, 2)"}},
    };
    Size(200, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation) + " scrolling " + std::to_string(c.scrolling));
        Start(2, c.orientation, c.scrolling, 200);
        EXPECT_EQ(StepAt(c.orientation == 0 ? 10 : 20), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(LineTest, StripCountsOutOfTheOrdinary) {
    struct Case {
        const char* name;
        int32_t count;
        std::vector<std::string> calls;
    };
    // 8 x 3 frame at the end of the run.
    const Case cases[] = {
        {"no strips", 0, {}},
        {"a negative count", -4, {}},
        {"more strips than rows",
         1000,
         {"new.CopyRect(dest, 0, 0, 0, 0, 8, 2, 0, 0, 0, 2)", "new.CopyRect(dest, 0, 1, 0, 1, 8, 2, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 2, 0, 2, 8, 3, 0, 0, 0, 2)"}},
        {"the largest count",
         INT_MAX,
         {"new.CopyRect(dest, 0, 0, 0, 0, 8, 2, 0, 0, 0, 2)", "new.CopyRect(dest, 0, 1, 0, 1, 8, 2, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 2, 0, 2, 8, 3, 0, 0, 0, 2)"}},
    };
    Size(8, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.count, 0, 0, 100);
        EXPECT_EQ(StepAt(100), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(LineTest, FrameSizeIsTakenFromTheNewFrameBeforeTheReadinessTest) {
    newFrame.SetSize(100, 40);
    Start(2, 0, 0, 100);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(50), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.width, 100u);
    EXPECT_EQ(t.height, 40u);
    EXPECT_EQ(t.GetElapsed(), 50u); // the clock was read
}

TEST_F(LineTest, ElapsedTimeBeyondTheDurationCopiesTheWholeFrame) {
    Start(2, 0, 0, 100);
    StepAt(40);
    t.SetElapsed(static_cast<uint32_t>(-10));
    EXPECT_EQ(StepAt(45), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
}

TEST(LinePixels, WholeRunsShowTheNewFrameInPlace) {
    for (int32_t orientation : {0, 1}) {
        for (int32_t scrolling : {0, 1}) {
            for (int32_t count : {1, 2, 3, 7, 20}) {
                for (uint32_t frame : test::kFrameIntervals) {
                    SCOPED_TRACE("orientation " + std::to_string(orientation) + " scrolling " +
                                 std::to_string(scrolling) + " strips " + std::to_string(count) + " every " +
                                 std::to_string(frame) + " ms");
                    TestClock clock;
                    test::PixelRig rig(41, 23);
                    LineTransition line;
                    line.lineCount = count;
                    line.orientation = orientation;
                    line.scrolling = scrolling;
                    test::RunUntil(line, rig, clock, 1000, frame, 1000);
                    EXPECT_EQ(test::FirstBadPixel(rig.dest, test::NewAt), "");
                }
            }
        }
    }
}

TEST(LinePixels, ScrollingStripsShowTheFarEndOfTheirRow) {
    TestClock clock;
    test::PixelRig rig(40, 20);
    LineTransition line;
    line.scrolling = 1;
    // Two strips of 10 rows (the first 11 high); p = 10 at a quarter of the run.
    test::RunUntil(line, rig, clock, 1000, 90, 250);
    EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                  [](int32_t x, int32_t y) {
                                      if (y <= 10 && x < 10) {
                                          return test::NewAt(x + 30, y);
                                      }
                                      if (y >= 10 && x >= 30) {
                                          return test::NewAt(x - 30, y);
                                      }
                                      return test::OldAt(x, y);
                                  }),
              "");
}

using LinePanelTest = test::PanelFixture<LineTransition>;

TEST_F(LinePanelTest, OpensWithTheSettings) {
    t.lineCount = 7;
    t.orientation = 1;
    t.scrolling = 1;
    HWND panel = Open();
    const auto bar = automation::Control(panel, 1025).value();
    EXPECT_EQ(bar.rangeMin, 1);
    EXPECT_EQ(bar.rangeMax, 20);
    EXPECT_EQ(bar.position, 7);
    EXPECT_FALSE(Checked(panel, 1007));
    EXPECT_TRUE(Checked(panel, 1008));
    EXPECT_TRUE(Checked(panel, 1026));
    EXPECT_EQ(Text(panel, 1026), u"Scrolling");
}

TEST_F(LinePanelTest, AStoredOrientationBeyondTheButtonsChecksNeither) {
    t.orientation = INT_MAX;
    HWND panel = Open();
    EXPECT_FALSE(Checked(panel, 1007));
    EXPECT_FALSE(Checked(panel, 1008));
}

TEST_F(LinePanelTest, ClicksAndTheTrackBar) {
    HWND panel = Open();
    Running();
    ASSERT_TRUE(automation::Click(panel, 1026));
    EXPECT_EQ(t.scrolling, 1);
    EXPECT_TRUE(PreviewAsked());
    Running();
    ASSERT_TRUE(automation::Click(panel, 1008));
    EXPECT_EQ(t.orientation, 1);
    EXPECT_TRUE(PreviewAsked());
    Running();
    ASSERT_TRUE(automation::Click(panel, 1026));
    EXPECT_EQ(t.scrolling, 0);
    EXPECT_EQ(t.orientation, 1);
    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 13));
    EXPECT_EQ(t.lineCount, 13);
    EXPECT_TRUE(PreviewAsked());
    // A position outside 1 to 20 is ignored but still asks for a preview.
    WidenTrackBar(panel, 1025, 0, 40);
    for (int32_t position : {0, 21, 40}) {
        Running();
        ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, position));
        EXPECT_EQ(t.lineCount, 13);
        EXPECT_TRUE(PreviewAsked());
    }
}

TEST_F(LinePanelTest, CloseReadsTheControlsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 5));
    ASSERT_TRUE(automation::Click(panel, 1008));
    ASSERT_TRUE(automation::Click(panel, 1026));
    t.lineCount = 2;
    t.orientation = 0;
    t.scrolling = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.lineCount, 2);
    EXPECT_EQ(t.orientation, 0);
    EXPECT_EQ(t.scrolling, 0);

    panel = Open();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 5));
    ASSERT_TRUE(automation::Click(panel, 1008));
    ASSERT_TRUE(automation::Click(panel, 1026));
    t.lineCount = 2;
    t.orientation = 0;
    t.scrolling = 0;
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[12];
    EXPECT_EQ(t.GetParams(block), 12);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 12), (std::vector<uint8_t>{5, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));

    // A track bar at 0 keeps the count.
    panel = Open();
    WidenTrackBar(panel, 1025, 0, 20);
    SendDlgItemMessageW(panel, 1025, TBM_SETPOS, 1, 0);
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.lineCount, 5);
}
} // namespace
} // namespace wqtrans
