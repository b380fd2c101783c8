// A transition of class T whose settings panel a test drives as a person would,
// through the automation layer; every window must be gone at the end.
//
// A preview request (Finish) shows as a pending set-up with the clock at the end of
// the run: Running() puts the transition part-way through a run first.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/RecordingSurface.h"
#include "support/TestClock.h"

namespace wqtrans::test {

template <typename T> class PanelFixture : public ::testing::Test {
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
        if (stepReadsClock) {
            ASSERT_EQ(t.GetElapsed(), 300u);
        }
    }
    // Finish was called: the next step redoes its set-up, the clock stands at the end.
    bool PreviewAsked() { return t.FirstStep() && t.GetElapsed() == 1000u; }
    // Opens the panel; it is kept in `panel`.
    HWND Open() {
        panel = t.OpenSettings(nullptr, 0);
        EXPECT_NE(panel, nullptr);
        return panel;
    }

    // Clicks the buttons `ids` in turn, each on a running transition: every click must
    // leave `value` at the button's offset from `first` and ask for a preview.
    template <typename V>
    void ExpectClicksSelect(HWND panel, std::initializer_list<int32_t> ids, int32_t first, const V& value) {
        for (int32_t id : ids) {
            SCOPED_TRACE("click " + std::to_string(id));
            Running();
            ASSERT_TRUE(automation::Click(panel, id));
            EXPECT_EQ(value, id - first);
            EXPECT_TRUE(PreviewAsked());
        }
    }

    static bool Checked(HWND panel, int32_t id) {
        const auto control = automation::Control(panel, id);
        return control.has_value() && control->checked;
    }
    static int32_t Position(HWND panel, int32_t id) { return automation::Control(panel, id).value().position; }
    static std::u16string Text(HWND panel, int32_t id) { return automation::Control(panel, id).value().text; }
    // The ids of the checked radio buttons, in the panel's order.
    static std::vector<int32_t> CheckedButtons(HWND panel) {
        std::vector<int32_t> ids;
        for (const automation::ControlInfo& control : automation::Controls(panel)) {
            if (control.kind == automation::ControlKind::RadioButton && control.checked) {
                ids.push_back(control.id);
            }
        }
        return ids;
    }
    // The track bar's range opened wider, so that positions the panel must refuse
    // can be reported.
    static void WidenTrackBar(HWND panel, int32_t id, int32_t low, int32_t high) {
        SendDlgItemMessageW(panel, id, TBM_SETRANGE, 1, MAKELONG(low, high));
    }
    // Puts the track bar at `position`, beyond the panel's own range if need be.
    static void ForceTrackBar(HWND panel, int32_t id, int32_t position) {
        WidenTrackBar(panel, id, 0, 100);
        SendDlgItemMessageW(panel, id, TBM_SETPOS, 1, position);
    }

    TestClock clock{0};
    CallLog log;
    RecordingSurface surface{"dest", log, 64, 48};
    T t;
    HWND panel = nullptr;
    // Whether Running()'s step reads the clock (a step that only copies the new frame
    // does not).
    bool stepReadsClock = true;
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
