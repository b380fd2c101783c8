// Trame: parameters, the pixel calls of each sweep, whole runs on the reference
// surface (odd frames included) and the settings panel.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
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
#include "transitions/TrameTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

// The log line of one pixel copied in place.
std::string Pixel(int32_t x, int32_t y) {
    const std::string at = std::to_string(x) + ", " + std::to_string(y);
    return "new.CopyRect(dest, " + at + ", " + at + ", 1, 1, 0, 0, 0, 2)";
}

class TrameTest : public test::StepFixture<TrameTransition> {
protected:
    TrameTest() { Size(40, 30); }
    void Start(int32_t pattern, int32_t w, int32_t h, uint32_t d) {
        t.pattern = pattern;
        Size(w, h);
        BeginRun(d);
    }
};

TEST_F(TrameTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x33314553u);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1032);
    EXPECT_EQ(t.DialogId(), 119);

    uint8_t out[4];
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{2, 0, 0, 0}));
    const uint8_t block[4] = {1, 0, 0, 0};
    t.SetParams(block, 3);
    EXPECT_EQ(t.pattern, 2);
    t.SetParams(block, 4);
    EXPECT_EQ(t.pattern, 1);

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<TrameTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->pattern, 2);
}

TEST_F(TrameTest, VerticalSweepsFromRowFourToSeven) {
    // H = 30 and a 30 ms run: R is e.
    Start(0, 4, 30, 30);
    StepAt(4);
    EXPECT_EQ(t.rowsDone, 4u);
    EXPECT_EQ(StepAt(7), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Pixel(0, 4), Pixel(0, 5), Pixel(0, 6), Pixel(1, 22), Pixel(1, 23),
                       Pixel(1, 24), Pixel(1, 25), Pixel(2, 4), Pixel(2, 5), Pixel(2, 6), Pixel(3, 22), Pixel(3, 23),
                       Pixel(3, 24), Pixel(3, 25)});
    EXPECT_EQ(t.rowsDone, 6u);
    // R back at 7 after rounding down: the row drawn last is drawn again.
    EXPECT_EQ(StepAt(7), 1);
    EXPECT_CALLS(log,
                 {"dest.IsReady()", Pixel(0, 6), Pixel(1, 22), Pixel(1, 23), Pixel(2, 6), Pixel(3, 22), Pixel(3, 23)});
    // R equal to the rows done: nothing.
    Start(0, 4, 30, 30);
    StepAt(4);
    EXPECT_EQ(StepAt(4), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
}

TEST_F(TrameTest, HorizontalSweepsFromColumnTwoToFive) {
    // W = 40 and a 40 ms run: K is e.
    Start(1, 40, 2, 40);
    StepAt(2);
    EXPECT_EQ(t.columnsDone, 2u);
    EXPECT_EQ(StepAt(5), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Pixel(3, 0), Pixel(5, 0), Pixel(34, 0), Pixel(36, 0), Pixel(3, 1), Pixel(5, 1),
                       Pixel(34, 1), Pixel(36, 1)});
    EXPECT_EQ(t.columnsDone, 4u);
}

TEST_F(TrameTest, FourDirectionsOnFourByFour) {
    Start(2, 4, 4, 4);
    EXPECT_EQ(StepAt(2), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Pixel(0, 0), Pixel(1, 3), Pixel(2, 0), Pixel(3, 3), Pixel(1, 0), Pixel(2, 1),
                       Pixel(1, 2), Pixel(2, 3)});
    EXPECT_EQ(t.rowsDone, 2u);
    EXPECT_EQ(t.columnsDone, 2u);
    EXPECT_EQ(StepAt(4), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", Pixel(0, 2), Pixel(1, 1), Pixel(2, 2), Pixel(3, 1), Pixel(3, 0), Pixel(0, 1),
                       Pixel(3, 2), Pixel(0, 3)});
}

