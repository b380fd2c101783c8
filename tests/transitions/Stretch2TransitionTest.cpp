// Stretch 2: the calls of its two halves for every placement, the phase switch, the
// skipped negative sizes, the pixels it leaves, its block.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/SoftwareSurface.h"
#include "platform/Automation.h"
#include "support/AnchorPanelTests.h"
#include "support/Frames.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/Stretch2Transition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

class Stretch2Test : public test::StepFixture<Stretch2Transition> {
protected:
    void Start(uint32_t d = 1000) { BeginRun(d); }
    // One step at elapsed time `e`; returns its calls after dest.IsReady().
    std::vector<std::string> StepAt(uint32_t e) {
        clock.Set(e);
        log.Clear();
        EXPECT_EQ(Step(), 1);
        EXPECT_FALSE(log.lines.empty());
        if (!log.lines.empty()) {
            EXPECT_EQ(log.lines.front(), "dest.IsReady()");
        }
        return std::vector<std::string>(log.lines.begin() + (log.lines.empty() ? 0 : 1), log.lines.end());
    }
};

using Calls = std::vector<std::string>;

TEST_F(Stretch2Test, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '9'));
    EXPECT_EQ(t.GetMode(), 11);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(t.GetParams(nullptr), 4);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    const uint8_t block[4] = {10, 0, 0, 0};
    t.SetParams(block, 4);
    EXPECT_EQ(t.anchor, 10);
    const uint8_t other[4] = {3, 0, 0, 0};
    t.SetParams(other, 2);
    t.SetParams(nullptr, 4);
    EXPECT_EQ(t.anchor, 10);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 0, 0, 0}));
}

TEST_F(Stretch2Test, TopLeftThroughARun) {
    Start();
    EXPECT_EQ(StepAt(250), Calls{"old.StretchAll(dest, 0, 0, 320, 240, 0, 0, 0, 4)"});
    EXPECT_EQ(t.phase, 0u);
    EXPECT_EQ(StepAt(500), Calls{"old.StretchAll(dest, 0, 0, 0, 0, 0, 0, 0, 4)"});
    EXPECT_EQ(t.phase, 1u);
    EXPECT_EQ(StepAt(750), Calls{"new.StretchAll(dest, 0, 0, 320, 240, 0, 0, 0, 4)"});
    EXPECT_EQ(StepAt(1000), Calls{"new.StretchAll(dest, 0, 0, 640, 480, 0, 0, 0, 4)"});
}

struct PlacementCase {
    int32_t anchor;
    std::string firstHalf;  // old frame at e = 250
    std::string secondHalf; // new frame at e = 750
};

TEST_F(Stretch2Test, EveryPlacementInBothHalves) {
    // 640 x 480, d = 1000: at 250 the old frame is 320 x 240, at 750 the new one too.
    const PlacementCase cases[] = {
        {0, "old.StretchAll(dest, 0, 0, 320, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 0, 320, 240, 0, 0, 0, 4)"},
        {1, "old.StretchAll(dest, 0, 0, 640, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 0, 640, 240, 0, 0, 0, 4)"},
        {2, "old.StretchAll(dest, 320, 0, 320, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 320, 0, 320, 240, 0, 0, 0, 4)"},
        {3, "old.StretchAll(dest, 0, 0, 320, 480, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 0, 320, 480, 0, 0, 0, 4)"},
        {4, "old.StretchAll(dest, 160, 0, 320, 480, 0, 0, 0, 4)", "new.StretchAll(dest, 160, 0, 320, 480, 0, 0, 0, 4)"},
        {5, "old.StretchAll(dest, 0, 120, 640, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 120, 640, 240, 0, 0, 0, 4)"},
        {6, "old.StretchAll(dest, 160, 120, 320, 240, 0, 0, 0, 4)",
         "new.StretchAll(dest, 160, 120, 320, 240, 0, 0, 0, 4)"},
        {7, "old.StretchAll(dest, 320, 0, 320, 480, 0, 0, 0, 4)", "new.StretchAll(dest, 320, 0, 320, 480, 0, 0, 0, 4)"},
        {8, "old.StretchAll(dest, 0, 240, 320, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 240, 320, 240, 0, 0, 0, 4)"},
        {9, "old.StretchAll(dest, 0, 240, 640, 240, 0, 0, 0, 4)", "new.StretchAll(dest, 0, 240, 640, 240, 0, 0, 0, 4)"},
        {10, "old.StretchAll(dest, 320, 240, 320, 240, 0, 0, 0, 4)",
         "new.StretchAll(dest, 320, 240, 320, 240, 0, 0, 0, 4)"},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE("anchor " + std::to_string(c.anchor));
        t.anchor = c.anchor;
        Start();
        EXPECT_EQ(StepAt(250), Calls{c.firstHalf});
        StepAt(500);
        EXPECT_EQ(StepAt(750), Calls{c.secondHalf});
    }
}

