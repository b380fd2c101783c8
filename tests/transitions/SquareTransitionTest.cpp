// Square: the calls of its steps, the pixels it leaves, its block and its panel.
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
#include "transitions/SquareTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

class SquareTest : public test::StepFixture<SquareTransition> {
protected:
    int32_t StepOn(int32_t w, int32_t h) {
        Size(w, h);
        return Step();
    }
};

TEST_F(SquareTest, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '1'));
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.GetParams(nullptr), 12);
    uint8_t out[12] = {};
    EXPECT_EQ(t.GetParams(out), 12);
    const uint8_t defaults[12] = {0, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), std::vector<uint8_t>(defaults, defaults + 12));

    // spare comes back exactly as stored; the other two are taken without a range check.
    const uint8_t block[12] = {0xEF, 0xBE, 0xAD, 0xDE, 0x96, 0, 0, 0, 1, 0, 0, 0};
    t.SetParams(block, 12);
    EXPECT_EQ(t.spare, static_cast<int32_t>(0xDEADBEEF));
    EXPECT_EQ(t.sizePercent, 150);
    EXPECT_EQ(t.stretchInside, 1);
    EXPECT_EQ(t.GetParams(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), std::vector<uint8_t>(block, block + 12));

    const uint8_t shortBlock[11] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    t.SetParams(shortBlock, 11);
    t.SetParams(nullptr, 12);
    EXPECT_EQ(t.sizePercent, 150);
    EXPECT_EQ(t.spare, static_cast<int32_t>(0xDEADBEEF));
}

struct SquareCase {
    const char* name;
    int32_t w, h, sizePercent, stretchInside;
    uint32_t e, d;
    std::vector<std::string> calls;
};

TEST_F(SquareTest, StepCalls) {
    // clang-format off
    const SquareCase cases[] = {
        {"640 x 480 at the end: exact cover", 640, 480, 50, 0, 1000, 1000,
         {"dest.IsReady()", "new.CopyRect(dest, 160, 120, 160, 120, 320, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 640, 120, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 160, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 360, 0, 360, 640, 120, 0, 0, 0, 2)",
          "new.CopyRect(dest, 480, 0, 480, 0, 160, 480, 0, 0, 0, 2)"}},
        {"101 wide at the end: column 75 only in the top and bottom bands", 101, 80, 50, 0, 1000, 1000,
         {"dest.IsReady()", "new.CopyRect(dest, 25, 20, 25, 20, 50, 40, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 101, 20, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 25, 80, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 60, 0, 60, 101, 20, 0, 0, 0, 2)",
          "new.CopyRect(dest, 76, 0, 76, 0, 25, 80, 0, 0, 0, 2)"}},
        {"stretched inside at half time", 640, 480, 50, 1, 500, 1000,
         {"dest.IsReady()", "new.StretchRect(dest, 240, 180, 160, 120, 160, 120, 320, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 640, 60, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 80, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 420, 0, 420, 640, 60, 0, 0, 0, 2)",
          "new.CopyRect(dest, 560, 0, 560, 0, 80, 480, 0, 0, 0, 2)"}},
        {"start: every rectangle empty", 640, 480, 50, 0, 0, 1000,
         {"dest.IsReady()", "new.CopyRect(dest, 320, 240, 320, 240, 0, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 640, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 0, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 480, 0, 480, 640, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 640, 0, 640, 0, 0, 480, 0, 0, 0, 2)"}},
        {"stored 150 per cent drawn as 100: no band wraps", 640, 480, 150, 0, 1000, 1000,
         {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 640, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 640, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 0, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 480, 0, 480, 640, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 640, 0, 640, 0, 0, 480, 0, 0, 0, 2)"}},
        {"stored -10 per cent drawn as 0", 640, 480, -10, 0, 1000, 1000,
         {"dest.IsReady()", "new.CopyRect(dest, 320, 240, 320, 240, 0, 0, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 640, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 320, 480, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 240, 0, 240, 640, 240, 0, 0, 0, 2)",
          "new.CopyRect(dest, 320, 0, 320, 0, 320, 480, 0, 0, 0, 2)"}},
        // ws x e = 3200 x 1500000 passes 2^32: the sizes must still be three quarters.
        {"long run on a large frame", 4000, 3000, 80, 0, 1500000, 2000000,
         {"dest.IsReady()", "new.CopyRect(dest, 800, 600, 800, 600, 2400, 1800, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 4000, 225, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 0, 0, 0, 300, 3000, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 2775, 0, 2775, 4000, 225, 0, 0, 0, 2)",
          "new.CopyRect(dest, 3700, 0, 3700, 0, 300, 3000, 0, 0, 0, 2)"}},
    };
    // clang-format on
    for (const SquareCase& c : cases) {
        SCOPED_TRACE(c.name);
        t.sizePercent = c.sizePercent;
        t.stretchInside = c.stretchInside;
        At(c.e, c.d);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        newFrame.SetSize(c.w, c.h);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, 0, &list), 1);
        EXPECT_CALLS(log, c.calls);
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234));
        EXPECT_EQ(t.sizePercent, c.sizePercent); // a stored value is kept as it came
    }
}

TEST_F(SquareTest, SpareHasNoEffectOnDrawing) {
    At(1000);
    StepOn(640, 480);
    const std::vector<std::string> plain = log.lines;
    t.spare = -7;
    At(1000);
    StepOn(640, 480);
    EXPECT_CALLS(log, plain);
}

