// A settings panel driven as a person would, for the transition panel tests: a run is
// part-way through before each action, so that a preview request (Finish) shows as a
// pending set-up with the clock at the end of the run.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/Automation.h"
#include "support/RecordingSurface.h"
#include "support/TestClock.h"

namespace wqtrans::test {

template <typename T> class PanelDriver : public ::testing::Test {
protected:
    void TearDown() override {
        t.CloseSettings(0);
        EXPECT_EQ(automation::LiveWindows(), 0u);
    }
    void Running() {
        clock.Set(0);
        t.Begin(1000);
        clock.Set(300);
        ASSERT_EQ(t.Step(&surface, &surface, &surface, 0, nullptr), 1);
        ASSERT_FALSE(t.FirstStep());
    }
    bool PreviewAsked() { return t.FirstStep() && t.GetElapsed() == 1000u; }
    HWND Open() {
        HWND panel = t.OpenSettings(nullptr, 0);
        EXPECT_NE(panel, nullptr);
        return panel;
    }
    static bool Checked(HWND panel, int32_t id) {
        const auto control = automation::Control(panel, id);
        return control.has_value() && control->checked;
    }
    static int32_t Position(HWND panel, int32_t id) { return automation::Control(panel, id).value().position; }
    static std::u16string Text(HWND panel, int32_t id) { return automation::Control(panel, id).value().text; }
    // The track bar's range opened wider, so that positions the panel must refuse
    // can be reported.
    static void WidenTrackBar(HWND panel, int32_t id, int32_t low, int32_t high) {
        SendDlgItemMessageW(panel, id, TBM_SETRANGE, 1, MAKELONG(low, high));
    }

    TestClock clock{0};
    CallLog log;
    RecordingSurface surface{"dest", log, 64, 48};
    T t;
};

} // namespace wqtrans::test
