// Turn: the calls of its steps on the truncation boundaries of the spiral, the pixels
// it leaves, its block.
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
#include "transitions/TurnTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

using TurnTest = test::StepFixture<TurnTransition>;

TEST_F(TurnTest, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '8'));
    EXPECT_EQ(t.GetMode(), 3);
    uint8_t out[12] = {};
    EXPECT_EQ(t.GetParams(nullptr), 12);
    EXPECT_EQ(t.GetParams(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const uint8_t block[12] = {7, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    t.SetParams(block, 12);
    EXPECT_EQ(t.rotations, 7);
    EXPECT_EQ(t.fullImage, 1);
    EXPECT_EQ(t.inverse, 1);
    const uint8_t other[12] = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    t.SetParams(other, 11);
    t.SetParams(nullptr, 12);
    EXPECT_EQ(t.GetParams(out), 12);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 12), std::vector<uint8_t>(block, block + 12));
}

struct TurnCase {
    const char* name;
    int32_t rotations, fullImage, inverse;
    int32_t w, h;
    uint32_t e, d;
    std::string rectangle; // the call after the old frame
};

TEST_F(TurnTest, StepCalls) {
    const TurnCase cases[] = {
        // r = 240, angle K/4: the sine is a hair below 1, so yc = trunc(479.99...) = 479.
        {"d/4: centre (320, 479), rectangle at (240, 419)", 1, 0, 0, 640, 480, 250, 1000,
         "new.StretchRect(dest, 240, 419, 160, 120, 480, 360, 160, 120, 0, 0, 0, 4)"},
        {"d/4 with the full image", 1, 1, 0, 640, 480, 250, 1000,
         "new.StretchAll(dest, 240, 419, 160, 120, 0, 0, 0, 4)"},
        {"start: the centre at the right edge's middle", 1, 0, 0, 640, 480, 0, 1000,
         "new.StretchRect(dest, 640, 240, 0, 0, 640, 480, 0, 0, 0, 0, 0, 4)"},
        // The angle is K, whose sine is a tiny negative number and cosine a hair below 1.
        {"inverse at the start: yc 239, xc 639", 1, 0, 1, 640, 480, 0, 1000,
         "new.StretchRect(dest, 639, 239, 0, 0, 640, 480, 0, 0, 0, 0, 0, 4)"},
        // A window onto the bottom-right quarter, not the centre.
        {"half time without the full image", 1, 0, 0, 640, 480, 500, 1000,
         "new.StretchRect(dest, 0, 120, 320, 240, 320, 240, 320, 240, 0, 0, 0, 4)"},
        {"no rotation: a straight line to the middle", 0, 0, 0, 640, 480, 500, 1000,
         "new.StretchRect(dest, 320, 120, 320, 240, 320, 240, 320, 240, 0, 0, 0, 4)"},
        // W x e = 4000 x 1500000 passes 2^32: the rectangle must still be three quarters.
        {"long run on a large frame", 0, 0, 0, 4000, 3000, 1500000, 2000000,
         "new.StretchRect(dest, 1000, 375, 3000, 2250, 1000, 750, 3000, 2250, 0, 0, 0, 4)"},
        {"end: the whole frame in place", 3, 0, 1, 640, 480, 1000, 1000,
         "new.StretchRect(dest, 0, 0, 640, 480, 0, 0, 640, 480, 0, 0, 0, 4)"},
        {"odd width at the end", 2, 1, 0, 641, 481, 1000, 1000, "new.StretchAll(dest, 0, 0, 641, 481, 0, 0, 0, 4)"},
    };
    for (const TurnCase& c : cases) {
        SCOPED_TRACE(c.name);
        t.rotations = c.rotations;
        t.fullImage = c.fullImage;
        t.inverse = c.inverse;
        newFrame.SetSize(c.w, c.h);
        At(c.e, c.d);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, 0, &list), 1);
        EXPECT_CALLS(
            log, {"dest.IsReady()",
                  "old.StretchAll(dest, 0, 0, " + std::to_string(c.w) + ", " + std::to_string(c.h) + ", 0, 0, 0, 4)",
                  c.rectangle});
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234));
    }
}

TEST_F(TurnTest, OldFrameOfAnotherSizeIsScaledToTheNewFrame) {
    oldFrame.SetSize(320, 200);
    At(1000);
    Step();
    EXPECT_EQ(log.lines.at(1), "old.StretchAll(dest, 0, 0, 640, 480, 0, 0, 0, 4)");
}

TEST_F(TurnTest, UnreadyDestinationDrawsNothingButTakesTheSize) {
    newFrame.SetSize(300, 200);
    At(400);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.width, 300u);
    EXPECT_EQ(t.height, 200u);
    EXPECT_EQ(t.GetElapsed(), 400u);
}

TEST_F(TurnTest, ElapsedBeyondTheDurationCopiesTheNewFrame) {
    At(500);
    t.UpdateElapsed();
    ExpectNewFrameWholeBeyondTheRun();
}

struct TurnPixelCase {
    int32_t fullImage;
    int32_t w, h;
};

TEST(TurnPixels, EndOfRunShowsTheNewFrameWhole) {
    const TurnPixelCase cases[] = {{0, 64, 48}, {1, 64, 48}, {0, 65, 49}, {1, 65, 49}};
    for (const TurnPixelCase& c : cases) {
        SCOPED_TRACE("fullImage " + std::to_string(c.fullImage) + " " + std::to_string(c.w));
        TestClock clock{0};
        test::PixelRig rig(c.w, c.h, test::kDestTag);
        auto& [dest, oldFrame, newFrame] = rig;
        TurnTransition turn;
        turn.fullImage = c.fullImage;
        turn.Begin(1000);
        for (uint32_t e : {300u, 1000u}) {
            clock.Set(e);
            turn.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
        }
        EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
    }
}

