// Cell: the growing rectangles of the grid, the columns and rows between cells that
// are never drawn, grids that cannot be drawn, and the panel's two track bars.
#include <gtest/gtest.h>

#include "platform/Automation.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/CellTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

using CellTest = test::NewFrameStepFixture<CellTransition>;

TEST_F(CellTest, IdentityAndParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '1', '2'));
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.DialogId(), 118);
    EXPECT_EQ(t.columns, 4);
    EXPECT_EQ(t.rows, 4);
    const uint8_t block[] = {7, 0, 0, 0, 30, 0, 0, 0};
    t.SetParams(block, 7);
    EXPECT_EQ(t.columns, 4);
    EXPECT_EQ(t.rows, 4);
    t.SetParams(block, 8);
    EXPECT_EQ(t.columns, 7);
    EXPECT_EQ(t.rows, 30);
    uint8_t out[8] = {};
    EXPECT_EQ(t.GetParams(nullptr), 8);
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[4], 30);
}

TEST_F(CellTest, HalfWayOnTheDefaultGrid) {
    // 640 x 480, 4 x 4, e = 500: cw = 160, ch = 120, wc = 80, hc = 60; every
    // rectangle sits 40 right and 30 down from its t's corner; column by column.
    At(500);
    EXPECT_EQ(Step(), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.StretchRect(dest, 40, 30, 80, 60, 40, 30, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 40, 150, 80, 60, 40, 150, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 40, 270, 80, 60, 40, 270, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 40, 390, 80, 60, 40, 390, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 200, 30, 80, 60, 200, 30, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 200, 150, 80, 60, 200, 150, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 200, 270, 80, 60, 200, 270, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 200, 390, 80, 60, 200, 390, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 360, 30, 80, 60, 360, 30, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 360, 150, 80, 60, 360, 150, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 360, 270, 80, 60, 360, 270, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 360, 390, 80, 60, 360, 390, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 520, 30, 80, 60, 520, 30, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 520, 150, 80, 60, 520, 150, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 520, 270, 80, 60, 520, 270, 80, 60, 0, 0, 0, 4)",
                       "new.StretchRect(dest, 520, 390, 80, 60, 520, 390, 80, 60, 0, 0, 0, 4)"});
}

TEST_F(CellTest, SmallGridsAtTheStartAndOffCentre) {
    struct Case {
        uint32_t width, height;
        int32_t columns, rows;
        uint32_t e;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        // e = 0: empty rectangles at the cells' centres, still drawn.
        {640,
         480,
         2,
         1,
         0,
         {"new.StretchRect(dest, 160, 240, 0, 0, 160, 240, 0, 0, 0, 0, 0, 4)",
          "new.StretchRect(dest, 480, 240, 0, 0, 480, 240, 0, 0, 0, 0, 0, 4)"}},
        // 101 x 50 in 3 x 1: cw = 33, origins 0, 33 and 67 (pitch 33.67); at e = 500
        // wc = 16 and the odd difference 17 halves to 8.
        {101,
         50,
         3,
         1,
         500,
         {"new.StretchRect(dest, 8, 12, 16, 25, 8, 12, 16, 25, 0, 0, 0, 4)",
          "new.StretchRect(dest, 41, 12, 16, 25, 41, 12, 16, 25, 0, 0, 0, 4)",
          "new.StretchRect(dest, 75, 12, 16, 25, 75, 12, 16, 25, 0, 0, 0, 4)"}},
        // 640 x 480 in 7 x 1 at the end: cells 91 wide at 0, 91, 182, 274, 365, 457, 548.
        {640,
         480,
         7,
         1,
         1000,
         {"new.StretchRect(dest, 0, 0, 91, 480, 0, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 91, 0, 91, 480, 91, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 182, 0, 91, 480, 182, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 274, 0, 91, 480, 274, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 365, 0, 91, 480, 365, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 457, 0, 91, 480, 457, 0, 91, 480, 0, 0, 0, 4)",
          "new.StretchRect(dest, 548, 0, 91, 480, 548, 0, 91, 480, 0, 0, 0, 4)"}},
        // Rows follow the same rules: 1 x 3 on a height of 100 (ch = 33, pitch 33.33).
        {10,
         100,
         1,
         3,
         1000,
         {"new.StretchRect(dest, 0, 0, 10, 33, 0, 0, 10, 33, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 33, 10, 33, 0, 33, 10, 33, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 66, 10, 33, 0, 66, 10, 33, 0, 0, 0, 4)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " in " + std::to_string(c.columns) +
                     " x " + std::to_string(c.rows) + " at " + std::to_string(c.e));
        newFrame.SetSize(static_cast<int32_t>(c.width), static_cast<int32_t>(c.height));
        t.columns = c.columns;
        t.rows = c.rows;
        At(c.e);
        EXPECT_EQ(Step(), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(CellTest, GridsWithoutDrawableCellsShowTheNewFrameWhole) {
    struct Case {
        int32_t columns, rows;
    };
    // 640 x 480: no columns, no rows, cells under a pixel wide or high, counts that
    // are huge when read unsigned.
    const Case cases[] = {{0, 4}, {4, 0}, {0, 0}, {641, 4}, {4, 481}, {-1, 4}, {4, -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + " x " + std::to_string(c.rows));
        t.columns = c.columns;
        t.rows = c.rows;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
    }
    // One-pixel cells are still a grid.
    t.columns = 640;
    t.rows = 1;
    At(1000);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(log.lines.size(), 641u);
    EXPECT_EQ(log.lines.back(), "new.StretchRect(dest, 639, 0, 1, 480, 639, 0, 1, 480, 0, 0, 0, 4)");
}

TEST_F(CellTest, UnreadyBeyondTheRunAndHostFailure) {
    At(500);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 500u);
    EXPECT_FALSE(t.FirstStep());
    dest.SetReady(true);
    ExpectNewFrameWholeBeyondTheRun();
    At(500);
    newFrame.ThrowAfter(3);
    EXPECT_EQ(Step(), 0);
    EXPECT_EQ(log.lines.size(), 5u);
}

// 101 x 50 in 3 x 3: cells 33 x 16 at x = 0, 33, 67 and y = 0, 16, 33; columns 66 and
// 100 and rows 32 and 49 are never drawn and keep the old frame.
TEST(CellPixels, EndsOnTheNewFrameButBetweenCells) {
    for (uint32_t frame : test::kFrameIntervals) {
        SCOPED_TRACE("a step every " + std::to_string(frame) + " ms");
        TestClock clock;
        PixelRig rig(101, 50);
        CellTransition cell;
        cell.columns = 3;
        cell.rows = 3;
        test::RunUntil(cell, rig, clock, 1000, frame, 1000);
        EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                      [](int32_t x, int32_t y) {
                                          return (x == 66 || x == 100 || y == 32 || y == 49) ? OldAt(x, y)
                                                                                             : NewAt(x, y);
                                      }),
                  "");
    }
    TestClock clock;
    PixelRig rig(64, 48);
    CellTransition cell;
    test::RunUntil(cell, rig, clock, 1000, 16, 1000);
    EXPECT_EQ(test::FirstBadPixel(rig.dest, NewAt), "");
}

TEST(CellPixels, HalfWayEachCellShowsItsCentre) {
    // 64 x 48 in 4 x 4 at e = 500: cells 16 x 12, rectangles 8 x 6 at +4, +3.
    TestClock clock;
    PixelRig rig(64, 48);
    CellTransition cell;
    test::RunUntil(cell, rig, clock, 1000, 40, 500);
    EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                  [](int32_t x, int32_t y) {
                                      const bool inside = x % 16 >= 4 && x % 16 < 12 && y % 12 >= 3 && y % 12 < 9;
                                      return inside ? NewAt(x, y) : OldAt(x, y);
                                  }),
              "");
}

