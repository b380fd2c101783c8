// Zoom 2: the calls of its steps for both directions and frames, pixels, its block
// and its two-button panel.
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
#include "transitions/Zoom2Transition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

using Zoom2Test = test::StepFixture<Zoom2Transition>;

TEST_F(Zoom2Test, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '1', '1'));
    EXPECT_EQ(t.GetMode(), 11);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(t.GetParams(nullptr), 4);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    const uint8_t block[4] = {7, 0, 0, 0};
    t.SetParams(block, 4);
    EXPECT_EQ(t.zoomIn, 7);
    const uint8_t other[4] = {0, 0, 0, 0};
    t.SetParams(other, 3);
    t.SetParams(nullptr, 4);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{7, 0, 0, 0}));
}

struct Zoom2Case {
    const char* name;
    int32_t w;
    int32_t zoomIn;
    int32_t flags;
    uint32_t e;
    std::string call; // the one call after dest.IsReady()
};

TEST_F(Zoom2Test, StepCalls) {
    const Zoom2Case cases[] = {
        {"t out at d/4", 640, 0, 0, 250, "old.StretchRect(dest, 0, 0, 640, 480, 240, 180, 160, 120, 0, 0, 0, 4)"},
        {"t in at d/4", 640, 1, 0, 250, "old.StretchRect(dest, 0, 0, 640, 480, 80, 60, 480, 360, 0, 0, 0, 4)"},
        {"flags 1 shows the new frame", 640, 0, 1, 250,
         "new.StretchRect(dest, 0, 0, 640, 480, 240, 180, 160, 120, 0, 0, 0, 4)"},
        {"flags 1 t in", 640, 1, 1, 250, "new.StretchRect(dest, 0, 0, 640, 480, 80, 60, 480, 360, 0, 0, 0, 4)"},
        {"bits 1 and 2 change nothing", 640, 0, 6, 250,
         "old.StretchRect(dest, 0, 0, 640, 480, 240, 180, 160, 120, 0, 0, 0, 4)"},
        {"stored 7 zooms in like 1", 640, 7, 0, 250,
         "old.StretchRect(dest, 0, 0, 640, 480, 80, 60, 480, 360, 0, 0, 0, 4)"},
        {"641 wide at the end", 641, 0, 0, 1000, "old.StretchRect(dest, 0, 0, 641, 480, 0, 0, 641, 480, 0, 0, 0, 4)"},
        {"641 wide at half time", 641, 0, 0, 500,
         "old.StretchRect(dest, 0, 0, 641, 480, 160, 120, 320, 240, 0, 0, 0, 4)"},
        {"t out at the start: an empty source", 640, 0, 0, 0,
         "old.StretchRect(dest, 0, 0, 640, 480, 320, 240, 0, 0, 0, 0, 0, 4)"},
        {"t in at the end: an empty source", 640, 1, 0, 1000,
         "old.StretchRect(dest, 0, 0, 640, 480, 320, 240, 0, 0, 0, 0, 0, 4)"},
    };
    for (const Zoom2Case& c : cases) {
        SCOPED_TRACE(c.name);
        t.zoomIn = c.zoomIn;
        oldFrame.SetSize(c.w, 480);
        newFrame.SetSize(c.w, 480);
        At(c.e);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, c.flags, &list), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", c.call});
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234));
    }
}

TEST_F(Zoom2Test, SizeComesFromTheShownFrame) {
    newFrame.SetSize(200, 100);
    At(500);
    t.Step(&dest, &oldFrame, &newFrame, 1, nullptr);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.StretchRect(dest, 0, 0, 200, 100, 50, 25, 100, 50, 0, 0, 0, 4)"});
}

TEST_F(Zoom2Test, UnreadyDestinationAfterTheClockRead) {
    At(300);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.GetElapsed(), 300u);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(Zoom2Test, ElapsedBeyondTheDurationCopiesTheShownFrame) {
    for (int32_t flags : {0, 1}) {
        At(500);
        t.UpdateElapsed();
        t.SetElapsed(static_cast<uint32_t>(-100));
        log.Clear();
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, flags, nullptr), 1);
        EXPECT_CALLS(log, {"dest.IsReady()", flags == 0 ? "old.CopyAll(dest)" : "new.CopyAll(dest)"});
    }
}

