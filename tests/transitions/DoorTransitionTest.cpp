// Door: its 16-bit parameter block, the two strips of each step, whole runs on the
// reference surface (with the column no door reaches) and the settings panel.
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
#include "transitions/DoorTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

class DoorTest : public test::StepFixture<DoorTransition> {
protected:
    // The strips take their length from the new frame, their places from the old.
    DoorTest() {
        dest.SetSize(200, 200);
        oldFrame.SetSize(200, 200);
        newFrame.SetSize(180, 120);
    }
    void Start(uint16_t dir, uint32_t d) {
        t.direction = dir;
        BeginRun(d);
    }
};

TEST_F(DoorTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x524F4F44u);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1007);
    EXPECT_EQ(t.DialogId(), 105);
    EXPECT_EQ(t.direction, 0);

    uint8_t out[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(t.GetParams(nullptr), 2);
    t.direction = 0x0102;
    EXPECT_EQ(t.GetParams(out), 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{0x02, 0x01, 0xEE}));

    const uint8_t block[2] = {3, 0};
    t.SetParams(block, 1);
    EXPECT_EQ(t.direction, 0x0102);
    t.SetParams(nullptr, 2);
    EXPECT_EQ(t.direction, 0x0102);
    t.SetParams(block, 2);
    EXPECT_EQ(t.direction, 3);

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<DoorTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->direction, 0);
}

TEST_F(DoorTest, StripsFromTenToTwentyFive) {
    struct Case {
        uint16_t direction;
        std::vector<std::string> calls;
    };
    // Half extent 100 and a 100 ms run: pos is e.
    const Case cases[] = {
        {0,
         {"dest.IsReady()", "new.CopyRect(dest, 75, 0, 75, 0, 15, 120, 0, 0, 0, 2)",
          "new.CopyRect(dest, 110, 0, 110, 0, 15, 120, 0, 0, 0, 2)"}},
        {1,
         {"dest.IsReady()", "new.CopyRect(dest, 10, 0, 10, 0, 15, 120, 0, 0, 0, 2)",
          "new.CopyRect(dest, 175, 0, 175, 0, 15, 120, 0, 0, 0, 2)"}},
        {2,
         {"dest.IsReady()", "new.CopyRect(dest, 0, 75, 0, 75, 180, 15, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 110, 0, 110, 180, 15, 0, 0, 0, 2)"}},
        {3,
         {"dest.IsReady()", "new.CopyRect(dest, 0, 10, 0, 10, 180, 15, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 175, 0, 175, 180, 15, 0, 0, 0, 2)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("direction " + std::to_string(c.direction));
        Start(c.direction, 100);
        EXPECT_EQ(StepAt(10), 1);
        EXPECT_EQ(t.opened, 10u);
        EXPECT_EQ(StepAt(25), 1);
        EXPECT_CALLS(log, c.calls);
        EXPECT_EQ(t.opened, 25u);
        // Not a whole pixel further: nothing.
        EXPECT_EQ(StepAt(25), 1);
        EXPECT_CALLS(log, {"dest.IsReady()"});
    }
}

TEST_F(DoorTest, HalfExtentComesFromTheOldFrameAtTheFirstStep) {
    oldFrame.SetSize(101, 7);
    Start(0, 1000);
    StepAt(0);
    EXPECT_EQ(t.halfExtent, 50);
    oldFrame.SetSize(300, 300); // later steps keep it
    StepAt(500);
    EXPECT_EQ(t.halfExtent, 50);
    EXPECT_EQ(t.opened, 25u);

    oldFrame.SetSize(101, 7);
    Start(3, 1000);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(0), 0); // set-up done all the same
    EXPECT_EQ(t.halfExtent, 3);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(DoorTest, WholeFrameCases) {
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        uint16_t direction;
    };
    const Case cases[] = {
        {"width 1", 1, 200, 0},  {"width 0", 0, 200, 1},       {"height 1", 200, 1, 2},
        {"height 0", 200, 0, 3}, {"direction 4", 200, 200, 4}, {"direction 65535", 200, 200, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        oldFrame.SetSize(c.width, c.height);
        Start(c.direction, 100);
        for (uint32_t e : {0u, 50u, 100u}) {
            EXPECT_EQ(StepAt(e), 1);
            EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
        }
    }
}

TEST_F(DoorTest, ElapsedTimeBeyondTheDurationOpensTheDoorsFully) {
    Start(0, 100);
    StepAt(40);
    t.SetElapsed(static_cast<uint32_t>(-10)); // start 50: elapsed wraps until then
    EXPECT_EQ(StepAt(45), 1);
    EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 60, 120, 0, 0, 0, 2)",
                       "new.CopyRect(dest, 140, 0, 140, 0, 60, 120, 0, 0, 0, 2)"});
    EXPECT_EQ(StepAt(80), 1); // 30 ms in: below what is open, nothing
    EXPECT_CALLS(log, {"dest.IsReady()"});
}

