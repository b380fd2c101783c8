// Whole runs on the reference surface for the sliding and scrolling transition tests.
//
// PanelTest<T> opens T's panel in tests that drive it through the automation layer.
//
// A rig holds three tagged frames of one size: the destination starts out holding the
// old frame (tag kOldTag), as it does when a host begins a transition, and the
// expected pictures are written with Tagged(kOldTag / kNewTag, x, y).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "module/Transition.h"
#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/RecordingSurface.h"
#include "support/TestClock.h"

namespace wqtrans::test {

struct PixelRig {
    PixelRig(int32_t width, int32_t height) : dest(width, height), oldFrame(width, height), newFrame(width, height) {
        TagFrame(dest, kOldTag);
        TagFrame(oldFrame, kOldTag);
        TagFrame(newFrame, kNewTag);
    }
    SoftwareSurface dest;
    SoftwareSurface oldFrame;
    SoftwareSurface newFrame;
};

constexpr uint32_t OldAt(int32_t x, int32_t y) { return Tagged(kOldTag, x, y); }
constexpr uint32_t NewAt(int32_t x, int32_t y) { return Tagged(kNewTag, x, y); }

// Begins a run of `d` ms at timer 0, then steps at 0, frame, 2 frame, ... below
// `until` and once more at `until` (the whole run when `until` is d). Every step must
// report that it drew.
inline void RunUntil(Transition& transition, PixelRig& rig, TestClock& clock, uint32_t d, uint32_t frame,
                     uint32_t until) {
    clock.Set(0);
    transition.Begin(d);
    for (uint32_t t = 0; t < until; t += frame) {
        clock.Set(t);
        ASSERT_EQ(transition.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1) << "at " << t << " ms";
    }
    clock.Set(until);
    ASSERT_EQ(transition.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1) << "at " << until << " ms";
}

// Frame intervals of a 1000 ms run: every millisecond, a fast and a slow display, and
// a single step at the end.
inline constexpr uint32_t kFrameIntervals[] = {1, 16, 40, 333, 1000};

// A transition of class T whose panel the test opens; every window is gone at the end.
template <typename T> class PanelTest : public ::testing::Test {
protected:
    void TearDown() override {
        t.CloseSettings(0);
        EXPECT_EQ(automation::LiveWindows(), 0u);
    }
    // A run part-way through, its set-up done, so that a preview request shows.
    void Running() {
        clock.Set(0);
        t.Begin(1000);
        clock.Set(300);
        ASSERT_EQ(t.Step(&surface, &surface, &surface, 0, nullptr), 1);
        ASSERT_FALSE(t.FirstStep());
        ASSERT_EQ(t.GetElapsed(), 300u);
    }
    // Finish was called: the next step redoes its set-up, the clock stands at the end.
    bool PreviewAsked() { return t.FirstStep() && t.GetElapsed() == 1000u; }

    TestClock clock{0};
    CallLog log;
    RecordingSurface surface{"dest", log, 64, 48};
    T t;
};

// Checks the panel's radio buttons: ids from `first`, the texts in order, and which
// one is checked.
inline void ExpectRadioButtons(HWND panel, int32_t first, const std::vector<std::u16string>& texts, int32_t checked) {
    std::vector<automation::ControlInfo> buttons;
    for (const auto& control : automation::Controls(panel)) {
        if (control.kind == automation::ControlKind::RadioButton) {
            buttons.push_back(control);
        }
    }
    ASSERT_EQ(buttons.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(buttons[i].id, first + static_cast<int32_t>(i));
        EXPECT_EQ(buttons[i].text, texts[i]);
        EXPECT_EQ(buttons[i].checked, static_cast<int32_t>(i) == checked) << "button " << buttons[i].id;
    }
}

} // namespace wqtrans::test
