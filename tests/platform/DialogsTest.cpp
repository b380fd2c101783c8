// The headless dialog manager: panels from every template, the dialog procedure and
// its slots, the controls' own behaviour, and destruction.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "PanelLog.h"
#include "module/Transition.h"
#include "platform/Automation.h"
#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

using wqtrans::automation::LiveWindows;
using wqtrans::test::Log;
using wqtrans::test::OpenLogged;

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        baseline = LiveWindows();
        Log() = {};
    }
    void TearDown() override {
        Log() = {};
        EXPECT_EQ(LiveWindows(), baseline) << "windows left behind";
    }
    std::size_t baseline = 0;
};

std::u16string TextOf(HWND dialog, int id) {
    char16_t buffer[256];
    GetDlgItemTextW(dialog, id, reinterpret_cast<LPWSTR>(buffer), 256);
    return buffer;
}

TEST_F(DialogsTest, EveryTemplateOpensWithItsControlsAndClosesCleanly) {
    // Control counts of each panel (their ids and texts are checked with the templates).
    const struct {
        int id;
        std::size_t controls;
    } panels[] = {{102, 8}, {103, 11}, {104, 2}, {105, 5},  {106, 5}, {107, 3}, {108, 9}, {109, 5}, {110, 4}, {111, 0},
                  {112, 4}, {113, 10}, {114, 4}, {115, 11}, {116, 8}, {117, 2}, {118, 4}, {119, 3}, {120, 3}};
    const HWND host = reinterpret_cast<HWND>(uintptr_t{0x7700}); // a window of the host, unknown here
    for (const auto& panel : panels) {
        SCOPED_TRACE("template " + std::to_string(panel.id));
        const HWND dialog = OpenLogged(panel.id, host, 0x5150 + panel.id);
        ASSERT_NE(dialog, nullptr);
        ASSERT_FALSE(Log().messages.empty());
        EXPECT_EQ(Log().messages.front().message, static_cast<UINT>(WM_INITDIALOG));
        EXPECT_EQ(Log().messages.front().window, dialog);
        EXPECT_EQ(Log().messages.front().lParam, 0x5150 + panel.id);
        EXPECT_TRUE(IsWindow(dialog));
        EXPECT_EQ(GetParent(dialog), host);
        EXPECT_EQ(LiveWindows(), baseline + 1 + panel.controls);
        EXPECT_EQ(wqtrans::automation::Controls(dialog).size(), panel.controls);
        std::vector<HWND> controls;
        for (const auto& item : wqtrans::resources::FindDialog(panel.id)->controls) {
            const int id = item.id;
            const HWND control = GetDlgItem(dialog, id);
            ASSERT_NE(control, nullptr) << id;
            if (id != -1) {
                EXPECT_EQ(GetDlgCtrlID(control), id);
            }
            EXPECT_EQ(GetParent(control), dialog);
            controls.push_back(control);
        }
        EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);

        Log().messages.clear();
        EXPECT_TRUE(DestroyWindow(dialog));
        EXPECT_EQ(Log().Of(WM_DESTROY).size(), 1u);
        EXPECT_FALSE(IsWindow(dialog));
        for (HWND control : controls) {
            EXPECT_FALSE(IsWindow(control));
        }
        EXPECT_EQ(LiveWindows(), baseline);
        EXPECT_FALSE(DestroyWindow(dialog)); // a second time: no longer a window
    }
}

TEST_F(DialogsTest, UnknownTemplatesMakeNoPanel) {
    for (int id : {0, 101, 121, 1000}) {
        EXPECT_EQ(OpenLogged(id), nullptr) << id;
        EXPECT_TRUE(Log().messages.empty());
    }
    EXPECT_EQ(
        CreateDialogParamW(nullptr, reinterpret_cast<LPCWSTR>(u"DIALOG"), nullptr, &wqtrans::test::LoggingProc, 0),
        nullptr);
    EXPECT_EQ(LiveWindows(), baseline);
}

