// Back: the new frame laid down whole, then what is left of the old frame for each effect.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "transitions/BackTransition.h"

namespace wqtrans {
namespace {

using test::NewAt;
using test::OldAt;
using test::PixelRig;
using test::RecordingSurface;
using test::TestClock;

using BackTest = test::StepFixture<BackTransition>;

TEST_F(BackTest, IdentityAndParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '1', '0'));
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.DialogId(), 116);
    EXPECT_EQ(t.effect, 0);
    const uint8_t block[] = {7, 0, 0, 0};
    t.SetParams(block, 0);
    EXPECT_EQ(t.effect, 0);
    t.SetParams(block, 4);
    EXPECT_EQ(t.effect, 7);
    uint8_t out[4] = {};
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(out[0], 7);
}

TEST_F(BackTest, QuarterWayForEachEffect) {
    // 640 x 480, d = 1000, e = 250: A = 160, B = 120, a = 80, b = 60 (w = 320, h = 240).
    const std::vector<std::string> cases[] = {
        {"old.StretchRect(dest, 0, 0, 240, 180, 0, 0, 320, 240, 0, 0, 0, 0)",
         "old.StretchRect(dest, 400, 0, 240, 180, 320, 0, 320, 240, 0, 0, 0, 0)",
         "old.StretchRect(dest, 0, 300, 240, 180, 0, 240, 320, 240, 0, 0, 0, 0)",
         "old.StretchRect(dest, 400, 300, 240, 180, 320, 240, 320, 240, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, 0, 0, 160, 120, 480, 360, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, 160, 0, 0, 120, 480, 360, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, 0, 120, 160, 0, 480, 360, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, 160, 120, 0, 0, 480, 360, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, -80, -60, 0, 0, 320, 240, 0, 0, 0, 0)",
         "old.CopyRect(dest, 400, -60, 320, 0, 320, 240, 0, 0, 0, 0)",
         "old.CopyRect(dest, -80, 300, 0, 240, 320, 240, 0, 0, 0, 0)",
         "old.CopyRect(dest, 400, 300, 320, 240, 320, 240, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, 0, -60, 0, 0, 640, 240, 0, 0, 0, 0)",
         "old.CopyRect(dest, 0, 300, 0, 240, 640, 240, 0, 0, 0, 0)"},
        {"old.CopyRect(dest, -80, 0, 0, 0, 320, 480, 0, 0, 0, 0)",
         "old.CopyRect(dest, 400, 0, 320, 0, 320, 480, 0, 0, 0, 0)"},
    };
    for (int32_t effect = 0; effect < 8; ++effect) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        t.effect = effect;
        At(250);
        EXPECT_EQ(Step(), 1);
        std::vector<std::string> expected{"dest.IsReady()", "new.CopyAll(dest)"};
        expected.insert(expected.end(), cases[effect].begin(), cases[effect].end());
        EXPECT_CALLS(log, expected);
    }
}

TEST_F(BackTest, NewFrameAloneForEffectsAboveSevenAndTimeBeyondTheRun) {
    for (int32_t effect : {8, -1}) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        t.effect = effect;
        At(250);
        EXPECT_EQ(Step(), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
    }
    t.effect = 1;
    At(500);
    EXPECT_EQ(Step(), 1);
    ExpectNewFrameWholeBeyondTheRun();
}

TEST_F(BackTest, UnreadyDestinationAndHostFailure) {
    At(400);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.GetElapsed(), 400u);
    dest.SetReady(true);
    oldFrame.ThrowAfter(2);
    log.Clear();
    EXPECT_EQ(Step(), 0); // the third stretch fails
    EXPECT_EQ(log.lines.size(), 5u);
}

using Picture = std::function<uint32_t(int32_t, int32_t)>;

