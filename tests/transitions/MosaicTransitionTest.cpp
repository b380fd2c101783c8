// Mosaic: parameters, the grid, the random cells and the free-cell search, the
// bitmap's lifetime, whole runs on the reference surface and the settings panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/MosaicTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

// With seed 1 the generator's first values are 41, 18467, 6334, 26500, 19169, 15724,
// 11478, 29358, ...

std::string Cell(int32_t x, int32_t y, int32_t side) {
    const std::string at = std::to_string(x) + ", " + std::to_string(y);
    return "new.CopyRect(dest, " + at + ", " + at + ", " + std::to_string(side) + ", " + std::to_string(side) +
           ", 0, 0, 0, 2)";
}

class MosaicTest : public test::StepFixture<MosaicTransition> {
protected:
    void Start(int32_t spot, int32_t w, int32_t h, uint32_t d) {
        t.spotWidth = spot;
        Size(w, h);
        crt::srand(1);
        BeginRun(d);
    }
};

TEST_F(MosaicTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x41534F4Du);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1003);
    EXPECT_EQ(t.DialogId(), 104);

    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(t.GetParams(nullptr), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{4, 0, 0, 0}));

    const uint8_t block[12] = {0x2A, 0x01, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9};
    t.SetParams(block, 3);
    EXPECT_EQ(t.spotWidth, 4);
    t.SetParams(block, 12);
    EXPECT_EQ(t.spotWidth, 0x12A);

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<MosaicTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->spotWidth, 4);
    EXPECT_EQ(fresh->shownBits, nullptr);
}

TEST_F(MosaicTest, GridOfTheSetUp) {
    struct Case {
        int32_t spot;
        int32_t w;
        int32_t h;
        uint32_t cellSize;
        uint32_t columns;
        uint32_t rows;
    };
    const Case cases[] = {
        {4, 640, 480, 22, 30, 22}, // (19 + 25) / 2
        {0, 7, 5, 1, 7, 5},        // one cell per pixel
        {1, 640, 480, 5, 128, 96}, // (4 + 6) / 2
        {100, 640, 480, 560, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("spot width " + std::to_string(c.spot));
        Start(c.spot, c.w, c.h, 1000);
        dest.SetReady(false);
        EXPECT_EQ(StepAt(0), 0); // the set-up is done all the same
        dest.SetReady(true);
        EXPECT_EQ(t.cellSize, c.cellSize);
        EXPECT_EQ(t.columns, c.columns);
        EXPECT_EQ(t.rows, c.rows);
        EXPECT_EQ(t.cellCount, c.columns * c.rows);
        EXPECT_EQ(t.cellsShown, 0u);
        EXPECT_NE(t.shownBits, nullptr);
    }
}

TEST_F(MosaicTest, RandomCellsAndRepeatedPicks) {
    // 20 x 20 at 50 percent: cells of 10, 2 x 2; a 4 ms run makes the target e.
    Start(50, 20, 20, 4);
    EXPECT_EQ(StepAt(0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    // (41, 18467): column 0, row 1.
    EXPECT_EQ(StepAt(1), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Cell(0, 10, 10)});
    // (6334, 26500): column 0, row 1 again; the search starts at the byte's first
    // cell, which is free.
    EXPECT_EQ(StepAt(2), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Cell(0, 0, 10)});
    // (19169, 15724): column 1, row 0; then (11478, 29358): row 1 column 0 again, and
    // the search passes cells 0 to 2 to find cell 3.
    EXPECT_EQ(StepAt(4), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Cell(10, 0, 10), Cell(10, 10, 10)});
    EXPECT_EQ(t.shownBits[0], 0x0F);
    EXPECT_EQ(StepAt(4), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
}

TEST_F(MosaicTest, TheSearchSkipsFullBytesAndWrapsOnce) {
    // 40 x 50 at 23 percent: cells of (11 + 9) / 2 = 10, 4 x 5 = 20 cells in 3 bytes.
    Start(23, 40, 50, 20);
    StepAt(0);
    ASSERT_EQ(t.cellCount, 20u);
    t.shownBits[0] = 0x07;
    t.shownBits[1] = 0xFF;
    t.shownBits[2] = 0x0F;
    // (41, 18467): column 0, row 2, cell 8 in the full byte 1; byte 2 has clear bits
    // only past the last cell; the search wraps to byte 0 and takes cell 3.
    EXPECT_EQ(StepAt(1), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Cell(30, 0, 10)});
    EXPECT_EQ(t.shownBits[0], 0x0F);
    EXPECT_EQ(t.shownBits[2], 0x0F);
    // Every cell shown: the pick draws nothing, and the spare bits stay clear.
    t.shownBits[0] = 0xFF;
    EXPECT_EQ(StepAt(2), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.shownBits[2], 0x0F);
    EXPECT_EQ(t.shownBits[3], 0x00);
    EXPECT_EQ(t.shownBits[4], 0x00);
}