TEST_F(DialogsTest, FocusOfInitDialogIsTheFirstTabStop) {
    const HWND bands = OpenLogged(102);
    ASSERT_NE(bands, nullptr);
    EXPECT_EQ(reinterpret_cast<HWND>(Log().messages.front().wParam), GetDlgItem(bands, 1015));
    DestroyWindow(bands);
}

// A transition of its own that writes down what reaches its panel handler.
class PanelProbe : public wqtrans::Transition {
public:
    explicit PanelProbe(int32_t templateId) { dialogId = templateId; }
    Transition* Clone() override { return new PanelProbe(dialogId); }
    uint32_t GetID() override { return 0x45424F50; }
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back({window, message, wParam, lParam});
        return Transition::OnSettingsMessage(window, message, wParam, lParam);
    }
    std::vector<wqtrans::test::PanelMessage> seen;
};

TEST_F(DialogsTest, TransitionPanelsOpenAndCloseThroughTheDialogManager) {
    PanelProbe probe(118);
    const HWND host = reinterpret_cast<HWND>(uintptr_t{0x7700});
    const HWND panel = probe.OpenSettings(host, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(probe.Dialog(), panel);
    ASSERT_EQ(probe.seen.size(), 1u);
    EXPECT_EQ(probe.seen[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(probe.seen[0].lParam, reinterpret_cast<LPARAM>(&probe));
    EXPECT_EQ(GetWindowLongW(panel, DWL_USER), reinterpret_cast<LONG>(&probe));
    EXPECT_EQ(GetWindowLongW(panel, DWL_DLGPROC), reinterpret_cast<LONG>(&wqtrans::Transition::SettingsDialogProc));

    // Opening again replaces the panel; the old one is told it goes.
    const HWND second = probe.OpenSettings(host, 0);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, panel);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(LiveWindows(), baseline + 1 + 4);

    probe.seen.clear();
    EXPECT_EQ(probe.CloseSettings(1), 1);
    ASSERT_EQ(probe.seen.size(), 1u);
    EXPECT_EQ(probe.seen[0].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(probe.Dialog(), nullptr);

    // A panel still open when its transition goes is destroyed with it.
    auto* owner = new PanelProbe(114);
    ASSERT_NE(owner->OpenSettings(host, 0), nullptr);
    delete owner;
}

TEST_F(DialogsTest, TrackBarsClampLikeTheRealControl) {
    const HWND square = OpenLogged(107);
    ASSERT_NE(square, nullptr);
    auto pos = [&] { return SendDlgItemMessageW(square, 1025, TBM_GETPOS, 0, 0); };
    auto set = [&](LPARAM p) { SendDlgItemMessageW(square, 1025, TBM_SETPOS, TRUE, p); };

    // A new track bar: range 0 to 100, position 0.
    EXPECT_EQ(pos(), 0);
    EXPECT_EQ(SendDlgItemMessageW(square, 1025, TBM_GETRANGEMAX, 0, 0), 100);
    set(150);
    EXPECT_EQ(pos(), 100);

    SendDlgItemMessageW(square, 1025, TBM_SETRANGE, TRUE, MAKELPARAM(20, 80));
    EXPECT_EQ(pos(), 80); // the thumb moves into the new range
    const struct {
        LPARAM wanted;
        LRESULT got;
    } cases[] = {{50, 50}, {20, 20}, {19, 20}, {0, 20}, {-3, 20}, {80, 80}, {81, 80}, {100000, 80}};
    for (const auto& c : cases) {
        set(c.wanted);
        EXPECT_EQ(pos(), c.got) << c.wanted;
    }
    // Low word minimum, high word maximum, each a signed 16-bit value.
    SendDlgItemMessageW(square, 1025, TBM_SETRANGE, TRUE, MAKELPARAM(-10, 10));
    EXPECT_EQ(SendDlgItemMessageW(square, 1025, TBM_GETRANGEMIN, 0, 0), -10);
    set(-50);
    EXPECT_EQ(pos(), -10);
    DestroyWindow(square);
}

TEST_F(DialogsTest, UpDownsKeepTheirRangeTheRealWay) {
    const HWND bands = OpenLogged(102);
    ASSERT_NE(bands, nullptr);
    auto setPos = [&](int p) { return SendDlgItemMessageW(bands, 1017, UDM_SETPOS, 0, MAKELPARAM(p, 0)); };
    auto getPos = [&] { return SendDlgItemMessageW(bands, 1017, UDM_GETPOS, 0, 0); };

    // A new up-down: minimum 100, maximum 0.
    EXPECT_EQ(SendDlgItemMessageW(bands, 1017, UDM_GETRANGE, 0, 0), MAKELONG(0, 100));
    setPos(150);
    EXPECT_EQ(LOWORD(getPos()), 100);

    // Low word the maximum, high word the minimum: 1 to 5000.
    SendDlgItemMessageW(bands, 1017, UDM_SETRANGE, 0, 0x11388);
    EXPECT_EQ(SendDlgItemMessageW(bands, 1017, UDM_GETRANGE, 0, 0), 0x11388);
    EXPECT_EQ(LOWORD(getPos()), 100); // a new range leaves the position alone
    const struct {
        int wanted;
        int got;
    } cases[] = {{12, 12}, {1, 1}, {0, 1}, {5000, 5000}, {5001, 5000}, {-7, 1}};
    int previous = 100;
    for (const auto& c : cases) {
        EXPECT_EQ(setPos(c.wanted), previous) << c.wanted; // answers the old position
        const LRESULT got = getPos();
        EXPECT_EQ(LOWORD(got), c.got) << c.wanted;
        // No buddy window: the real control flags an error in the high word.
        EXPECT_NE(HIWORD(got), 0) << c.wanted;
        previous = c.got;
    }
    DestroyWindow(bands);
}

TEST_F(DialogsTest, GetDlgItemIntReadsTheLeadingNumber) {
    const HWND bands = OpenLogged(102);
    ASSERT_NE(bands, nullptr);
    const struct {
        const char* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    } cases[] = {
#define WQ_READ(text, isSigned, value, translated, wine) {text, isSigned, value, translated},
#include "tests/windows/NumberTexts.inc"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << '"' << c.text << "\" signed " << c.isSigned);
        const std::u16string text(c.text, c.text + std::strlen(c.text));
        SetDlgItemTextW(bands, 1015, reinterpret_cast<LPCWSTR>(text.c_str()));
        BOOL translated = 2;
        EXPECT_EQ(GetDlgItemInt(bands, 1015, &translated, c.isSigned), c.value);
        EXPECT_EQ(translated, c.translated);
        EXPECT_EQ(GetDlgItemInt(bands, 1015, nullptr, c.isSigned), c.value); // no flag wanted
    }
    BOOL translated = TRUE;
    EXPECT_EQ(GetDlgItemInt(bands, 999, &translated, FALSE), 0u);
    EXPECT_FALSE(translated);

    // Written back as signed or unsigned decimal.
    EXPECT_TRUE(SetDlgItemInt(bands, 1015, static_cast<UINT>(-5), TRUE));
    EXPECT_EQ(TextOf(bands, 1015), u"-5");
    SetDlgItemInt(bands, 1015, static_cast<UINT>(-5), FALSE);
    EXPECT_EQ(TextOf(bands, 1015), u"4294967291");
    SetDlgItemInt(bands, 1015, 0x80000000u, TRUE);
    EXPECT_EQ(TextOf(bands, 1015), u"-2147483648");
    EXPECT_FALSE(SetDlgItemInt(bands, 999, 1, FALSE));
    DestroyWindow(bands);
}

TEST_F(DialogsTest, EditBoxesTellThePanelOfNewTextLabelsDoNot) {
    const HWND bands = OpenLogged(102);
    ASSERT_NE(bands, nullptr);
    Log().messages.clear();
    SetDlgItemInt(bands, 1015, 12, FALSE);
    ASSERT_EQ(Log().messages.size(), 1u);
    EXPECT_EQ(Log().messages[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(Log().messages[0].wParam, MAKEWPARAM(1015, EN_CHANGE));
    EXPECT_EQ(Log().messages[0].lParam, reinterpret_cast<LPARAM>(GetDlgItem(bands, 1015)));
    DestroyWindow(bands);

    const HWND mosaic = OpenLogged(104);
    ASSERT_NE(mosaic, nullptr);
    Log().messages.clear();
    EXPECT_TRUE(SetDlgItemTextW(mosaic, 1018, reinterpret_cast<LPCWSTR>(u"Spot width: 4%")));
    EXPECT_TRUE(Log().messages.empty());
    EXPECT_EQ(TextOf(mosaic, 1018), u"Spot width: 4%");
    DestroyWindow(mosaic);
}

TEST_F(DialogsTest, TextsAreCutToTheBuffer) {
    const HWND square = OpenLogged(107);
    ASSERT_NE(square, nullptr);
    const HWND label = wqtrans::automation::Controls(square)[1].window;
    EXPECT_EQ(SendMessageW(label, WM_GETTEXTLENGTH, 0, 0), 11); // "Square Size"
    char16_t buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(SendMessageW(label, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_EQ(std::u16string(buffer), u"Squ");
    EXPECT_EQ(buffer[4], u'#');
    EXPECT_EQ(SendMessageW(label, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
    EXPECT_EQ(buffer[0], u'S');
    // A missing control gives an empty text.
    EXPECT_EQ(GetDlgItemTextW(square, 999, reinterpret_cast<LPWSTR>(buffer), 8), 0u);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(TextOf(square, 1026), u"with Stretch for the inside square");
    DestroyWindow(square);
}

TEST_F(DialogsTest, ButtonsCheckAsTold) {
    const HWND zigzag = OpenLogged(103);
    ASSERT_NE(zigzag, nullptr);
    EXPECT_TRUE(CheckRadioButton(zigzag, 1100, 1104, 1102));
    EXPECT_TRUE(CheckRadioButton(zigzag, 1000, 1001, 1001));
    for (int id : {1000, 1100, 1101, 1103, 1104}) {
        EXPECT_EQ(IsDlgButtonChecked(zigzag, id), static_cast<UINT>(BST_UNCHECKED)) << id;
    }
    EXPECT_EQ(IsDlgButtonChecked(zigzag, 1001), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(zigzag, 1102), static_cast<UINT>(BST_CHECKED));
    // Checking one button by itself leaves the others of its group alone.
    EXPECT_TRUE(CheckDlgButton(zigzag, 1104, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(zigzag, 1102), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(zigzag, 999), 0u);
    EXPECT_FALSE(CheckDlgButton(zigzag, 999, BST_CHECKED));
    DestroyWindow(zigzag);

    const HWND turn = OpenLogged(114);
    ASSERT_NE(turn, nullptr);
    CheckDlgButton(turn, 1026, BST_INDETERMINATE); // a two-state box goes no further than checked
    EXPECT_EQ(IsDlgButtonChecked(turn, 1026), static_cast<UINT>(BST_CHECKED));
    CheckDlgButton(turn, 1026, BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(turn, 1026), static_cast<UINT>(BST_UNCHECKED));
    DestroyWindow(turn);
}

TEST_F(DialogsTest, PanelSlotsAndResults) {
    const HWND panel = OpenLogged(111, nullptr, 7);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(SetWindowLongW(panel, DWL_USER, 1234), 0);
    EXPECT_EQ(SetWindowLongW(panel, DWL_USER, 99), 1234);
    EXPECT_EQ(GetWindowLongW(panel, DWL_USER), 99);
    EXPECT_EQ(GetWindowLongW(panel, DWL_DLGPROC), reinterpret_cast<LONG>(&wqtrans::test::LoggingProc));

    // A handled message answers the DWL_MSGRESULT slot, WM_INITDIALOG its own result,
    // an unhandled one the default.
    SetWindowLongW(panel, DWL_MSGRESULT, 77);
    Log().reaction = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR { return message == WM_TIMER ? 5 : 0; };
    EXPECT_EQ(SendMessageW(panel, WM_TIMER, 0, 0), 77);
    EXPECT_EQ(SendMessageW(panel, WM_HSCROLL, 0, 0), 0);
    Log().reaction = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return 3; };
    EXPECT_EQ(SendMessageW(panel, WM_INITDIALOG, 0, 0), 3);
    Log().reaction = nullptr;

    EXPECT_TRUE(DestroyWindow(panel));
    EXPECT_EQ(GetWindowLongW(panel, DWL_USER), 0);
    EXPECT_EQ(SetWindowLongW(panel, DWL_USER, 1), 0);
    EXPECT_EQ(SendMessageW(panel, WM_TIMER, 0, 0), 0);
    EXPECT_EQ(GetParent(panel), nullptr);
}

TEST_F(DialogsTest, DestroyingFromInsideTheProcedureIsSafe) {
    // From its own WM_DESTROY: the panel goes once.
    Log().reaction = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_DESTROY) {
            EXPECT_TRUE(IsWindow(window)); // still a window while it is told
            EXPECT_TRUE(DestroyWindow(window));
        }
        return message == WM_INITDIALOG;
    };
    HWND panel = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(106), nullptr, &wqtrans::test::LoggingProc, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(DestroyWindow(panel));
    EXPECT_EQ(Log().Of(WM_DESTROY).size(), 1u);
    EXPECT_EQ(LiveWindows(), baseline);

    // From a control's notification.
    Log() = {};
    Log().reaction = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_COMMAND) {
            DestroyWindow(window);
        }
        return message == WM_INITDIALOG;
    };
    panel = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(106), nullptr, &wqtrans::test::LoggingProc, 0);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(panel, 1008, BM_CLICK, 0, 0), 0);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(LiveWindows(), baseline);

    // While it is being set up: no panel is handed out.
    Log() = {};
    Log().reaction = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            DestroyWindow(window);
        }
        return TRUE;
    };
    EXPECT_EQ(CreateDialogParamW(nullptr, MAKEINTRESOURCEW(118), nullptr, &wqtrans::test::LoggingProc, 0), nullptr);
    EXPECT_EQ(Log().Of(WM_DESTROY).size(), 1u);
}

TEST_F(DialogsTest, APanelInsideAPanelGoesWithItsParent) {
    const HWND outer = OpenLogged(111, nullptr, 1);
    ASSERT_NE(outer, nullptr);
    const HWND inner = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(117), outer, &wqtrans::test::LoggingProc, 2);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(GetParent(inner), outer);
    // A single control can go on its own.
    const HWND zoomIn = GetDlgItem(inner, 1008);
    EXPECT_TRUE(DestroyWindow(zoomIn));
    EXPECT_EQ(GetDlgItem(inner, 1008), nullptr);
    EXPECT_NE(GetDlgItem(inner, 1007), nullptr);

    Log().messages.clear();
    EXPECT_TRUE(DestroyWindow(outer));
    const auto destroyed = Log().Of(WM_DESTROY);
    ASSERT_EQ(destroyed.size(), 2u);
    EXPECT_EQ(destroyed[0].window, outer); // the parent hears it first
    EXPECT_EQ(destroyed[1].window, inner);
    EXPECT_FALSE(IsWindow(inner));
}

} // namespace