// On 41 x 31 (w = 20, h = 15) at the first step: the old frame stays where it was,
// except the column and row that odd sizes leave to the new frame.
TEST(BackPixels, FirstStepOnOddSizes) {
    struct Case {
        int32_t effect;
        Picture expected;
    };
    const Picture quarters = [](int32_t x, int32_t y) { return (x < 40 && y < 30) ? OldAt(x, y) : NewAt(x, y); };
    const Case cases[] = {
        {0, quarters},
        {1, OldAt},
        {2, OldAt},
        {3, OldAt},
        {4, OldAt},
        {5, quarters},
        {6, [](int32_t x, int32_t y) { return y < 15    ? OldAt(x, y)
                                              : y == 15 ? NewAt(x, y)
                                                        : OldAt(x, y - 1); }},
        {7, [](int32_t x, int32_t y) { return x < 20    ? OldAt(x, y)
                                              : x == 20 ? NewAt(x, y)
                                                        : OldAt(x - 1, y); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("effect " + std::to_string(c.effect));
        TestClock clock;
        PixelRig rig(41, 31);
        BackTransition back;
        back.effect = c.effect;
        test::RunUntil(back, rig, clock, 1000, 1000, 0);
        EXPECT_EQ(test::FirstBadPixel(rig.dest, c.expected), "");
    }
}

// Half-way and at the end on 41 x 31: at e = 500, A = 20, B = 15, a = 10, b = 7.
TEST(BackPixels, HalfWayAndTheEnd) {
    struct Case {
        int32_t effect;
        Picture halfWay;
        Picture end;
    };
    const Picture newFrame = NewAt;
    // Effect 5 at the end: the bottom-right quarter still covers the last pixel.
    const Picture lastPixel = [](int32_t x, int32_t y) { return (x == 40 && y == 30) ? OldAt(20, 15) : NewAt(x, y); };
    const Case cases[] = {
        {1, [](int32_t x, int32_t y) { return (x < 21 && y < 16) ? OldAt(x + 20, y + 15) : NewAt(x, y); }, newFrame},
        {2, [](int32_t x, int32_t y) { return (x >= 20 && y < 16) ? OldAt(x - 20, y + 15) : NewAt(x, y); }, newFrame},
        {3, [](int32_t x, int32_t y) { return (x < 21 && y >= 15) ? OldAt(x + 20, y - 15) : NewAt(x, y); }, newFrame},
        {4, [](int32_t x, int32_t y) { return (x >= 20 && y >= 15) ? OldAt(x - 20, y - 15) : NewAt(x, y); }, newFrame},
        {5,
         [](int32_t x, int32_t y) {
             // Quarters at (-10, -7), (30, -7), (-10, 22), (30, 22), each 20 x 15.
             const int32_t qx = x < 10 ? x + 10 : x >= 30 && x < 50 ? x - 10 : -1;
             const int32_t qy = y < 8 ? y + 7 : y >= 22 && y < 37 ? y - 7 : -1;
             return (qx >= 0 && qy >= 0) ? OldAt(qx, qy) : NewAt(x, y);
         },
         lastPixel},
        {6, [](int32_t x, int32_t y) { return y < 8     ? OldAt(x, y + 7)
                                              : y >= 23 ? OldAt(x, y - 8)
                                                        : NewAt(x, y); },
         newFrame},
        {7, [](int32_t x, int32_t y) { return x < 10    ? OldAt(x + 10, y)
                                              : x >= 31 ? OldAt(x - 11, y)
                                                        : NewAt(x, y); },
         newFrame},
        {0, nullptr, newFrame},
    };
    for (const Case& c : cases) {
        for (uint32_t frame : test::kFrameIntervals) {
            SCOPED_TRACE("effect " + std::to_string(c.effect) + ", a step every " + std::to_string(frame) + " ms");
            TestClock clock;
            PixelRig rig(41, 31);
            BackTransition back;
            back.effect = c.effect;
            test::RunUntil(back, rig, clock, 1000, frame, 500);
            if (c.halfWay) {
                EXPECT_EQ(test::FirstBadPixel(rig.dest, c.halfWay), "");
            }
            clock.Set(1000);
            ASSERT_EQ(back.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
            EXPECT_EQ(test::FirstBadPixel(rig.dest, c.end), "");
        }
    }
}

using BackPanelTest = test::PanelFixture<BackTransition>;
using test::ExpectRadioButtons;

const std::vector<std::u16string> kEffectTexts = {u"Open (Stretch)",
                                                  u"Slide (to Top Left)",
                                                  u"Slide (to Top Right)",
                                                  u"Slide (to Bottom Left)",
                                                  u"Slide (to Bottom Right)",
                                                  u"Open (Scrolling)",
                                                  u"Slide (V)",
                                                  u"Slide (H)"};

TEST_F(BackPanelTest, ButtonsShowTheEffect) {
    for (int32_t effect : {0, 4, 7}) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        t.effect = effect;
        HWND panel = Open();
        ASSERT_NE(panel, nullptr);
        ExpectRadioButtons(panel, 1007, kEffectTexts, effect);
    }
}

TEST_F(BackPanelTest, ClicksChangeTheEffectAndAnyCommandAsksForAPreview) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ExpectClicksSelect(panel, {1014, 1011, 1007, 1012}, 1007, t.effect);
    t.effect = 2; // not what the buttons say
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1015, 0), 0);
    EXPECT_EQ(t.effect, 2);
    EXPECT_TRUE(PreviewAsked());
}

TEST_F(BackPanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1013));
    t.effect = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.effect, 0);

    panel = Open();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1013));
    t.effect = 0;
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_FALSE(IsWindow(panel));
    uint8_t block[4] = {};
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(block[0], 6);
}

} // namespace
} // namespace wqtrans