TEST_F(MosaicTest, TheSearchCrossesLongRunsOfFullBytes) {
    // One cell per pixel on 40 x 50: 2000 cells in 250 bytes. The first pick, (41,
    // 18467), is column 0, row 28: cell 1120 in byte 140.
    struct Case {
        uint32_t freeCell;
        const char* name;
    };
    const Case cases[] = {{1608, "after the pick"}, {29, "before the pick, after wrapping"}, {1127, "in its byte"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(0, 40, 50, 2000);
        StepAt(0);
        ASSERT_EQ(t.cellCount, 2000u);
        for (uint32_t k = 0; k < 250; ++k) {
            t.shownBits[k] = 0xFF;
        }
        t.shownBits[c.freeCell / 8] = static_cast<uint8_t>(~(1u << (c.freeCell % 8)));
        EXPECT_EQ(StepAt(1), 1);
        EXPECT_CALLS(log, {"dest.IsReady()",
                           Cell(static_cast<int32_t>(c.freeCell % 40), static_cast<int32_t>(c.freeCell / 40), 1)});
        EXPECT_EQ(t.shownBits[c.freeCell / 8], 0xFF);
    }
}

TEST_F(MosaicTest, TargetsFollowTheClock) {
    Start(4, 640, 480, 1000);
    StepAt(0);
    EXPECT_EQ(StepAt(500), 1);
    EXPECT_EQ(log.lines.size(), 1u + 330u);
    EXPECT_EQ(StepAt(503), 1); // 660 * 503 / 1000 = 331.98
    EXPECT_EQ(log.lines.size(), 1u + 1u);
    EXPECT_EQ(t.cellsShown, 331u);

    // Elapsed time beyond the duration: taken as the end, every remaining cell.
    t.SetElapsed(static_cast<uint32_t>(-20));
    EXPECT_EQ(StepAt(510), 1);
    EXPECT_EQ(log.lines.size(), 1u + 329u);
    EXPECT_EQ(t.cellsShown, 660u);
    // Then back below what was asked for: nothing, and the count stays.
    EXPECT_EQ(StepAt(600), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.cellsShown, 660u);
}

TEST_F(MosaicTest, WholeFrameCases) {
    struct Case {
        const char* name;
        int32_t spot;
        int32_t w;
        int32_t h;
    };
    const Case cases[] = {
        {"one row", 100, 640, 480},
        {"one column", 100, 480, 640},
        {"a grid too large to count", 0, 70000, 70000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.spot, c.w, c.h, 100);
        for (uint32_t e : {0u, 50u, 100u}) {
            EXPECT_EQ(StepAt(e), 1);
            EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
        }
    }
}

TEST_F(MosaicTest, AHostFailureEndsTheStepWithZero) {
    Start(4, 640, 480, 1000);
    newFrame.ThrowAfter(2);
    EXPECT_EQ(StepAt(100), 0);
    EXPECT_EQ(log.lines.size(), 4u);
}

TEST_F(MosaicTest, TheBitmapLivesFromSetUpToEndOrTheNextRun) {
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start(4 + run, 640, 480, 100);
        StepAt(30);
        ASSERT_NE(t.shownBits, nullptr);
        t.End();
        EXPECT_EQ(t.shownBits, nullptr);
        EXPECT_TRUE(t.IsFinished());
    }
    // A new run, or Finish, without End: the set-up replaces the bitmap.
    Start(4, 640, 480, 100);
    StepAt(30);
    Start(8, 640, 480, 100);
    StepAt(30);
    t.Finish();
    StepAt(100);
    EXPECT_EQ(t.cellsShown, t.cellCount);

    auto* mid = new MosaicTransition();
    clock.Set(0);
    mid->Begin(100);
    clock.Set(50);
    EXPECT_EQ(mid->Step(&dest, &oldFrame, &newFrame, 0, nullptr), 1);
    delete mid; // the leak checker of the sanitizer build sees a bitmap left behind
}