using CellPanelTest = test::PanelFixture<CellTransition>;

TEST_F(CellPanelTest, TrackBarsShowTheGrid) {
    t.columns = 7;
    t.rows = 30;
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    const auto columns = automation::Control(panel, 1025);
    const auto rows = automation::Control(panel, 1026);
    ASSERT_TRUE(columns.has_value());
    ASSERT_TRUE(rows.has_value());
    EXPECT_EQ(columns->kind, automation::ControlKind::TrackBar);
    EXPECT_EQ(columns->rangeMin, 1);
    EXPECT_EQ(columns->rangeMax, 30);
    EXPECT_EQ(columns->position, 7);
    EXPECT_EQ(rows->rangeMin, 1);
    EXPECT_EQ(rows->rangeMax, 30);
    EXPECT_EQ(rows->position, 30);
    std::vector<std::u16string> labels;
    for (const auto& control : automation::Controls(panel)) {
        if (control.kind == automation::ControlKind::Label) {
            labels.push_back(control.text);
        }
    }
    EXPECT_EQ(labels, (std::vector<std::u16string>{u"Rows", u"Cols"}));
}

TEST_F(CellPanelTest, MovingEitherBarStoresBothAndAsksForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 12));
    EXPECT_EQ(t.columns, 12);
    EXPECT_EQ(t.rows, 4);
    EXPECT_TRUE(PreviewAsked());

    // A value set behind the panel's back is overwritten from the other bar's move.
    t.columns = 99;
    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1026, 1));
    EXPECT_EQ(t.columns, 12);
    EXPECT_EQ(t.rows, 1);
    EXPECT_TRUE(PreviewAsked());

    // The bar stops at its range.
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1026, 45));
    EXPECT_EQ(t.rows, 30);
}

TEST_F(CellPanelTest, CloseReadsTheBarsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 20));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1026, 9));
    t.columns = 2;
    t.rows = 3;
    EXPECT_EQ(t.CloseSettings(0), 1);
    // A cancel goes back to the counts the panel opened with.
    EXPECT_EQ(t.columns, 4);
    EXPECT_EQ(t.rows, 4);

    panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 20));
    t.columns = 2;
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_FALSE(IsWindow(panel));
    uint8_t block[8] = {};
    EXPECT_EQ(t.GetParams(block), 8);
    EXPECT_EQ(block[0], 20);
    EXPECT_EQ(block[4], 4); // the rows bar opened at the restored 4
}

TEST_F(CellPanelTest, StoredZeroOpensAtTheBottomOfTheRange) {
    t.columns = 0;
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(automation::Control(panel, 1025)->position, 1);
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.columns, 1);
}

} // namespace
} // namespace wqtrans
