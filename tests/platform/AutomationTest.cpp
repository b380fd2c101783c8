// Driving panels as a person would: each action changes the control and sends the
// panel exactly the message the real control sends.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "PanelLog.h"
#include "platform/Automation.h"
#include "platform/Platform.h"

namespace {

namespace automation = wqtrans::automation;
using automation::ControlKind;
using wqtrans::test::Log;
using wqtrans::test::OpenLogged;

class AutomationTest : public ::testing::Test {
protected:
    void SetUp() override { baseline = automation::LiveWindows(); }
    void TearDown() override {
        for (HWND panel : panels) {
            DestroyWindow(panel);
        }
        Log() = {};
        EXPECT_EQ(automation::LiveWindows(), baseline);
    }
    HWND Open(int id) {
        const HWND panel = OpenLogged(id);
        EXPECT_NE(panel, nullptr);
        panels.push_back(panel);
        Log().messages.clear();
        return panel;
    }
    // The one message the last action sent, which must be the only one.
    static wqtrans::test::PanelMessage Only() {
        EXPECT_EQ(Log().messages.size(), 1u);
        auto message = Log().messages.empty() ? wqtrans::test::PanelMessage{} : Log().messages.front();
        Log().messages.clear();
        return message;
    }
    static std::vector<int> Checked(HWND panel, std::initializer_list<int> ids) {
        std::vector<int> checked;
        for (int id : ids) {
            if (IsDlgButtonChecked(panel, id) == BST_CHECKED) {
                checked.push_back(id);
            }
        }
        return checked;
    }
    std::size_t baseline = 0;
    std::vector<HWND> panels;
};

TEST_F(AutomationTest, ClickingARadioButtonChecksItAloneInItsGroupAndTellsThePanel) {
    const HWND scrolling = Open(106);
    CheckRadioButton(scrolling, 1007, 1010, 1007);
    ASSERT_TRUE(automation::Click(scrolling, 1009));
    const auto message = Only();
    EXPECT_EQ(message.window, scrolling);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(message.wParam, MAKEWPARAM(1009, BN_CLICKED));
    EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(GetDlgItem(scrolling, 1009)));
    EXPECT_EQ(Checked(scrolling, {1007, 1008, 1009, 1010}), std::vector<int>{1009});

    // Clicking the checked button again keeps it checked and still tells the panel.
    ASSERT_TRUE(automation::Click(scrolling, 1009));
    EXPECT_EQ(Only().wParam, MAKEWPARAM(1009, BN_CLICKED));
    EXPECT_EQ(Checked(scrolling, {1007, 1008, 1009, 1010}), std::vector<int>{1009});
}

TEST_F(AutomationTest, RadioGroupsFollowTheGroupStyle) {
    // Two groups, split by WS_GROUP: a click in one leaves the other alone.
    const HWND zigzag = Open(103);
    CheckRadioButton(zigzag, 1000, 1001, 1000);
    CheckRadioButton(zigzag, 1100, 1104, 1100);
    ASSERT_TRUE(automation::Click(zigzag, 1103));
    EXPECT_EQ(Checked(zigzag, {1000, 1001, 1100, 1101, 1102, 1103, 1104}), (std::vector<int>{1000, 1103}));
    ASSERT_TRUE(automation::Click(zigzag, 1001));
    EXPECT_EQ(Checked(zigzag, {1000, 1001, 1100, 1101, 1102, 1103, 1104}), (std::vector<int>{1001, 1103}));

    // No WS_GROUP anywhere: the whole panel is one group, whatever the template order.
    const HWND stretch2 = Open(115);
    CheckRadioButton(stretch2, 1007, 1017, 1013);
    Log().messages.clear();
    ASSERT_TRUE(automation::Click(stretch2, 1017));
    EXPECT_EQ(Only().wParam, MAKEWPARAM(1017, BN_CLICKED));
    EXPECT_EQ(Checked(stretch2, {1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017}),
              std::vector<int>{1017});
}

TEST_F(AutomationTest, ClickingACheckBoxToggles) {
    const HWND turn = Open(114);
    for (UINT expected : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
        ASSERT_TRUE(automation::Click(turn, 1027));
        const auto message = Only();
        EXPECT_EQ(message.wParam, MAKEWPARAM(1027, BN_CLICKED));
        EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(GetDlgItem(turn, 1027)));
        EXPECT_EQ(IsDlgButtonChecked(turn, 1027), expected);
        EXPECT_EQ(IsDlgButtonChecked(turn, 1026), static_cast<UINT>(BST_UNCHECKED));
    }
}

TEST_F(AutomationTest, ActionsOnTheWrongControlDoNothing) {
    const HWND bands = Open(102);
    const HWND square = Open(107);
    Log().messages.clear();
    EXPECT_FALSE(automation::Click(bands, -1));             // the group box and the label
    EXPECT_FALSE(automation::Click(bands, 1015));           // an edit box
    EXPECT_FALSE(automation::Click(bands, 4242));           // nothing
    EXPECT_FALSE(automation::MoveTrackBar(bands, 1017, 3)); // an up-down
    EXPECT_FALSE(automation::MoveUpDown(square, 1025, 3));  // a track bar
    EXPECT_FALSE(automation::Type(square, 1026, u"1"));     // a check box
    EXPECT_FALSE(automation::Type(bands, 1017, u"1"));
    // Handles that are not panels: a control, a stale panel, null.
    const HWND control = GetDlgItem(bands, 1007);
    EXPECT_FALSE(automation::Click(control, 1007));
    EXPECT_TRUE(automation::Controls(control).empty());
    EXPECT_TRUE(automation::Controls(nullptr).empty());
    EXPECT_FALSE(automation::Control(bands, 4242).has_value());
    EXPECT_TRUE(Log().messages.empty());
    EXPECT_EQ(IsDlgButtonChecked(bands, 1007), static_cast<UINT>(BST_UNCHECKED));

    const HWND gone = Open(106);
    panels.pop_back();
    DestroyWindow(gone);
    EXPECT_FALSE(automation::Click(gone, 1007));
    EXPECT_TRUE(automation::Controls(gone).empty());
}