// Every cell of the grid is either wholly new or wholly old; returns the new ones.
int32_t NewCells(SoftwareSurface& dest, int32_t w, int32_t h, int32_t side, std::string& problem) {
    int32_t count = 0;
    for (int32_t cy = 0; cy < h; cy += side) {
        for (int32_t cx = 0; cx < w; cx += side) {
            const bool isNew = dest.Pixel(cx, cy) == test::NewAt(cx, cy);
            for (int32_t y = cy; y < std::min(h, cy + side); ++y) {
                for (int32_t x = cx; x < std::min(w, cx + side); ++x) {
                    const uint32_t want = isNew ? test::NewAt(x, y) : test::OldAt(x, y);
                    if (dest.Pixel(x, y) != want && problem.empty()) {
                        problem = "cell at (" + std::to_string(cx) + ", " + std::to_string(cy) + ") is mixed";
                    }
                }
            }
            count += isNew ? 1 : 0;
        }
    }
    return count;
}

TEST(MosaicPixels, WholeRunsShowEveryCell) {
    for (int32_t spot : {0, 4, 13, 40}) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("spot width " + std::to_string(spot) + " every " + std::to_string(frame) + " ms");
            crt::srand(7);
            TestClock clock;
            test::PixelRig rig(53, 37);
            MosaicTransition mosaic;
            mosaic.spotWidth = spot;
            test::RunUntil(mosaic, rig, clock, 1000, frame, 1000);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, test::NewAt), "");
        }
    }
}

TEST(MosaicPixels, PartWayTheShownCellsAreWholeAndCounted) {
    // 53 x 37 at 13 percent: cells of (4 + 6) / 2 = 5, 11 x 8 = 88 cells.
    crt::srand(3);
    TestClock clock;
    test::PixelRig rig(53, 37);
    MosaicTransition mosaic;
    mosaic.spotWidth = 13;
    clock.Set(0);
    mosaic.Begin(1000);
    for (uint32_t t : {0u, 5u, 90u, 91u, 400u, 750u}) {
        clock.Set(t);
        ASSERT_EQ(mosaic.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
    }
    std::string problem;
    EXPECT_EQ(NewCells(rig.dest, 53, 37, 5, problem), 66); // 88 * 750 / 1000
    EXPECT_EQ(problem, "");
}

// A wide spot on the 64 x 48 surface leaves a grid of one column, whose steps show
// the new frame without reading the clock.
class MosaicPanelTest : public test::PanelFixture<MosaicTransition> {
protected:
    MosaicPanelTest() { stepReadsClock = false; }
};

TEST_F(MosaicPanelTest, OpensWithTheSpotWidth) {
    HWND panel = Open();
    EXPECT_EQ(Text(panel, 1018), u"Spot width: 4%");
    const auto bar = automation::Control(panel, 1025).value();
    EXPECT_EQ(bar.rangeMin, 1);
    EXPECT_EQ(bar.rangeMax, 100);
    EXPECT_EQ(bar.position, 4);
}

TEST_F(MosaicPanelTest, TheTrackBar) {
    HWND panel = Open();
    for (int32_t position : {1, 100, 37}) {
        Running();
        ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, position));
        EXPECT_EQ(t.spotWidth, position);
        const std::string digits = std::to_string(position);
        EXPECT_EQ(Text(panel, 1018), u"Spot width: " + std::u16string(digits.begin(), digits.end()) + u"%");
        EXPECT_TRUE(PreviewAsked());
    }
    WidenTrackBar(panel, 1025, 0, 150);
    for (int32_t position : {0, 101}) {
        Running();
        ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, position));
        EXPECT_EQ(t.spotWidth, 37);
        EXPECT_FALSE(t.FirstStep());
    }
    EXPECT_EQ(Text(panel, 1018), u"Spot width: 37%");
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1025, 0), 0);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(MosaicPanelTest, CloseReadsTheTrackBarOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 12));
    t.spotWidth = 4;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.spotWidth, 4);

    panel = Open();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 12));
    t.spotWidth = 4;
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[4];
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{12, 0, 0, 0}));

    // A track bar at 0 keeps the old value.
    panel = Open();
    WidenTrackBar(panel, 1025, 0, 100);
    SendDlgItemMessageW(panel, 1025, TBM_SETPOS, 1, 0);
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.spotWidth, 12);
}
} // namespace
} // namespace wqtrans