TEST_F(SquareTest, SizeIsTakenAtTheFirstStepOnly) {
    At(1000);
    StepOn(640, 480);
    log.Clear();
    newFrame.SetSize(100, 100); // a later frame of another size changes nothing in this run
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(log.lines.at(1), "new.CopyRect(dest, 160, 120, 160, 120, 320, 240, 0, 0, 0, 2)");
}

TEST_F(SquareTest, UnreadyDestinationDrawsNothingButTakesTheSize) {
    At(500);
    dest.SetReady(false);
    EXPECT_EQ(StepOn(200, 100), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.width, 200u);
    EXPECT_EQ(t.height, 100u);
    EXPECT_EQ(t.GetElapsed(), 500u); // the clock is read before the readiness test
}

TEST_F(SquareTest, ElapsedBeyondTheDurationCopiesTheNewFrame) {
    At(500);
    t.UpdateElapsed();
    t.SetElapsed(static_cast<uint32_t>(-100));
    log.Clear();
    EXPECT_EQ(StepOn(640, 480), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
}

// Pixels on the reference surface: the destination holds the old frame before the run.
class SquarePixels : public test::PixelFixture<SquareTransition> {
protected:
    SquarePixels(int32_t w = 101, int32_t h = 80) : PixelFixture(w, h) {}
};

TEST_F(SquarePixels, OddWidthLeavesColumn75BetweenTheBands) {
    t.Begin(1000);
    StepAt(250);
    StepAt(1000);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      const bool gap = x == 75 && y >= 20 && y < 60;
                                      return Tagged(gap ? test::kOldTag : test::kNewTag, x, y);
                                  }),
              "");
}

TEST_F(SquarePixels, HalfWayTheWindowShowsTheNewFrameInPlace) {
    // 101 x 80, S = 50, e = d/2: inner 25 x 20 at (38, 30); bands 12 wide, 10 high.
    t.Begin(1000);
    StepAt(500);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      const bool inner = x >= 38 && x < 63 && y >= 30 && y < 50;
                                      const bool band = x < 12 || x >= 89 || y < 10 || y >= 70;
                                      return Tagged(inner || band ? test::kNewTag : test::kOldTag, x, y);
                                  }),
              "");
}

class SquareStretchPixels : public SquarePixels {
protected:
    SquareStretchPixels() : SquarePixels(64, 48) {}
};

TEST_F(SquareStretchPixels, EvenSizeIsCoveredExactlyAtTheEnd) {
    t.stretchInside = 1;
    t.Begin(1000);
    StepAt(300);
    StepAt(1000);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
}

// The panel, through the automation layer.
class SquarePanel : public test::PanelFixture<SquareTransition> {
protected:
    // The panel opened on a run part-way through, size 35 with the inside stretched.
    void SetUp() override {
        Running();
        t.sizePercent = 35;
        t.stretchInside = 1;
        ASSERT_NE(Open(), nullptr);
    }
};

TEST_F(SquarePanel, InitialStateClicksTrackBarAndClose) {
    const auto bar = automation::Control(panel, 1025);
    ASSERT_TRUE(bar.has_value());
    EXPECT_EQ(bar->kind, automation::ControlKind::TrackBar);
    EXPECT_EQ(bar->rangeMin, 20);
    EXPECT_EQ(bar->rangeMax, 80);
    EXPECT_EQ(bar->position, 35);
    const auto box = automation::Control(panel, 1026);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, u"with Stretch for the inside square");
    EXPECT_TRUE(box->checked);

    Running();
    ASSERT_FALSE(PreviewAsked());
    ASSERT_TRUE(automation::Click(panel, 1026));
    EXPECT_EQ(t.stretchInside, 0);
    EXPECT_TRUE(PreviewAsked());

    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 70));
    EXPECT_EQ(t.sizePercent, 70);
    EXPECT_TRUE(PreviewAsked());

    // Past the range, the control stops at its maximum.
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 95));
    EXPECT_EQ(t.sizePercent, 80);

    ASSERT_TRUE(automation::Click(panel, 1026));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 20));
    t.sizePercent = 50; // closing reads the controls back, not the fields
    t.stretchInside = 0;
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    uint8_t out[12] = {};
    t.GetParams(out);
    const uint8_t expected[12] = {0, 0, 0, 0, 20, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), std::vector<uint8_t>(expected, expected + 12));
}

TEST_F(SquarePanel, CloseWithoutApplyRestoresTheFieldsOfTheOpening) {
    ASSERT_TRUE(automation::Click(panel, 1026));
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 60));
    t.sizePercent = 44;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_EQ(t.stretchInside, 1);
    EXPECT_EQ(t.sizePercent, 35);
}

TEST_F(SquarePanel, TrackBarPositionsOutsideTheRange) {
    // A scroll takes only 20 to 80 but always asks for a preview; closing takes any
    // position but 0.
    struct Case {
        int32_t position;
        int32_t afterScroll;
        int32_t afterClose;
    };
    for (const Case& c : {Case{90, 35, 90}, Case{19, 35, 19}, Case{0, 35, 35}}) {
        SCOPED_TRACE(c.position);
        t.sizePercent = 35;
        ForceTrackBar(panel, 1025, c.position);
        Running();
        SendMessageW(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, c.position), 0);
        EXPECT_EQ(t.sizePercent, c.afterScroll);
        EXPECT_TRUE(PreviewAsked());
    }
    t.CloseSettings(1);
    EXPECT_EQ(t.sizePercent, 35);
}

TEST_F(SquarePanel, CloseTakesAnyNonZeroPosition) {
    ForceTrackBar(panel, 1025, 90);
    t.CloseSettings(1);
    EXPECT_EQ(t.sizePercent, 90);
}

} // namespace
} // namespace wqtrans