TEST_F(AutomationTest, MovingATrackBarClampsThenScrolls) {
    const HWND square = Open(107);
    SendDlgItemMessageW(square, 1025, TBM_SETRANGE, 1, 0x500014); // 20 to 80
    const HWND bar = GetDlgItem(square, 1025);
    const struct {
        int32_t wanted;
        int32_t position;
    } cases[] = {{50, 50}, {95, 80}, {3, 20}, {-1, 20}, {80, 80}};
    for (const auto& c : cases) {
        Log().messages.clear();
        ASSERT_TRUE(automation::MoveTrackBar(square, 1025, c.wanted));
        const auto message = Only();
        EXPECT_EQ(message.message, static_cast<UINT>(WM_HSCROLL));
        EXPECT_EQ(message.wParam, MAKEWPARAM(TB_THUMBPOSITION, c.position)) << c.wanted;
        EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(bar));
        EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), c.position);
        EXPECT_EQ(automation::Control(square, 1025)->position, c.position);
    }
}

TEST_F(AutomationTest, MovingAnUpDownClampsThenScrollsVertically) {
    const HWND bands = Open(102);
    SendDlgItemMessageW(bands, 1017, UDM_SETRANGE, 0, 0x11388); // 1 to 5000
    const HWND upDown = GetDlgItem(bands, 1017);
    const struct {
        int32_t wanted;
        int32_t position;
    } cases[] = {{7, 7}, {0, 1}, {5000, 5000}, {70000, 5000}, {-70000, 1}};
    for (const auto& c : cases) {
        Log().messages.clear();
        ASSERT_TRUE(automation::MoveUpDown(bands, 1017, c.wanted));
        const auto message = Only();
        EXPECT_EQ(message.message, static_cast<UINT>(WM_VSCROLL));
        EXPECT_EQ(message.wParam, MAKEWPARAM(SB_THUMBPOSITION, c.position)) << c.wanted;
        EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(upDown));
        EXPECT_EQ(LOWORD(SendMessageW(upDown, UDM_GETPOS, 0, 0)), c.position);
    }
    const auto info = automation::Control(bands, 1017);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->rangeMin, 1);
    EXPECT_EQ(info->rangeMax, 5000);
}

TEST_F(AutomationTest, TypingReplacesTheTextAndSendsOneChange) {
    const HWND bands = Open(102);
    SetDlgItemInt(bands, 1015, 1, FALSE);
    Log().messages.clear();
    ASSERT_TRUE(automation::Type(bands, 1015, u"250"));
    const auto message = Only();
    EXPECT_EQ(message.message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(message.wParam, MAKEWPARAM(1015, EN_CHANGE));
    EXPECT_EQ(message.lParam, reinterpret_cast<LPARAM>(GetDlgItem(bands, 1015)));
    BOOL translated = FALSE;
    EXPECT_EQ(GetDlgItemInt(bands, 1015, &translated, FALSE), 250u);
    EXPECT_TRUE(translated);
    EXPECT_EQ(automation::Control(bands, 1015)->text, u"250");
}

TEST_F(AutomationTest, ControlsDescribeThePanelInTemplateOrder) {
    const HWND turn = Open(114);
    SendDlgItemMessageW(turn, 1025, TBM_SETRANGE, 1, 0x70001);
    SendDlgItemMessageW(turn, 1025, TBM_SETPOS, 1, 3);
    CheckDlgButton(turn, 1027, BST_CHECKED);
    const auto controls = automation::Controls(turn);
    ASSERT_EQ(controls.size(), 4u);

    EXPECT_EQ(controls[0].id, 1025);
    EXPECT_EQ(controls[0].className, "msctls_trackbar32");
    EXPECT_EQ(controls[0].kind, ControlKind::TrackBar);
    EXPECT_EQ(controls[0].position, 3);
    EXPECT_EQ(controls[0].rangeMin, 1);
    EXPECT_EQ(controls[0].rangeMax, 7);
    EXPECT_EQ(controls[0].x, 76);
    EXPECT_EQ(controls[0].y, 23);
    EXPECT_EQ(controls[0].width, 113);
    EXPECT_EQ(controls[0].height, 16);

    EXPECT_EQ(controls[1].id, -1);
    EXPECT_EQ(controls[1].kind, ControlKind::Label);
    EXPECT_EQ(controls[1].text, u"Number of rotations");

    EXPECT_EQ(controls[2].kind, ControlKind::CheckBox);
    EXPECT_EQ(controls[2].text, u"See Full Image");
    EXPECT_FALSE(controls[2].checked);
    EXPECT_EQ(controls[3].id, 1027);
    EXPECT_TRUE(controls[3].checked);
    EXPECT_EQ(controls[3].window, GetDlgItem(turn, 1027));

    const HWND bands = Open(102);
    const auto kinds = automation::Controls(bands);
    ASSERT_EQ(kinds.size(), 8u);
    const ControlKind expected[] = {ControlKind::Label,       ControlKind::Edit,        ControlKind::UpDown,
                                    ControlKind::GroupBox,    ControlKind::RadioButton, ControlKind::RadioButton,
                                    ControlKind::RadioButton, ControlKind::RadioButton};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(kinds[i].kind, expected[i]) << i;
    }
    EXPECT_EQ(kinds[4].text, u"From &left to right");
}

} // namespace
