// Stretch: the calls of its steps for every placement, the pixels it leaves, its block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "platform/Automation.h"
#include "support/AnchorPanelTests.h"
#include "support/Frames.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/StretchTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::Tagged;
using test::TestClock;

using StretchTest = test::StepFixture<StretchTransition>;

TEST_F(StretchTest, ParameterBlock) {
    EXPECT_EQ(t.GetID(), MakeId('S', 'E', '0', '7'));
    EXPECT_EQ(t.GetMode(), 11);
    uint8_t out[4] = {9, 9, 9, 9};
    EXPECT_EQ(t.GetParams(nullptr), 4);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));

    const uint8_t block[4] = {8, 0, 0, 0};
    t.SetParams(block, 4);
    EXPECT_EQ(t.anchor, 8);
    const uint8_t negative[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    t.SetParams(negative, 3);
    t.SetParams(nullptr, 4);
    EXPECT_EQ(t.anchor, 8);
    t.SetParams(negative, 4);
    EXPECT_EQ(t.anchor, -1);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
}

struct StretchCase {
    const char* name;
    int32_t anchor;
    int32_t w, h;       // new frame
    int32_t oldW, oldH; // old frame
    uint32_t e, d;
    std::vector<std::string> drawn; // the calls after dest.IsReady()
};

TEST_F(StretchTest, StepCalls) {
    // clang-format off
    const StretchCase cases[] = {
        {"Top Left at d/4", 0, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 0, 0, 160, 120, 0, 0, 0, 4)"}},
        {"Top Right at d/4", 1, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 480, 0, 160, 120, 0, 0, 0, 4)"}},
        {"Bottom Left at d/4", 2, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 0, 360, 160, 120, 0, 0, 0, 4)"}},
        {"Bottom Right at d/4", 3, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 480, 360, 160, 120, 0, 0, 0, 4)"}},
        {"Top Middle at d/4", 6, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 0, 0, 640, 120, 0, 0, 0, 4)"}},
        {"Middle Left at d/4", 7, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 0, 0, 160, 480, 0, 0, 0, 4)"}},
        {"Middle Right at d/4", 8, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 480, 0, 160, 480, 0, 0, 0, 4)"}},
        {"Bottom Middle at d/4", 9, 640, 480, 640, 480, 250, 1000, {"new.StretchAll(dest, 0, 360, 640, 120, 0, 0, 0, 4)"}},
        {"Top Left at the start", 0, 640, 480, 640, 480, 0, 1000, {"new.StretchAll(dest, 0, 0, 0, 0, 0, 0, 0, 4)"}},
        {"4 corners at the start: top quarters 5 high", 4, 640, 480, 640, 480, 0, 1000,
         {"new.StretchRect(dest, 0, 0, 0, 5, 0, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 640, 0, 0, 5, 320, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 480, 0, 0, 0, 240, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 640, 480, 0, 0, 320, 240, 320, 240, 0, 0, 0, 4)"}},
        {"Center at the start: top quarters 5 high", 5, 640, 480, 640, 480, 0, 1000,
         {"new.StretchRect(dest, 320, 235, 0, 5, 0, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 235, 0, 5, 320, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 240, 0, 0, 0, 240, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 240, 0, 0, 320, 240, 320, 240, 0, 0, 0, 4)"}},
        {"4 corners early: 2 high at the bottom, still 5 at the top", 4, 640, 480, 640, 480, 10, 1000,
         {"new.StretchRect(dest, 0, 0, 3, 5, 0, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 637, 0, 3, 5, 320, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 478, 3, 2, 0, 240, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 637, 478, 3, 2, 320, 240, 320, 240, 0, 0, 0, 4)"}},
        {"4 corners 101 wide at the end: column 50 never drawn", 4, 101, 80, 101, 80, 1000, 1000,
         {"new.StretchRect(dest, 0, 0, 50, 40, 0, 0, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 51, 0, 50, 40, 50, 0, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 40, 50, 40, 0, 40, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 51, 40, 50, 40, 50, 40, 50, 40, 0, 0, 0, 4)"}},
        {"Center 101 wide at the end: column 100 never drawn", 5, 101, 80, 101, 80, 1000, 1000,
         {"new.StretchRect(dest, 0, 0, 50, 40, 0, 0, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 50, 0, 50, 40, 50, 0, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 40, 50, 40, 0, 40, 50, 40, 0, 0, 0, 4)",
          "new.StretchRect(dest, 50, 40, 50, 40, 50, 40, 50, 40, 0, 0, 0, 4)"}},
        {"4 corners, old frame of another size: only the top-left source follows it", 4, 640, 480, 201, 101, 1000, 1000,
         {"new.StretchRect(dest, 0, 0, 320, 240, 0, 0, 100, 50, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 0, 320, 240, 320, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 0, 240, 320, 240, 0, 240, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 240, 320, 240, 320, 240, 320, 240, 0, 0, 0, 4)"}},
        {"Center, old frame of another size", 5, 640, 480, 201, 101, 500, 1000,
         {"new.StretchRect(dest, 160, 120, 160, 120, 0, 0, 100, 50, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 120, 160, 120, 320, 0, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 160, 240, 160, 120, 0, 240, 320, 240, 0, 0, 0, 4)",
          "new.StretchRect(dest, 320, 240, 160, 120, 320, 240, 320, 240, 0, 0, 0, 4)"}},
        // W x e = 4000 x 1500000 passes 2^32: the rectangle must still be three quarters.
        {"long run on a large frame", 3, 4000, 3000, 4000, 3000, 1500000, 2000000,
         {"new.StretchAll(dest, 1000, 750, 3000, 2250, 0, 0, 0, 4)"}},
        {"anchor 10 draws nothing", 10, 640, 480, 640, 480, 500, 1000, {}},
        {"anchor -1 draws nothing", -1, 640, 480, 640, 480, 500, 1000, {}},
    };
    // clang-format on
    for (const StretchCase& c : cases) {
        SCOPED_TRACE(c.name);
        t.anchor = c.anchor;
        newFrame.SetSize(c.w, c.h);
        oldFrame.SetSize(c.oldW, c.oldH);
        At(c.e, c.d);
        ChangedRect* list = reinterpret_cast<ChangedRect*>(0x1234);
        EXPECT_EQ(t.Step(&dest, &oldFrame, &newFrame, 0, &list), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.drawn.begin(), c.drawn.end());
        EXPECT_CALLS(log, expected);
        EXPECT_EQ(list, reinterpret_cast<ChangedRect*>(0x1234));
    }
}

