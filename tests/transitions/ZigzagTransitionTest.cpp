// Zigzag: parameters with their packed 16-bit fields, the cells of the paths from each
// corner and from the centre, whole runs on the reference surface and the panel.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/ZigzagTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

class ZigzagTest : public test::StepFixture<ZigzagTransition> {
protected:
    ZigzagTest() { Size(320, 240); }
    void Start(int32_t spot, uint16_t corner, uint16_t dir, uint32_t d) {
        t.spotWidth = spot;
        t.startCorner = corner;
        t.direction = dir;
        BeginRun(d);
    }
    // The expected log of one step that draws the cells at `corners`, each `side` wide.
    static std::vector<std::string> Cells(const std::vector<std::pair<int32_t, int32_t>>& corners, int32_t side) {
        std::vector<std::string> lines{"dest.IsReady()"};
        for (const auto& [x, y] : corners) {
            const std::string at = std::to_string(x) + ", " + std::to_string(y);
            lines.push_back("new.CopyRect(dest, " + at + ", " + at + ", " + std::to_string(side) + ", " +
                            std::to_string(side) + ", 0, 0, 0, 2)");
        }
        return lines;
    }
};

TEST_F(ZigzagTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x5A47495Au);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1008);
    EXPECT_EQ(t.DialogId(), 103);

    uint8_t out[8];
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{15, 0, 0, 0, 0, 0, 0, 0}));

    // The second word holds the start corner in its low half and the direction in
    // its high half; both keep all 16 bits.
    const uint8_t block[8] = {40, 0, 0, 0, 0x04, 0x01, 0xFF, 0xFF};
    t.SetParams(block, 7);
    EXPECT_EQ(t.spotWidth, 15);
    t.SetParams(block, 8);
    EXPECT_EQ(t.spotWidth, 40);
    EXPECT_EQ(t.startCorner, 0x0104);
    EXPECT_EQ(t.direction, 0xFFFF);
    EXPECT_EQ(t.GetParams(out), 8);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(block, block + 8));

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<ZigzagTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->spotWidth, 15);
    EXPECT_EQ(fresh->startCorner, 0);
    EXPECT_EQ(fresh->direction, 0);
}

