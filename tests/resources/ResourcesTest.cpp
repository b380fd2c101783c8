// The string table and the 19 settings-panel templates, checked against the tables of
// the panels written out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "resources/Resources.h"

namespace {

using wqtrans::resources::ControlTemplate;
using wqtrans::resources::DialogTemplate;
using wqtrans::resources::FindDialog;
using wqtrans::resources::FindString;

TEST(StringTable, HoldsEveryStringAndNothingElse) {
    const struct {
        uint32_t id;
        const char16_t* text;
    } expected[] = {
        {1000, u"Standard transitions"},
        {1001, u"Fade"},
        {1003, u"Mosaic"},
        {1004, u"Bands"},
        {1005, u"Rain"},
        {1006, u"Cross rain"},
        {1007, u"Door"},
        {1008, u"Zigzag"},
        {1009, u"Diagonal"},
        {1010, u"Spot width: %d%%"},
        {1011, u"Scrolling"},
        {1012, u"Zoom"},
        {1019, u"Advanced Scrolling"},
        {1020, u"Square"},
        {1021, u"Turn 2"},
        {1022, u"Line"},
        {1023, u"ZigZag 2"},
        {1024, u"Open"},
        {1025, u"Push"},
        {1026, u"Stretch"},
        {1027, u"Turn"},
        {1028, u"Stretch 2"},
        {1029, u"Back"},
        {1030, u"Zoom 2"},
        {1031, u"Cell"},
        {1032, u"Trame"},
    };
    for (const auto& entry : expected) {
        const char16_t* text = FindString(entry.id);
        ASSERT_NE(text, nullptr) << entry.id;
        EXPECT_EQ(std::u16string(text), std::u16string(entry.text)) << entry.id;
    }
    for (uint32_t id : {999u, 1002u, 1013u, 1014u, 1015u, 1016u, 1017u, 1018u, 1033u}) {
        EXPECT_EQ(FindString(id), nullptr) << id;
    }
    EXPECT_EQ(wqtrans::resources::Strings().size(), std::size(expected));
}

// One expected control. `mask` selects the style bits that the panel's description
// fixes; `x` < 0 means the position and size are the module's own choice.
struct Expected {
    int32_t id;
    const char* className;
    const char16_t* text;
    uint32_t style;
    uint32_t mask;
    int16_t x = -1, y = -1, width = -1, height = -1;
};

struct ExpectedDialog {
    int32_t id;
    int16_t width, height; // 0: the module's own size
    std::vector<Expected> controls;
};

constexpr uint32_t kType = BS_TYPEMASK;
// Everything but the two bits every control carries, for fully described controls.
constexpr uint32_t kAll = ~static_cast<uint32_t>(WS_CHILD | WS_VISIBLE);
constexpr uint32_t kTrackMask = TBS_VERT | TBS_BOTH | TBS_NOTICKS | TBS_TOP | WS_TABSTOP;
constexpr uint32_t kSlider = TBS_HORZ | TBS_BOTH | TBS_NOTICKS | WS_TABSTOP;

Expected Radio(int32_t id, const char16_t* text, int16_t x = -1, int16_t y = -1, int16_t w = -1, int16_t h = -1) {
    return {id, "Button", text, BS_AUTORADIOBUTTON, kType, x, y, w, h};
}
// A radio button of a panel whose buttons carry neither WS_GROUP nor WS_TABSTOP.
Expected PlainRadio(int32_t id, const char16_t* text, int16_t x, int16_t y, int16_t w, int16_t h) {
    return {id, "Button", text, BS_AUTORADIOBUTTON, kAll, x, y, w, h};
}
Expected GroupBox(const char16_t* text, int16_t x = -1, int16_t y = -1, int16_t w = -1, int16_t h = -1) {
    return {-1, "Button", text, BS_GROUPBOX, kType, x, y, w, h};
}
Expected Label(int32_t id, const char16_t* text, int16_t x = -1, int16_t y = -1, int16_t w = -1, int16_t h = -1) {
    return {id, "Static", text, 0, 0, x, y, w, h};
}
Expected Slider(int32_t id, const char16_t* text, int16_t x = -1, int16_t y = -1, int16_t w = -1, int16_t h = -1) {
    // Horizontal, both-sided, without ticks, with a tab stop.
    return {id, "msctls_trackbar32", text, TBS_BOTH | TBS_NOTICKS | WS_TABSTOP, kTrackMask, x, y, w, h};
}
Expected CheckBox(int32_t id, const char16_t* text, int16_t x = -1, int16_t y = -1, int16_t w = -1, int16_t h = -1) {
    return {id, "Button", text, BS_AUTOCHECKBOX | WS_TABSTOP, kType | WS_TABSTOP, x, y, w, h};
}

std::vector<ExpectedDialog> ExpectedDialogs() {
    return {
        {102,
         0,
         0,
         {Label(-1, u"Number of bands:"),
          {1015, "Edit", u"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
           WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_NUMBER},
          {1017, "msctls_updown32", u"Spin1", UDS_ARROWKEYS, UDS_ARROWKEYS | UDS_AUTOBUDDY | UDS_SETBUDDYINT},
          GroupBox(u"Direction"),
          Radio(1007, u"From &left to right"),
          Radio(1008, u"From &right to left"),
          Radio(1009, u"From &top to bottom"),
          Radio(1010, u"From &bottom to top")}},
        {103,
         0,
         0,
         {GroupBox(u"Direction"), Radio(1000, u"&Horizontal"), Radio(1001, u"&Vertical"), Label(1018, u"..."),
          Slider(1025, u"Slider1"), GroupBox(u"Start from"), Radio(1100, u"Top-&left corner"),
          Radio(1101, u"&Top-right corner"), Radio(1102, u"&Bottom-left corner"), Radio(1103, u"Bottom-&right corner"),
          Radio(1104, u"&Center")}},
        {104, 186, 51, {Label(1018, u"..."), Slider(1025, u"")}},
        {105,
         0,
         0,
         {GroupBox(u"Direction"), Radio(1007, u"Horizontal, from center to &left && right"),
          Radio(1008, u"Horizontal, from left && &right to center"),
          Radio(1009, u"Vertical, from center to &top && bottom"),
          Radio(1010, u"Vertical, from top && &bottom to center")}},
        {106,
         186,
         84,
         {GroupBox(u"Direction", 7, 7, 172, 70), Radio(1007, u"From &left to right", 13, 20, 156, 11),
          Radio(1008, u"From &right to left", 13, 33, 156, 11), Radio(1009, u"From &top to bottom", 13, 46, 156, 11),
          Radio(1010, u"From &bottom to top", 13, 58, 156, 11)}},
        {107,
         198,
         95,
         {{1025, "msctls_trackbar32", u"", kSlider, kAll, 17, 38, 164, 16},
          {-1, "Static", u"Square Size", SS_CENTER | WS_GROUP, kAll, 48, 22, 100, 8},
          {1026, "Button", u"with Stretch for the inside square", BS_AUTOCHECKBOX | WS_TABSTOP, kAll, 26, 64, 146,
           10}}},
        {108,
         186,
         84,
         {Radio(1000, u"&Style 1", 23, 9, 63, 10), Radio(1001, u"&Style 2", 23, 22, 63, 10),
          Radio(1002, u"&Style 3", 23, 35, 63, 10), Radio(1003, u"&Style 4", 23, 48, 63, 10),
          Radio(1004, u"&Style 5", 23, 61, 63, 10), Radio(1005, u"&Style 6", 98, 10, 63, 10),
          Radio(1006, u"&Style 7", 98, 23, 63, 10), Radio(1007, u"&Style 8", 98, 36, 63, 10),
          Radio(1008, u"&Randomly", 98, 56, 79, 10)}},
        {109,
         0,
         0,
         {Label(-1, u"Nb Lines"), Slider(1025, u"Slider1"), Radio(1007, u"Horizontal"), Radio(1008, u"Vertical"),
          CheckBox(1026, u"Scrolling")}},
        {110,
         0,
         0,
         {Label(-1, u"Number of lines :"), Slider(1025, u"Slider1"), Radio(1007, u"Horizontal"),
          Radio(1008, u"Vertical")}},
        {111, 198, 95, {}},
        {112,
         198,
         95,
         {Radio(1007, u"Top Left", 22, 26, 83, 10), Radio(1008, u"Top Right", 115, 26, 73, 10),
          Radio(1009, u"Bottom Left", 22, 55, 85, 10), Radio(1010, u"Bottom Right", 114, 56, 69, 10)}},
        {113,
         222,
         94,
         {PlainRadio(1007, u"Top Left", 11, 19, 66, 10), PlainRadio(1008, u"Top Right", 151, 19, 66, 10),
          PlainRadio(1009, u"Bottom Left", 11, 66, 68, 10), PlainRadio(1010, u"Bottom Right", 151, 66, 68, 10),
          PlainRadio(1011, u"4 corners", 81, 38, 65, 10), PlainRadio(1012, u"Center", 81, 48, 67, 10),
          PlainRadio(1013, u"Top Middle", 81, 19, 65, 10), PlainRadio(1014, u"Middle Left", 11, 42, 65, 10),
          PlainRadio(1015, u"Middle Right", 151, 43, 68, 10), PlainRadio(1016, u"Bottom Middle", 81, 66, 66, 10)}},
        {114,
         198,
         95,
         {{1025, "msctls_trackbar32", u"", kSlider, kAll, 76, 23, 113, 16},
          {-1, "Static", u"Number of rotations", SS_LEFT | WS_GROUP, kAll, 4, 26, 76, 8},
          {1026, "Button", u"See Full Image", BS_AUTOCHECKBOX | WS_TABSTOP, kAll, 31, 48, 158, 10},
          {1027, "Button", u"Inverse Rotation", BS_AUTOCHECKBOX | WS_TABSTOP, kAll, 31, 63, 157, 10}}},
        {115,
         222,
         105,
         // In template order, which is not the order of the ids.
         {PlainRadio(1007, u"Top Left", 11, 19, 68, 10), PlainRadio(1009, u"Top Right", 151, 19, 67, 10),
          PlainRadio(1015, u"Bottom Left", 11, 77, 68, 10), PlainRadio(1011, u"Center H", 81, 38, 69, 10),
          PlainRadio(1008, u"Top Middle", 81, 19, 69, 10), PlainRadio(1010, u"Middle Left", 11, 48, 67, 10),
          PlainRadio(1014, u"Middle Right", 151, 49, 70, 10), PlainRadio(1016, u"Bottom Middle", 81, 77, 68, 10),
          PlainRadio(1012, u"Center V", 81, 48, 69, 10), PlainRadio(1013, u"Center H+V", 81, 58, 69, 10),
          PlainRadio(1017, u"Bottom Right", 151, 76, 70, 10)}},
        {116,
         198,
         102,
         {Radio(1007, u"Open (Stretch)", 11, 17, 95, 10), Radio(1008, u"Slide (to Top Left)", 11, 30, 95, 10),
          Radio(1009, u"Slide (to Top Right)", 11, 43, 95, 10), Radio(1010, u"Slide (to Bottom Left)", 11, 56, 95, 10),
          Radio(1011, u"Slide (to Bottom Right)", 11, 70, 95, 10), Radio(1012, u"Open (Scrolling)", 113, 18, 71, 10),
          Radio(1013, u"Slide (V)", 113, 30, 71, 10), Radio(1014, u"Slide (H)", 113, 43, 71, 10)}},
        {117, 198, 87, {Radio(1007, u"Zoom Out"), Radio(1008, u"Zoom In")}},
        {118,
         198,
         95,
         {Slider(1025, u"Slider1", 53, 29, 127, 16), Label(-1, u"Rows", 15, 51, 41, 8),
          Label(-1, u"Cols", 15, 33, 41, 8), Slider(1026, u"Slider1", 53, 47, 127, 16)}},
        {119,
         0,
         0,
         {Radio(1007, u"2 Directions (Vertical)"), Radio(1008, u"2 Directions (Horizontal)"),
          Radio(1009, u"4 Directions")}},
        {120,
         198,
         95,
         {{1025, "msctls_trackbar32", u"", kSlider, kAll, 60, 19, 123, 16},
          {-1, "Static", u"Nb Rotations", SS_CENTER | WS_GROUP, kAll, 3, 22, 58, 8},
          {1026, "Button", u"Inverse Rotation", BS_AUTOCHECKBOX | WS_TABSTOP, kAll, 64, 49, 124, 10}}},
    };
}

TEST(DialogTemplates, AreTheNineteenPanelsInIdOrder) {
    const auto dialogs = wqtrans::resources::Dialogs();
    ASSERT_EQ(dialogs.size(), 19u);
    for (std::size_t i = 0; i < dialogs.size(); ++i) {
        EXPECT_EQ(dialogs[i].id, static_cast<int32_t>(102 + i));
    }
    EXPECT_EQ(FindDialog(101), nullptr);
    EXPECT_EQ(FindDialog(121), nullptr);
    EXPECT_EQ(FindDialog(0), nullptr);
}

TEST(DialogTemplates, MatchThePanelDescriptions) {
    for (const ExpectedDialog& want : ExpectedDialogs()) {
        SCOPED_TRACE("template " + std::to_string(want.id));
        const DialogTemplate* got = FindDialog(want.id);
        ASSERT_NE(got, nullptr);
        if (want.width != 0) {
            EXPECT_EQ(got->width, want.width);
            EXPECT_EQ(got->height, want.height);
        }
        ASSERT_EQ(got->controls.size(), want.controls.size());
        for (std::size_t i = 0; i < want.controls.size(); ++i) {
            const Expected& w = want.controls[i];
            const ControlTemplate& c = got->controls[i];
            SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(w.id));
            EXPECT_EQ(c.id, w.id);
            EXPECT_STREQ(c.className, w.className);
            EXPECT_EQ(std::u16string(c.text), std::u16string(w.text));
            EXPECT_EQ(c.style & w.mask, w.style & w.mask) << std::hex << c.style;
            EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE));
            if (w.x >= 0) {
                EXPECT_EQ(c.x, w.x);
                EXPECT_EQ(c.y, w.y);
                EXPECT_EQ(c.width, w.width);
                EXPECT_EQ(c.height, w.height);
            }
            // Every control lies inside its panel.
            EXPECT_GE(c.x, 0);
            EXPECT_GE(c.y, 0);
            EXPECT_GT(c.width, 0);
            EXPECT_GT(c.height, 0);
            EXPECT_LE(c.x + c.width, got->width);
            EXPECT_LE(c.y + c.height, got->height);
        }
    }
}

} // namespace
