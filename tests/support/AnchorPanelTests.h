// The panel tests that Stretch and Stretch 2 share: a panel of radio buttons from 1007
// to kLastButton, one per placement (anchor = button - 1007), that sets the anchor and
// asks for a preview on every click.
//
// A test file instantiates them for its transition with a traits struct:
//
//     struct StretchAnchors {
//         using Type = StretchTransition;
//         static constexpr int32_t kLastButton = 1016;
//     };
//     INSTANTIATE_TYPED_TEST_SUITE_P(Stretch, AnchorPanel, StretchAnchors);
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/PanelFixture.h"

// In namespace wqtrans, so that a test file instantiates the suite from its own
// namespace inside it.
namespace wqtrans {

template <typename Anchors> class AnchorPanel : public test::PanelFixture<typename Anchors::Type> {
protected:
    using Base = test::PanelFixture<typename Anchors::Type>;
    static constexpr int32_t kFirst = 1007;
    static constexpr int32_t kLast = Anchors::kLastButton;
    static constexpr int32_t kLastAnchor = kLast - kFirst;

    // The panel opened on a run part-way through, with the placement `anchor`.
    HWND Open(int32_t anchor) {
        this->Running();
        this->t.anchor = anchor;
        return Base::Open();
    }
};

// A button of such a panel: its text and where it stands on the picture (column and
// row, 0 to 2).
struct AnchorButton {
    int32_t id;
    std::u16string text;
    int32_t column, row;
};

// Checks that every button is a radio button with its text, standing in its column
// and row of the panel's three by three layout: columns end at x 50 and 120, rows at
// y 30 and `middleRowEnd`.
inline void ExpectButtonsStand(HWND panel, const std::vector<AnchorButton>& buttons, int32_t middleRowEnd) {
    for (const AnchorButton& c : buttons) {
        SCOPED_TRACE(c.id);
        const auto button = automation::Control(panel, c.id);
        ASSERT_TRUE(button.has_value());
        EXPECT_EQ(button->kind, automation::ControlKind::RadioButton);
        EXPECT_EQ(button->text, c.text);
        EXPECT_EQ(button->x < 50 ? 0 : button->x < 120 ? 1 : 2, c.column);
        EXPECT_EQ(button->y < 30 ? 0 : button->y < middleRowEnd ? 1 : 2, c.row);
    }
}

TYPED_TEST_SUITE_P(AnchorPanel);

TYPED_TEST_P(AnchorPanel, OpensWithTheAnchorsButtonChecked) {
    for (int32_t anchor = 0; anchor <= TestFixture::kLastAnchor; ++anchor) {
        SCOPED_TRACE(anchor);
        HWND panel = this->Open(anchor);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(this->CheckedButtons(panel), std::vector<int32_t>{TestFixture::kFirst + anchor});
        EXPECT_FALSE(this->PreviewAsked());
    }
    // A stored value outside the table checks nothing, and closing then stores 0.
    for (int32_t anchor : {TestFixture::kLastAnchor + 1, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(anchor);
        HWND panel = this->Open(anchor);
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(this->CheckedButtons(panel).empty());
        EXPECT_EQ(this->t.CloseSettings(1), 1);
        EXPECT_EQ(this->t.anchor, 0);
    }
}

TYPED_TEST_P(AnchorPanel, ClicksSetTheAnchorAndAskForAPreview) {
    HWND panel = this->Open(0);
    ASSERT_NE(panel, nullptr);
    for (int32_t id = TestFixture::kLast; id >= TestFixture::kFirst; --id) {
        SCOPED_TRACE(id);
        this->Running();
        ASSERT_FALSE(this->PreviewAsked());
        ASSERT_TRUE(automation::Click(panel, id));
        EXPECT_EQ(this->t.anchor, id - TestFixture::kFirst);
        EXPECT_TRUE(this->PreviewAsked());
    }
}

TYPED_TEST_P(AnchorPanel, CommandsFromOtherControlsAreIgnored) {
    HWND panel = this->Open(2);
    ASSERT_NE(panel, nullptr);
    this->Running();
    this->t.anchor = 4;
    for (WPARAM id : {WPARAM{1006}, static_cast<WPARAM>(TestFixture::kLast + 1), WPARAM{1}}) {
        SendMessageW(panel, WM_COMMAND, id, 0);
    }
    EXPECT_EQ(this->t.anchor, 4);
    EXPECT_FALSE(this->PreviewAsked());
}

TYPED_TEST_P(AnchorPanel, LaterCheckedButtonWinsAndTheFirstIsNeverTested) {
    HWND panel = this->Open(0);
    ASSERT_NE(panel, nullptr);
    CheckDlgButton(panel, 1008, BST_CHECKED);
    CheckDlgButton(panel, 1012, BST_CHECKED);
    SendMessageW(panel, WM_COMMAND, MAKEWPARAM(1007, BN_CLICKED), 0);
    EXPECT_EQ(this->t.anchor, 5);
    CheckRadioButton(panel, TestFixture::kFirst, TestFixture::kLast, TestFixture::kFirst);
    this->t.anchor = 9;
    SendMessageW(panel, WM_COMMAND, MAKEWPARAM(1010, 7), 0); // any notification code
    EXPECT_EQ(this->t.anchor, 0);
}

TYPED_TEST_P(AnchorPanel, CloseReadsTheButtonsOnlyWithApply) {
    HWND panel = this->Open(1);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1015));
    this->t.anchor = 3;
    this->Running();
    EXPECT_EQ(this->t.CloseSettings(0), 1);
    EXPECT_EQ(this->t.Dialog(), nullptr);
    EXPECT_EQ(this->t.anchor, 1); // a cancel goes back to the anchor the panel opened with

    panel = this->Open(1);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(automation::Click(panel, 1015));
    this->t.anchor = 3;
    this->Running();
    EXPECT_EQ(this->t.CloseSettings(1), 1);
    EXPECT_EQ(this->t.Dialog(), nullptr);
    EXPECT_FALSE(this->PreviewAsked()); // closing asks for no preview
    uint8_t block[4] = {};
    EXPECT_EQ(this->t.GetParams(block), 4);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{8, 0, 0, 0}));
}

REGISTER_TYPED_TEST_SUITE_P(AnchorPanel, OpensWithTheAnchorsButtonChecked, ClicksSetTheAnchorAndAskForAPreview,
                            CommandsFromOtherControlsAreIgnored, LaterCheckedButtonWinsAndTheFirstIsNeverTested,
                            CloseReadsTheButtonsOnlyWithApply);

} // namespace wqtrans