TEST_F(Stretch2Test, MiddleRightAtHalfTimeVanishesAtTheRightEdge) {
    t.anchor = 7;
    Start();
    EXPECT_EQ(StepAt(500), Calls{"old.StretchAll(dest, 640, 0, 0, 480, 0, 0, 0, 4)"});
    EXPECT_EQ(t.phase, 1u);
}

TEST_F(Stretch2Test, OddDurationSwitchesAtTheFirstStepFrom499) {
    Start(999);
    // GW = 640 x 498 x 2 / 999 = 638, GH = 478: 2 x 2 left of the old frame.
    EXPECT_EQ(StepAt(498), Calls{"old.StretchAll(dest, 0, 0, 2, 2, 0, 0, 0, 4)"});
    EXPECT_EQ(t.phase, 0u);
    // GW = 639, GH = 479: 1 x 1; 499 is d/2 halved as unsigned, so the phase switches.
    EXPECT_EQ(StepAt(499), Calls{"old.StretchAll(dest, 0, 0, 1, 1, 0, 0, 0, 4)"});
    EXPECT_EQ(t.phase, 1u);
    // Still 499: the growing size would be -1 x -1, so nothing is drawn.
    EXPECT_EQ(StepAt(499), Calls{});
    // GW = 768, GH = 576.
    EXPECT_EQ(StepAt(600), Calls{"new.StretchAll(dest, 0, 0, 128, 96, 0, 0, 0, 4)"});
}

TEST_F(Stretch2Test, FirstStepAfterHalfTimeSkipsTheNegativeOldFrameAndSwitches) {
    for (int32_t anchor : {0, 1, 6}) {
        SCOPED_TRACE("anchor " + std::to_string(anchor));
        t.anchor = anchor;
        Start();
        EXPECT_EQ(StepAt(750), Calls{});
        EXPECT_EQ(t.phase, 1u);
    }
    // The following step draws the new frame: GW = 1024, GH = 768.
    EXPECT_EQ(StepAt(800), Calls{"new.StretchAll(dest, 128, 96, 384, 288, 0, 0, 0, 4)"});
}

TEST_F(Stretch2Test, PreviewRestartsTheFirstHalf) {
    Start();
    StepAt(250);
    StepAt(600);
    ASSERT_EQ(t.phase, 1u);
    t.Finish();
    // Finish asks for a fresh set-up: the phase goes back to 0 at the next step, which
    // still draws the old frame (here with a negative size, so nothing) and switches.
    EXPECT_EQ(StepAt(600), Calls{});
    EXPECT_EQ(t.phase, 1u);
    EXPECT_EQ(StepAt(700), Calls{"new.StretchAll(dest, 0, 0, 256, 192, 0, 0, 0, 4)"});
}

TEST_F(Stretch2Test, AnchorOutsideTheTableDrawsNothingAndKeepsThePhase) {
    for (int32_t anchor : {11, -1}) {
        SCOPED_TRACE("anchor " + std::to_string(anchor));
        t.anchor = anchor;
        Start();
        EXPECT_EQ(StepAt(250), Calls{});
        EXPECT_EQ(StepAt(600), Calls{});
        EXPECT_EQ(t.phase, 0u);
    }
}