TEST_F(StretchTest, UnreadyDestinationDrawsNothingButTakesTheSize) {
    newFrame.SetSize(300, 200);
    At(400);
    dest.SetReady(false);
    EXPECT_EQ(Step(), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(t.width, 300u);
    EXPECT_EQ(t.height, 200u);
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.GetElapsed(), 400u);
}

TEST_F(StretchTest, ElapsedBeyondTheDurationCopiesTheNewFrame) {
    At(500);
    t.UpdateElapsed();
    ExpectNewFrameWholeBeyondTheRun();
}

// Pixels on the reference surface; the destination holds the old frame before the run.
struct StretchPixelCase {
    int32_t anchor;
    int32_t w, h;
    // What the destination shows at (x, y) at the end.
    uint32_t (*expected)(int32_t x, int32_t y);
};

uint32_t AllNew(int32_t x, int32_t y) { return Tagged(test::kNewTag, x, y); }

// "4 corners" on 101 x 81: column 50 and row 40 keep the old frame; the right and
// bottom quarters show the new frame one pixel further on.
uint32_t FourCorners101x81(int32_t x, int32_t y) {
    if (x == 50 || y == 40) {
        return Tagged(test::kOldTag, x, y);
    }
    return Tagged(test::kNewTag, x > 50 ? x - 1 : x, y > 40 ? y - 1 : y);
}

// "Center" on 101 x 81: column 100 and row 80 keep the old frame.
uint32_t Center101x81(int32_t x, int32_t y) {
    return Tagged(x == 100 || y == 80 ? test::kOldTag : test::kNewTag, x, y);
}

TEST(StretchPixels, EndOfRun) {
    const StretchPixelCase cases[] = {
        {0, 33, 21, AllNew},        {1, 33, 21, AllNew}, {2, 33, 21, AllNew},
        {3, 33, 21, AllNew},        {6, 33, 21, AllNew}, {7, 33, 21, AllNew},
        {8, 33, 21, AllNew},        {9, 33, 21, AllNew}, {4, 101, 81, FourCorners101x81},
        {5, 101, 81, Center101x81},
    };
    for (const StretchPixelCase& c : cases) {
        SCOPED_TRACE("anchor " + std::to_string(c.anchor));
        TestClock clock{0};
        test::PixelRig rig(c.w, c.h);
        auto& [dest, oldFrame, newFrame] = rig;
        StretchTransition stretch;
        stretch.anchor = c.anchor;
        stretch.Begin(1000);
        for (uint32_t e : {100u, 600u, 1000u}) {
            clock.Set(e);
            EXPECT_EQ(stretch.Step(&dest, &oldFrame, &newFrame, 0, nullptr), 1);
        }
        EXPECT_EQ(test::FirstBadPixel(dest, c.expected), "");
    }
}

TEST(StretchPixels, BeforeTheEndTheUncoveredPartKeepsTheOldFrame) {
    // "Top Right" on 40 x 20 at d/4: the new frame squeezed into 10 x 5 at (30, 0).
    TestClock clock{0};
    SoftwareSurface dest(40, 20), oldFrame(40, 20), newFrame(40, 20);
    test::TagFrame(dest, test::kOldTag);
    test::TagFrame(newFrame, test::kNewTag);
    StretchTransition stretch;
    stretch.anchor = 1;
    stretch.Begin(1000);
    clock.Set(250);
    stretch.Step(&dest, &oldFrame, &newFrame, 0, nullptr);
    EXPECT_EQ(test::FirstBadPixel(dest,
                                  [](int32_t x, int32_t y) {
                                      if (x >= 30 && y < 5) {
                                          // each pixel samples the middle of its 4 x 4 block
                                          return Tagged(test::kNewTag, (x - 30) * 4 + 2, y * 4 + 2);
                                      }
                                      return Tagged(test::kOldTag, x, y);
                                  }),
              "");
}

// The panel, through the automation layer.
struct StretchAnchors {
    using Type = StretchTransition;
    static constexpr int32_t kLastButton = 1016;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Stretch, AnchorPanel, StretchAnchors);

using StretchPanel = AnchorPanel<StretchAnchors>;

TEST_F(StretchPanel, ButtonsStandWhereTheirPlacementLies) {
    HWND panel = Open(0);
    ASSERT_NE(panel, nullptr);
    ExpectButtonsStand(panel,
                       {{1007, u"Top Left", 0, 0},
                        {1008, u"Top Right", 2, 0},
                        {1009, u"Bottom Left", 0, 2},
                        {1010, u"Bottom Right", 2, 2},
                        {1011, u"4 corners", 1, 1},
                        {1012, u"Center", 1, 1},
                        {1013, u"Top Middle", 1, 0},
                        {1014, u"Middle Left", 0, 1},
                        {1015, u"Middle Right", 2, 1},
                        {1016, u"Bottom Middle", 1, 2}},
                       60);
}

} // namespace
} // namespace wqtrans