TEST_F(DoorTest, AHostFailureEndsTheStepWithZero) {
    Start(0, 100);
    newFrame.ThrowAfter(0);
    EXPECT_EQ(StepAt(50), 0);
}

// Runs with every frame interval and checks which columns (or rows) show the new frame.
void CheckRun(uint16_t direction, int32_t w, int32_t h, const std::function<bool(int32_t along)>& opened) {
    for (uint32_t frame : test::kFrameIntervals) {
        SCOPED_TRACE("direction " + std::to_string(direction) + " on " + std::to_string(w) + " x " + std::to_string(h) +
                     ", every " + std::to_string(frame) + " ms");
        TestClock clock;
        test::PixelRig rig(w, h);
        DoorTransition door;
        door.direction = direction;
        test::RunUntil(door, rig, clock, 1000, frame, 1000);
        EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                      [&](int32_t x, int32_t y) {
                                          return opened(direction < 2 ? x : y) ? test::NewAt(x, y) : test::OldAt(x, y);
                                      }),
                  "");
    }
}

TEST(DoorPixels, EvenFramesOpenCompletely) {
    for (uint16_t direction = 0; direction < 4; ++direction) {
        CheckRun(direction, 60, 40, [](int32_t) { return true; });
    }
}

TEST(DoorPixels, OddFramesKeepTheColumnNoDoorReaches) {
    // From the centre the doors stop one short of the far edge; from the edges they
    // leave the centre line.
    CheckRun(0, 101, 9, [](int32_t x) { return x != 100; });
    CheckRun(1, 101, 9, [](int32_t x) { return x != 50; });
    CheckRun(2, 9, 101, [](int32_t y) { return y != 100; });
    CheckRun(3, 9, 101, [](int32_t y) { return y != 50; });
}

TEST(DoorPixels, HalfWayOnlyTheOpenedStripsShowTheNewFrame) {
    TestClock clock;
    test::PixelRig rig(80, 10);
    DoorTransition door;
    test::RunUntil(door, rig, clock, 1000, 70, 500); // pos 20 of 40
    EXPECT_EQ(
        test::FirstBadPixel(
            rig.dest, [](int32_t x, int32_t y) { return x >= 20 && x < 60 ? test::NewAt(x, y) : test::OldAt(x, y); }),
        "");
}

using DoorPanelTest = test::PanelFixture<DoorTransition>;

TEST_F(DoorPanelTest, OpensWithTheDirection) {
    const std::u16string texts[] = {
        u"Horizontal, from center to &left && right", u"Horizontal, from left && &right to center",
        u"Vertical, from center to &top && bottom", u"Vertical, from top && &bottom to center"};
    for (uint16_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        t.direction = direction;
        HWND panel = Open();
        for (int32_t id = 1007; id <= 1010; ++id) {
            EXPECT_EQ(Checked(panel, id), id == 1007 + direction) << id;
            EXPECT_EQ(Text(panel, id), texts[id - 1007]);
        }
    }
}

TEST_F(DoorPanelTest, ClicksChangeTheDirectionAndAskForAPreview) {
    HWND panel = Open();
    ExpectClicksSelect(panel, {1009, 1010, 1008, 1007}, 1007, t.direction);
    // A command from another control changes nothing but still asks for a preview.
    ASSERT_TRUE(automation::Click(panel, 1009));
    t.direction = 1;
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1, 0), 0);
    EXPECT_EQ(t.direction, 1);
    EXPECT_TRUE(PreviewAsked());
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_TIMER, 0, 0), 0);
    EXPECT_FALSE(t.FirstStep());
}

TEST_F(DoorPanelTest, CloseReadsTheButtonsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1010));
    t.direction = 1;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.direction, 0); // a cancel goes back to the direction the panel opened with
    EXPECT_EQ(t.Dialog(), nullptr);

    panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1009));
    t.direction = 0;
    EXPECT_EQ(t.CloseSettings(1), 1);
    uint8_t block[2];
    EXPECT_EQ(t.GetParams(block), 2);
    EXPECT_EQ(block[0], 2);
    EXPECT_EQ(block[1], 0);
}
} // namespace
} // namespace wqtrans