TEST_F(Stretch2Test, LongRunOnALargeFrame) {
    // W x e x 2 = 4000 x 1500000 x 2 passes 2^32: the size must still be half the frame.
    newFrame.SetSize(4000, 3000);
    t.anchor = 10;
    Start(2000000);
    EXPECT_EQ(StepAt(1000000), Calls{"old.StretchAll(dest, 4000, 3000, 0, 0, 0, 0, 0, 4)"});
    EXPECT_EQ(StepAt(1500000), Calls{"new.StretchAll(dest, 2000, 1500, 2000, 1500, 0, 0, 0, 4)"});
}

TEST_F(Stretch2Test, UnreadyDestinationDrawsNothingButResetsThePhase) {
    Start();
    StepAt(500);
    ASSERT_EQ(t.phase, 1u);
    t.Begin(1000);
    dest.SetReady(false);
    newFrame.SetSize(100, 50);
    clock.Set(300);
    log.Clear();
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.phase, 0u);
    EXPECT_EQ(t.width, 100u);
    EXPECT_EQ(t.height, 50u);
}

TEST_F(Stretch2Test, ElapsedBeyondTheDurationCopiesTheNewFrame) {
    Start();
    clock.Set(500);
    t.UpdateElapsed();
    t.SetElapsed(static_cast<uint32_t>(-100));
    EXPECT_EQ(StepAt(500), Calls{"new.CopyAll(dest)"});
}

// At the end the new frame covers the destination for every placement, odd sizes too.
TEST(Stretch2Pixels, EveryPlacementEndsOnTheNewFrame) {
    for (int32_t anchor = 0; anchor <= 10; ++anchor) {
        SCOPED_TRACE("anchor " + std::to_string(anchor));
        TestClock clock{0};
        test::PixelRig rig(33, 21, test::kDestTag);
        auto& [dest, oldFrame, newFrame] = rig;
        Stretch2Transition stretch;
        stretch.anchor = anchor;
        stretch.Begin(1000);
        for (uint32_t e : {200u, 500u, 800u, 1000u}) {
            clock.Set(e);
            stretch.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
        }
        EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
    }
}

TEST(Stretch2Pixels, FirstHalfLeavesTheRestAsItWas) {
    // "Center H+V" on 40 x 20 at d/4: the old frame halved into 20 x 10 at (10, 5).
    TestClock clock{0};
    test::PixelRig rig(40, 20, test::kDestTag);
    auto& [dest, oldFrame, newFrame] = rig;
    Stretch2Transition stretch;
    stretch.anchor = 6;
    stretch.Begin(1000);
    clock.Set(250);
    stretch.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      if (x >= 10 && x < 30 && y >= 5 && y < 15) {
                                          // each pixel samples the lower right of its 2 x 2 block
                                          return Tagged(test::kOldTag, (x - 10) * 2 + 1, (y - 5) * 2 + 1);
                                      }
                                      return Tagged(test::kDestTag, x, y);
                                  }),
              "");
}

// The panel, through the automation layer.
struct Stretch2Anchors {
    using Type = Stretch2Transition;
    static constexpr int32_t kLastButton = 1017;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Stretch2, AnchorPanel, Stretch2Anchors);

using Stretch2Panel = AnchorPanel<Stretch2Anchors>;

TEST_F(Stretch2Panel, ButtonsStandWhereTheirPlacementLies) {
    HWND panel = Open(0);
    ASSERT_NE(panel, nullptr);
    ExpectButtonsStand(panel,
                       {{1007, u"Top Left", 0, 0},
                        {1008, u"Top Middle", 1, 0},
                        {1009, u"Top Right", 2, 0},
                        {1010, u"Middle Left", 0, 1},
                        {1011, u"Center H", 1, 1},
                        {1012, u"Center V", 1, 1},
                        {1013, u"Center H+V", 1, 1},
                        {1014, u"Middle Right", 2, 1},
                        {1015, u"Bottom Left", 0, 2},
                        {1016, u"Bottom Middle", 1, 2},
                        {1017, u"Bottom Right", 2, 2}},
                       70);
}

} // namespace
} // namespace wqtrans