TEST_F(ZigzagTest, TopLeftAlongRows) {
    // s = (36 + 48) >> 1 = 42; 8 columns, 6 rows; a 48 ms run makes the target e.
    Start(15, 0, 0, 48);
    EXPECT_EQ(StepAt(0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.spotSize, 42u);
    EXPECT_EQ(t.columns, 8u);
    EXPECT_EQ(t.rows, 6u);
    EXPECT_EQ(t.cellTotal, 48u);

    EXPECT_EQ(StepAt(10), 1);
    EXPECT_CALLS(
        log,
        Cells({{0, 0}, {42, 0}, {84, 0}, {126, 0}, {168, 0}, {210, 0}, {252, 0}, {294, 0}, {294, 42}, {252, 42}}, 42));
    // The target has not moved: nothing.
    EXPECT_EQ(StepAt(10), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    // Only the cells due since.
    EXPECT_EQ(StepAt(12), 1);
    EXPECT_CALLS(log, Cells({{210, 42}, {168, 42}}, 42));
}

TEST_F(ZigzagTest, EachCornerAndDirectionStartsWhereItShould) {
    struct Case {
        uint16_t corner;
        uint16_t direction;
        std::vector<std::pair<int32_t, int32_t>> cells;
    };
    const Case cases[] = {
        {0, 1, {{0, 0}, {0, 42}, {0, 84}, {0, 126}, {0, 168}, {0, 210}, {42, 210}, {42, 168}, {42, 126}}},
        {1, 0, {{278, 0}, {236, 0}, {194, 0}, {152, 0}, {110, 0}, {68, 0}, {26, 0}, {-16, 0}, {-16, 42}, {26, 42}}},
        {1, 1, {{278, 0}, {278, 42}, {278, 84}, {278, 126}, {278, 168}, {278, 210}, {236, 210}, {236, 168}}},
        {2,
         0,
         {{0, 198}, {42, 198}, {84, 198}, {126, 198}, {168, 198}, {210, 198}, {252, 198}, {294, 198}, {294, 156}}},
        {2, 1, {{0, 198}, {0, 156}, {0, 114}, {0, 72}, {0, 30}, {0, -12}, {42, -12}, {42, 30}}},
        {3,
         0,
         {{278, 198}, {236, 198}, {194, 198}, {152, 198}, {110, 198}, {68, 198}, {26, 198}, {-16, 198}, {-16, 156}}},
        {3, 1, {{278, 198}, {278, 156}, {278, 114}, {278, 72}, {278, 30}, {278, -12}, {236, -12}, {236, 30}}},
        // Any direction but 0 runs along columns.
        {0, 7, {{0, 0}, {0, 42}, {0, 84}, {0, 126}, {0, 168}, {0, 210}, {42, 210}, {42, 168}, {42, 126}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("corner " + std::to_string(c.corner) + " direction " + std::to_string(c.direction));
        Start(15, c.corner, c.direction, 48);
        EXPECT_EQ(StepAt(static_cast<uint32_t>(c.cells.size())), 1);
        EXPECT_CALLS(log, Cells(c.cells, 42));
    }
}

TEST_F(ZigzagTest, CentreSpiral) {
    Size(100, 100);
    // s = 15, start (35, 35), 8 x 8 cells; a 64 ms run.
    Start(15, 4, 0, 64);
    EXPECT_EQ(StepAt(6), 1);
    EXPECT_CALLS(log, Cells({{35, 35}, {50, 35}, {50, 50}, {35, 50}, {20, 50}, {20, 35}}, 15));
    EXPECT_EQ(t.cellTotal, 64u);

    Start(15, 4, 1, 64);
    EXPECT_EQ(StepAt(6), 1);
    EXPECT_CALLS(log, Cells({{35, 35}, {35, 50}, {20, 50}, {20, 35}, {20, 20}, {35, 20}}, 15));

    // The cell count follows the frame's proportions: 17 x 5 on 400 x 100 at 10 percent.
    Size(400, 100);
    Start(10, 4, 0, 85);
    StepAt(0);
    EXPECT_EQ(t.spotSize, 25u);
    EXPECT_EQ(t.columns, 17u);
    EXPECT_EQ(t.rows, 5u);
}

TEST_F(ZigzagTest, WholeFrameCases) {
    struct Case {
        const char* name;
        int32_t spot;
        uint16_t corner;
    };
    // On 320 x 240: a cell as large as the height, or a corner that names no path.
    const Case cases[] = {
        {"cell of 100 percent", 100, 0},
        {"cell as high as the frame", 86, 4},
        {"corner 5", 15, 5},
        {"corner 65535", 15, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.spot, c.corner, 0, 100);
        for (uint32_t e : {0u, 50u, 100u}) {
            EXPECT_EQ(StepAt(e), 1);
            EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
        }
    }
}

TEST_F(ZigzagTest, SetUpHappensBeforeTheReadinessTest) {
    Start(15, 3, 0, 48);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(20), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.cellX, 278);
    EXPECT_EQ(t.cellY, 198);
    EXPECT_EQ(t.cellsDrawn, 0);
}

TEST_F(ZigzagTest, TheClockMovedEitherWayPastTheRun) {
    Start(15, 0, 0, 48);
    StepAt(5);
    // Elapsed time beyond the duration: taken as the end, all 48 cells.
    t.SetElapsed(static_cast<uint32_t>(-10)); // start 15
    EXPECT_EQ(StepAt(6), 1);
    EXPECT_EQ(log.lines.size(), 1u + 43u);
    EXPECT_EQ(t.cellsDrawn, 48);
    // Then a target below what is drawn: nothing, and the path stays where it is.
    EXPECT_EQ(StepAt(30), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.cellsDrawn, 48);
}

TEST_F(ZigzagTest, PanelChangesTakeEffectAtTheNextFirstStep) {
    Start(15, 0, 0, 48);
    StepAt(2);
    t.startCorner = 3;
    t.direction = 1;
    EXPECT_EQ(StepAt(3), 1);
    EXPECT_CALLS(log, Cells({{84, 0}}, 42));
    t.Finish();
    EXPECT_EQ(StepAt(3), 1); // the path starts again and draws all cells due
    EXPECT_CALLS(log, Cells({{278, 198}, {278, 156}, {278, 114}}, 42));
}

void CheckRun(int32_t w, int32_t h, int32_t spot, uint16_t corner, uint16_t direction,
              const std::function<bool(int32_t x, int32_t y)>& reached) {
    for (uint32_t frame : test::kFrameIntervals) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + " at " + std::to_string(spot) + "%, corner " +
                     std::to_string(corner) + " direction " + std::to_string(direction) + ", every " +
                     std::to_string(frame) + " ms");
        TestClock clock;
        test::PixelRig rig(w, h);
        ZigzagTransition zigzag;
        zigzag.spotWidth = spot;
        zigzag.startCorner = corner;
        zigzag.direction = direction;
        test::RunUntil(zigzag, rig, clock, 1000, frame, 1000);
        EXPECT_EQ(
            test::FirstBadPixel(
                rig.dest, [&](int32_t x, int32_t y) { return reached(x, y) ? test::NewAt(x, y) : test::OldAt(x, y); }),
            "");
    }
}

TEST(ZigzagPixels, PathsFromTheCornersCoverTheFrame) {
    for (uint16_t corner = 0; corner < 4; ++corner) {
        for (uint16_t direction = 0; direction < 2; ++direction) {
            CheckRun(97, 61, 15, corner, direction, [](int32_t, int32_t) { return true; });
            CheckRun(40, 30, 1, corner, direction, [](int32_t, int32_t) { return true; });
        }
    }
}

TEST(ZigzagPixels, TheCentreSpiralLeavesItsUnreachedParts) {
    // Along rows the square spiral of 8 x 8 cells of 15 covers x and y from -10 to 110.
    CheckRun(100, 100, 15, 4, 0, [](int32_t, int32_t) { return true; });
    // Starting downwards it lies one cell further left: x from -25 to 95.
    CheckRun(100, 100, 15, 4, 1, [](int32_t x, int32_t) { return x < 95; });
    // 85 cells of 25 on 400 x 100: a 9 x 9 square over x 75 to 300, then four cells
    // down the next column from y = -75, one of them inside the frame.
    CheckRun(400, 100, 10, 4, 0,
             [](int32_t x, int32_t y) { return (x >= 75 && x < 300) || (x >= 300 && x < 325 && y < 25); });
}

using ZigzagPanelTest = test::PanelFixture<ZigzagTransition>;

TEST_F(ZigzagPanelTest, OpensWithTheSettings) {
    t.direction = 1;
    t.startCorner = 4;
    HWND panel = Open();
    EXPECT_FALSE(Checked(panel, 1000));
    EXPECT_TRUE(Checked(panel, 1001));
    for (int32_t id = 1100; id <= 1104; ++id) {
        EXPECT_EQ(Checked(panel, id), id == 1104) << id;
    }
    EXPECT_EQ(Text(panel, 1018), u"Spot width: 15%");
    const auto bar = automation::Control(panel, 1025).value();
    EXPECT_EQ(bar.rangeMin, 1);
    EXPECT_EQ(bar.rangeMax, 100);
    EXPECT_EQ(bar.position, 15);
}

TEST_F(ZigzagPanelTest, ButtonsAndTheTrackBar) {
    HWND panel = Open();
    Running();
    ASSERT_TRUE(automation::Click(panel, 1001));
    EXPECT_EQ(t.direction, 1);
    EXPECT_TRUE(PreviewAsked());
    ExpectClicksSelect(panel, {1103, 1101, 1104, 1102, 1100}, 1100, t.startCorner);
    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 42));
    EXPECT_EQ(t.spotWidth, 42);
    EXPECT_EQ(Text(panel, 1018), u"Spot width: 42%");
    EXPECT_TRUE(PreviewAsked());
    // Outside 1 to 100: ignored, no preview, the label stays.
    WidenTrackBar(panel, 1025, 0, 150);
    for (int32_t position : {0, 101, 150}) {
        Running();
        ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, position));
        EXPECT_EQ(t.spotWidth, 42);
        EXPECT_FALSE(t.FirstStep());
    }
    EXPECT_EQ(Text(panel, 1018), u"Spot width: 42%");
    // Commands from other controls: no preview.
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1018, 0), 0);
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1105, 0), 0);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(ZigzagPanelTest, CloseReadsTheControlsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1001));
    ASSERT_TRUE(automation::Click(panel, 1103));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 60));
    t.direction = 0;
    t.startCorner = 0;
    t.spotWidth = 15;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.direction, 0);
    EXPECT_EQ(t.startCorner, 0);
    EXPECT_EQ(t.spotWidth, 15);

    panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1001));
    ASSERT_TRUE(automation::Click(panel, 1103));
    // Any position but 0 is taken on closing, even one beyond 100.
    WidenTrackBar(panel, 1025, 0, 150);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 120));
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[8];
    EXPECT_EQ(t.GetParams(block), 8);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 8), (std::vector<uint8_t>{120, 0, 0, 0, 3, 0, 1, 0}));
}
} // namespace
} // namespace wqtrans