TEST_F(Zoom2Test, AThrowingSurfaceMakesTheStepAnswerZero) {
    At(500);
    oldFrame.ThrowAfter(0);
    EXPECT_EQ(Step(), 0);
}

class Zoom2Pixels : public test::PixelFixture<Zoom2Transition> {
protected:
    Zoom2Pixels() : PixelFixture(40, 30, test::kDestTag) { t.Begin(1000); }
};

TEST_F(Zoom2Pixels, ZoomOutEndsOnTheShownFrameUnscaled) {
    StepAt(1000, 1);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }), "");
    StepAt(1000, 0);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kOldTag, x, y); }), "");
}

TEST_F(Zoom2Pixels, EmptySourceKeepsTheDestination) {
    t.zoomIn = 1;
    StepAt(1000, 1);
    EXPECT_EQ(test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kDestTag, x, y); }), "");
}

TEST_F(Zoom2Pixels, HalfWayMagnifiesTheCentreTwice) {
    // 40 x 30 at d/2: the centre 20 x 15 at (10, 8) fills the picture, each source
    // pixel twice in each direction.
    StepAt(500, 1);
    EXPECT_EQ(
        test::FirstBadPixel(dest, [](int32_t x, int32_t y) { return Tagged(test::kNewTag, 10 + x / 2, 8 + y / 2); }),
        "");
}

// The panel, through the automation layer.
class Zoom2Panel : public test::PanelFixture<Zoom2Transition> {
protected:
    // The panel opened on a run part-way through, zooming in or out.
    HWND Open(int32_t zoomIn) {
        Running();
        t.zoomIn = zoomIn;
        return PanelFixture::Open();
    }
};

TEST_F(Zoom2Panel, ButtonsClicksAndClose) {
    HWND panel = Open(1);
    ASSERT_NE(panel, nullptr);
    const auto out = automation::Control(panel, 1007);
    const auto in = automation::Control(panel, 1008);
    ASSERT_TRUE(out.has_value() && in.has_value());
    EXPECT_EQ(out->text, u"Zoom Out");
    EXPECT_EQ(in->text, u"Zoom In");
    EXPECT_FALSE(out->checked);
    EXPECT_TRUE(in->checked);
    EXPECT_FALSE(PreviewAsked());

    ASSERT_TRUE(automation::Click(panel, 1007));
    EXPECT_EQ(t.zoomIn, 0);
    EXPECT_TRUE(PreviewAsked());

    t.Begin(1000);
    ASSERT_TRUE(automation::Click(panel, 1008));
    EXPECT_EQ(t.zoomIn, 1);
    EXPECT_TRUE(PreviewAsked());

    // Other commands ask for nothing.
    t.Begin(1000);
    clock.Set(300);
    t.UpdateElapsed();
    t.zoomIn = 5;
    SendMessageW(panel, WM_COMMAND, 1009, 0);
    EXPECT_EQ(t.zoomIn, 5);
    EXPECT_FALSE(PreviewAsked());

    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    uint8_t block[4] = {};
    t.GetParams(block);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST_F(Zoom2Panel, StoredSevenChecksNoButtonAndClosesAsZoomOut) {
    HWND panel = Open(7);
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(automation::Control(panel, 1007)->checked);
    EXPECT_FALSE(automation::Control(panel, 1008)->checked);
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.zoomIn, 0);
}

TEST_F(Zoom2Panel, CloseWithoutApplyKeepsTheField) {
    HWND panel = Open(0);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(automation::Control(panel, 1007)->checked);
    ASSERT_TRUE(automation::Click(panel, 1008));
    t.zoomIn = 0;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.zoomIn, 0);
    EXPECT_EQ(t.Dialog(), nullptr);
}

} // namespace
} // namespace wqtrans
