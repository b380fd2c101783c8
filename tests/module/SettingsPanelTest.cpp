// Opening and closing settings panels through the shared dialog procedure.
#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "module/Transition.h"
#include "platform/Automation.h"

namespace wqtrans {
namespace {

std::vector<UINT> baseMessages; // messages that reached a destroyed probe's base handler

// Records the messages that reach its own handler.
class PanelProbe : public Transition {
public:
    explicit PanelProbe(int32_t templateId) { dialogId = templateId; }
    Transition* Clone() override { return new (std::nothrow) PanelProbe(dialogId); }
    uint32_t GetID() override { return MakeId('P', 'A', 'N', 'L'); }
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return Transition::OnSettingsMessage(window, message, wParam, lParam);
    }
    std::vector<UINT> messages;
};

TEST(SettingsPanel, TransitionsWithoutATemplateHaveNoPanel) {
    PanelProbe probe(0);
    EXPECT_EQ(probe.OpenSettings(nullptr, 0), nullptr);
    EXPECT_EQ(probe.Dialog(), nullptr);
    EXPECT_EQ(probe.CloseSettings(1), 1);
}

TEST(SettingsPanel, UnknownTemplateGivesNull) {
    PanelProbe probe(999);
    EXPECT_EQ(probe.OpenSettings(nullptr, 0), nullptr);
    EXPECT_EQ(probe.Dialog(), nullptr);
}

TEST(SettingsPanel, OpensWithInitDialogAndClosesWithDestroy) {
    PanelProbe probe(106);
    HWND panel = probe.OpenSettings(nullptr, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(probe.Dialog(), panel);
    EXPECT_TRUE(IsWindow(panel));
    ASSERT_FALSE(probe.messages.empty());
    EXPECT_EQ(probe.messages.front(), static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(reinterpret_cast<Transition*>(GetWindowLongW(panel, DWL_USER)), &probe);
    probe.messages.clear();
    EXPECT_EQ(probe.CloseSettings(1), 1);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(probe.Dialog(), nullptr);
    EXPECT_EQ(probe.messages, std::vector<UINT>{WM_DESTROY});
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

TEST(SettingsPanel, OnlyTheListedMessagesAreForwarded) {
    PanelProbe probe(106);
    HWND panel = probe.OpenSettings(nullptr, 0);
    ASSERT_NE(panel, nullptr);
    const UINT forwarded[] = {WM_PAINT,   WM_KEYDOWN, WM_KEYUP,       WM_COMMAND,   WM_TIMER,
                              WM_HSCROLL, WM_VSCROLL, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_INITDIALOG};
    const UINT dropped[] = {WM_SETFONT, WM_CREATE, WM_SETTEXT, WM_NCDESTROY, WM_USER, 0x0201 + 1000};
    for (UINT message : forwarded) {
        probe.messages.clear();
        // A panel's own rules may answer WM_INITDIALOG again; the probe's just records it.
        if (message == WM_INITDIALOG) {
            SendMessageW(panel, message, 0, reinterpret_cast<LPARAM>(&probe));
        } else {
            SendMessageW(panel, message, 0, 0);
        }
        EXPECT_EQ(probe.messages, std::vector<UINT>{message}) << "message " << message;
    }
    for (UINT message : dropped) {
        probe.messages.clear();
        SendMessageW(panel, message, 0, 0);
        EXPECT_TRUE(probe.messages.empty()) << "message " << message;
    }
    probe.CloseSettings(0);
}

TEST(SettingsPanel, OpeningAgainReplacesThePanel) {
    PanelProbe probe(106);
    HWND first = probe.OpenSettings(nullptr, 0);
    probe.messages.clear();
    HWND second = probe.OpenSettings(nullptr, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindow(second));
    ASSERT_GE(probe.messages.size(), 2u);
    EXPECT_EQ(probe.messages[0], static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(probe.messages[1], static_cast<UINT>(WM_INITDIALOG));
    probe.CloseSettings(0);
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

TEST(SettingsPanel, AStaleHandleIsOnlyCleared) {
    PanelProbe probe(106);
    HWND panel = probe.OpenSettings(nullptr, 0);
    ASSERT_NE(panel, nullptr);
    DestroyWindow(panel); // the host destroyed it behind the transition's back
    probe.messages.clear();
    EXPECT_EQ(probe.CloseSettings(1), 1);
    EXPECT_TRUE(probe.messages.empty());
    EXPECT_EQ(probe.Dialog(), nullptr);
}

TEST(SettingsPanel, DestructionClosesThePanel) {
    HWND panel = nullptr;
    {
        PanelProbe probe(106);
        panel = probe.OpenSettings(nullptr, 0);
        ASSERT_NE(panel, nullptr);
    }
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

TEST(SettingsPanel, EveryTemplateOpensAsAChildWithoutCaption) {
    for (int32_t id = 102; id <= 120; ++id) {
        SCOPED_TRACE(id);
        PanelProbe probe(id);
        HWND panel = probe.OpenSettings(nullptr, 0);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(probe.messages.front(), static_cast<UINT>(WM_INITDIALOG));
        probe.CloseSettings(0);
    }
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

} // namespace
} // namespace wqtrans
