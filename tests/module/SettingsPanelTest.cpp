// Opening and closing settings panels through the shared dialog procedure.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <vector>

#include "module/Registry.h"
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

std::vector<uint8_t> BlockOf(Transition& t) {
    std::vector<uint8_t> block(static_cast<std::size_t>(t.GetParams(nullptr)));
    t.GetParams(block.data());
    return block;
}

// Changes every control of an open panel as a person would: clicks each radio button
// that is not checked and each check box, moves each track bar and up-down control to
// the other end of its range, and types a number into each edit box.
void EditEveryControl(HWND panel) {
    using automation::ControlKind;
    for (const automation::ControlInfo& c : automation::Controls(panel)) {
        switch (c.kind) {
        case ControlKind::RadioButton:
            if (!c.checked) {
                automation::Click(panel, c.id);
            }
            break;
        case ControlKind::CheckBox:
            automation::Click(panel, c.id);
            break;
        case ControlKind::TrackBar:
            automation::MoveTrackBar(panel, c.id, c.position == c.rangeMax ? c.rangeMin : c.rangeMax);
            break;
        case ControlKind::UpDown:
            automation::MoveUpDown(panel, c.id, c.position == c.rangeMax ? c.rangeMin : c.rangeMax);
            break;
        case ControlKind::Edit:
            automation::Type(panel, c.id, u"77");
            break;
        default:
            break;
        }
    }
}

// Panels write their fields as the author clicks; cancelling puts back the block the
// transition had when its panel was last opened, applying keeps the panel's values.
TEST(SettingsPanel, CancelRestoresTheBlockAndApplyKeepsTheEdits) {
    int panels = 0;
    for (const RegistryRow& row : RegistryTable()) {
        if (row.dialogId == 0) {
            continue;
        }
        ++panels;
        SCOPED_TRACE(::testing::Message() << "template " << row.dialogId);
        std::unique_ptr<Transition> t(row.make());
        ASSERT_NE(t, nullptr);
        const std::vector<uint8_t> original = BlockOf(*t);

        HWND panel = t->OpenSettings(nullptr, 0);
        ASSERT_NE(panel, nullptr);
        const bool hasControls = !automation::Controls(panel).empty();
        EditEveryControl(panel);
        const std::vector<uint8_t> edited = BlockOf(*t); // what a preview sees
        EXPECT_EQ(edited != original, hasControls);
        EXPECT_EQ(t->CloseSettings(0), 1);
        EXPECT_EQ(BlockOf(*t), original);

        ASSERT_NE(t->OpenSettings(nullptr, 0), nullptr);
        EditEveryControl(t->Dialog());
        EXPECT_EQ(t->CloseSettings(1), 1);
        const std::vector<uint8_t> applied = BlockOf(*t);
        EXPECT_EQ(applied, edited);

        // The copy is the block of the latest opening, applied edits included; a panel
        // replaced by a new one is no opening to go back to.
        ASSERT_NE(t->OpenSettings(nullptr, 0), nullptr);
        EditEveryControl(t->Dialog());
        ASSERT_NE(t->OpenSettings(nullptr, 0), nullptr);
        const std::vector<uint8_t> reopened = BlockOf(*t);
        EditEveryControl(t->Dialog());
        t->CloseSettings(0);
        EXPECT_EQ(BlockOf(*t), reopened);
        t->CloseSettings(0); // a second cancel has nothing more to restore
        EXPECT_EQ(BlockOf(*t), reopened);
    }
    EXPECT_EQ(panels, 19);
    EXPECT_EQ(automation::LiveWindows(), 0u);
}

} // namespace
} // namespace wqtrans
