// Settings panels read and set as a person does: controls are found by the text a
// person reads on them (or on the label beside them), then clicked, slid or typed into
// through the automation API (platform/Automation.h), so that the panel's own rules
// apply. The command-line tool's --set and panel command and the Python module share
// this reading, so that a label means the same control everywhere.
//
// "Label=value" settings:
//   a radio button        "Label" or "Label=on" chooses it (it cannot be unchosen)
//   a check box           "Label=on" / "Label=off" (also 1/0, true/false, yes/no)
//   a group of radio      "Group=Choice", the choice by its text
//   buttons in a box
//   a track bar, up-down  "Label=N", N a whole number within the control's range
//   an edit box           "Label=text" (a number within the range of an up-down beside it)
// Labels and choices are matched without case, '&' markers, extra spaces or a trailing
// colon; every control also answers to its id.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/Automation.h"

namespace wqtrans::panel {

// A setting that the panel cannot take: an unknown label, a value of the wrong kind or
// out of range. The message names the label and what it takes.
struct SettingError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Something a person can set, by the name they read on the panel.
struct Settable {
    std::string name;              // as shown
    std::vector<std::string> keys; // names it answers to
    int32_t target = 0;            // control id (a group box of radio buttons: 0)
    automation::ControlKind kind = automation::ControlKind::Other;
    std::vector<automation::ControlInfo> choices; // a group box's radio buttons
    std::optional<automation::ControlInfo> range; // an edit box's up-down partner
};

// A settable and its state on the open panel now.
struct Field {
    std::string name;
    automation::ControlKind kind = automation::ControlKind::Other;
    bool on = false;                                  // a radio button is chosen, a check box is on
    std::string choice;                               // a group box: the chosen button's text ("" when none is)
    std::vector<std::string> choices;                 // a group box: its buttons' texts
    std::optional<std::pair<int32_t, int32_t>> range; // track bars, up-downs, edit boxes beside an up-down
    int32_t position = 0;                             // track bars and up-downs
    std::string text;                                 // edit boxes
};

std::string Utf8(const std::u16string& text);
std::u16string Utf16(const std::string& text);

// The text as a person reads it: "&&" is an ampersand, a single "&" only underlines
// the next letter; a trailing colon and spaces are dropped.
std::string Readable(const std::u16string& text);

// What can be set on a panel with these controls, in template order.
std::vector<Settable> Settables(const std::vector<automation::ControlInfo>& controls);
// "1 to 10": a track bar's or up-down's range.
std::string RangeText(const automation::ControlInfo& control);
// Every settable with its kind and range or choices, for messages.
std::string PanelControls(const std::vector<Settable>& list, const std::vector<automation::ControlInfo>& controls);

// The settables of the open panel with their state.
std::vector<Field> Fields(HWND panel);

// The field a label names, as Apply finds it; nothing when there is none.
std::optional<Field> FieldOf(HWND panel, const std::string& label);

// Applies one "Label=value" setting to the open panel; `transition` names it in
// messages. Throws SettingError, with the panel unchanged, when the setting cannot be
// made.
void Apply(HWND panel, const std::string& transition, const std::string& setting);

} // namespace wqtrans::panel