TEST(TurnPixels, HalfWayTheOldFrameSurroundsTheWindow) {
    // 64 x 48 at d/2 without the full image: the rectangle 32 x 24 at (0, 12) shows the
    // new frame's bottom-right quarter; the old frame is redrawn everywhere else.
    TestClock clock{0};
    test::PixelRig rig(64, 48, test::kDestTag);
    auto& [dest, oldFrame, newFrame] = rig;
    TurnTransition turn;
    turn.Begin(1000);
    clock.Set(500);
    turn.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      if (x < 32 && y >= 12 && y < 36) {
                                          return Tagged(test::kNewTag, x + 32, y + 12);
                                      }
                                      return Tagged(test::kOldTag, x, y);
                                  }),
              "");
}

// The panel, through the automation layer.
class TurnPanel : public test::PanelFixture<TurnTransition> {
protected:
    // The panel opened on a run part-way through, with the given parameters.
    HWND Open(int32_t rotations, int32_t fullImage, int32_t inverse) {
        Running();
        t.rotations = rotations;
        t.fullImage = fullImage;
        t.inverse = inverse;
        return PanelFixture::Open();
    }
};

TEST_F(TurnPanel, InitialState) {
    ASSERT_NE(Open(4, 1, 0), nullptr);
    const auto bar = automation::Control(panel, 1025);
    ASSERT_TRUE(bar.has_value());
    EXPECT_EQ(bar->kind, automation::ControlKind::TrackBar);
    EXPECT_EQ(bar->rangeMin, 1);
    EXPECT_EQ(bar->rangeMax, 7);
    EXPECT_EQ(bar->position, 4);
    EXPECT_EQ(automation::Control(panel, 1026)->text, u"See Full Image");
    EXPECT_EQ(automation::Control(panel, 1027)->text, u"Inverse Rotation");
    EXPECT_TRUE(automation::Control(panel, 1026)->checked);
    EXPECT_FALSE(automation::Control(panel, 1027)->checked);
    EXPECT_FALSE(PreviewAsked());
}

TEST_F(TurnPanel, ClicksAndTrackBarAskForAPreview) {
    ASSERT_NE(Open(4, 1, 0), nullptr);
    Running();
    ASSERT_TRUE(automation::Click(panel, 1027));
    EXPECT_EQ(t.inverse, 1);
    EXPECT_EQ(t.fullImage, 1);
    EXPECT_TRUE(PreviewAsked());

    Running();
    ASSERT_TRUE(automation::Click(panel, 1026));
    EXPECT_EQ(t.fullImage, 0);
    EXPECT_EQ(t.inverse, 1);
    EXPECT_TRUE(PreviewAsked());

    // Any command reads both boxes back.
    t.fullImage = 5;
    t.inverse = 5;
    Running();
    SendMessageW(panel, WM_COMMAND, 1, 0);
    EXPECT_EQ(t.fullImage, 0);
    EXPECT_EQ(t.inverse, 1);
    EXPECT_TRUE(PreviewAsked());

    Running();
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 6));
    EXPECT_EQ(t.rotations, 6);
    EXPECT_TRUE(PreviewAsked());
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 12)); // the control stops at 7
    EXPECT_EQ(t.rotations, 7);
}

TEST_F(TurnPanel, TrackBarPositionsOutsideTheRange) {
    // A scroll takes only 1 to 7 but always asks for a preview; closing takes any
    // position but 0.
    ASSERT_NE(Open(3, 0, 0), nullptr);
    for (int32_t position : {9, 0}) {
        SCOPED_TRACE(position);
        ForceTrackBar(panel, 1025, position);
        Running();
        SendMessageW(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), 0);
        EXPECT_EQ(t.rotations, 3);
        EXPECT_TRUE(PreviewAsked());
    }
    t.CloseSettings(1);
    EXPECT_EQ(t.rotations, 3);
    ASSERT_NE(Open(3, 0, 0), nullptr);
    ForceTrackBar(panel, 1025, 9);
    t.CloseSettings(1);
    EXPECT_EQ(t.rotations, 9);
}

TEST_F(TurnPanel, CloseReadsTheControlsOnlyWithApply) {
    ASSERT_NE(Open(1, 0, 0), nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 5));
    ASSERT_TRUE(automation::Click(panel, 1026));
    t.rotations = 2;
    t.fullImage = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    // A cancel goes back to the fields the panel opened with.
    EXPECT_EQ(t.rotations, 1);
    EXPECT_EQ(t.fullImage, 0);

    ASSERT_NE(Open(1, 0, 0), nullptr);
    ASSERT_TRUE(automation::MoveTrackBar(panel, 1025, 5));
    ASSERT_TRUE(automation::Click(panel, 1026));
    ASSERT_TRUE(automation::Click(panel, 1027));
    t.rotations = 2;
    t.fullImage = 0;
    t.inverse = 0;
    Running();
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    EXPECT_FALSE(PreviewAsked()); // closing asks for no preview
    uint8_t block[12] = {};
    EXPECT_EQ(t.GetParams(block), 12);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 12), (std::vector<uint8_t>{5, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
}

} // namespace
} // namespace wqtrans