TEST_F(TrameTest, StepsThatDrawNoSweep) {
    struct Case {
        const char* name;
        int32_t pattern;
        int32_t w;
        int32_t h;
        uint32_t e;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"pattern 3", 3, 4, 4, 2, {"dest.IsReady()"}},
        {"pattern -1", -1, 4, 4, 4, {"dest.IsReady()"}},
        {"odd width at the end", 0, 5, 4, 100, {"dest.IsReady()", "new.CopyAll(dest)"}},
        {"odd height at the end", 1, 4, 5, 100, {"dest.IsReady()", "new.CopyAll(dest)"}},
        {"odd size at the end", 2, 5, 5, 100, {"dest.IsReady()", "new.CopyAll(dest)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.pattern, c.w, c.h, 100);
        EXPECT_EQ(StepAt(c.e), 1);
        EXPECT_CALLS(log, c.calls);
    }
}

TEST_F(TrameTest, ClockAndReadiness) {
    // Set-up and clock read come before the readiness test.
    Start(0, 4, 30, 30);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(9), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.height, 30u);
    EXPECT_EQ(t.GetElapsed(), 9u);
    dest.SetReady(true);

    // An elapsed time beyond the duration copies the new frame whole.
    StepAt(10);
    t.SetElapsed(static_cast<uint32_t>(-5));
    EXPECT_EQ(StepAt(12), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
}

void CheckRun(int32_t pattern, int32_t w, int32_t h, const std::vector<uint32_t>& times,
              const std::function<bool(int32_t x, int32_t y)>& reached) {
    TestClock clock;
    test::PixelRig rig(w, h);
    TrameTransition trame;
    trame.pattern = pattern;
    clock.Set(0);
    trame.Begin(1000);
    for (uint32_t t : times) {
        clock.Set(t);
        ASSERT_EQ(trame.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
    }
    EXPECT_EQ(
        test::FirstBadPixel(
            rig.dest, [&](int32_t x, int32_t y) { return reached(x, y) ? test::NewAt(x, y) : test::OldAt(x, y); }),
        "");
}

TEST(TramePixels, WholeRunsReachEveryPixel) {
    const std::vector<std::vector<uint32_t>> runs = {
        {1000}, {0, 500, 1000}, {0, 1, 2, 3, 77, 78, 400, 401, 999, 1000}, {0, 333, 666, 1000}};
    for (int32_t pattern : {0, 1, 2}) {
        for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{{40, 30}, {41, 30}, {40, 31}, {7, 9}}) {
            for (std::size_t r = 0; r < runs.size(); ++r) {
                SCOPED_TRACE("pattern " + std::to_string(pattern) + " on " + std::to_string(w) + " x " +
                             std::to_string(h) + ", run " + std::to_string(r));
                CheckRun(pattern, w, h, runs[r], [](int32_t, int32_t) { return true; });
            }
        }
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("pattern " + std::to_string(pattern) + " every " + std::to_string(frame) + " ms");
            TestClock clock;
            test::PixelRig rig(40, 30);
            TrameTransition trame;
            trame.pattern = pattern;
            test::RunUntil(trame, rig, clock, 1000, frame, 1000);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, test::NewAt), "");
        }
    }
}

TEST(TramePixels, HalfWayEachSweepHasReachedItsShare) {
    const std::vector<uint32_t> steps = {0, 120, 121, 260, 500};
    // R = 15 of 30 rows, K = 20 of 40 columns.
    CheckRun(0, 40, 30, steps, [](int32_t x, int32_t y) { return x % 2 == 0 ? y < 15 : y >= 14; });
    CheckRun(1, 40, 30, steps, [](int32_t x, int32_t) { return x % 2 == 1 ? x <= 20 : x >= 20; });
    // Four directions: each pixel of a 2 x 2 cell belongs to another sweep.
    CheckRun(2, 40, 30, steps, [](int32_t x, int32_t y) {
        const bool evenX = x % 2 == 0;
        const bool evenY = y % 2 == 0;
        if (evenX && evenY) {
            return y < 15; // from the top
        }
        if (!evenX && !evenY) {
            return y >= 15; // from the bottom
        }
        if (!evenX) {
            return x <= 20; // from the left
        }
        return x >= 20; // from the right
    });
}

using TramePanelTest = test::PanelFixture<TrameTransition>;

TEST_F(TramePanelTest, ButtonsShowThePattern) {
    const std::u16string texts[] = {u"2 Directions (Vertical)", u"2 Directions (Horizontal)", u"4 Directions"};
    for (int32_t pattern = 0; pattern < 3; ++pattern) {
        SCOPED_TRACE("pattern " + std::to_string(pattern));
        t.pattern = pattern;
        HWND panel = Open();
        EXPECT_EQ(automation::Controls(panel).size(), 3u);
        for (int32_t id = 1007; id <= 1009; ++id) {
            EXPECT_EQ(Checked(panel, id), id == 1007 + pattern) << id;
            EXPECT_EQ(Text(panel, id), texts[id - 1007]);
        }
    }
}

TEST_F(TramePanelTest, ClicksChangeThePatternAndAskForAPreview) {
    HWND panel = Open();
    ExpectClicksSelect(panel, {1007, 1008, 1009}, 1007, t.pattern);
}

TEST_F(TramePanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1008));
    t.pattern = 2;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.pattern, 2);

    panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1007));
    t.pattern = 2;
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[4];
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
}
} // namespace
} // namespace wqtrans
