// A transition's settings panel read as a person reads it: one field per thing a
// person sets (a group of radio buttons, a check box, a number on a track bar, an
// up-down or an edit box), named by the panel's own text. Hosts that show the
// settings in their own kinds of controls (frei0r parameters, OBS properties) read
// the panel here and make a parameter block from values in the panel's own units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wqtrans {

struct PanelField {
    enum class Kind { Choice, Switch, Number };
    std::string name; // the label, group box or check box text, without '&' and a trailing ':'
    Kind kind = Kind::Number;
    std::vector<int32_t> buttons;     // Choice: the radio buttons, in id order
    std::vector<std::string> choices; // Choice: their texts, in the same order
    int32_t control = 0;              // Switch: the check box; Number: the track bar, up-down or edit box
    bool typed = false;               // Number: an edit box, typed into
    int32_t low = 0, high = 0;        // Number: the panel's range; Choice: 0 to buttons - 1; Switch: 0 to 1
    int32_t initial = 0;              // a fresh instance's value: the button's index, 0 or 1, or the number
};

// The fields of transition `id`'s panel, read from a fresh instance's open panel;
// empty for a transition without a panel or an unknown ID.
std::vector<PanelField> ReadPanelLayout(uint32_t id);

// The parameter block of a fresh instance after the panel was set to `values` (one per
// field, each clamped to the field's low to high; a missing value is the fresh
// instance's) and closed with apply, as a person setting it would leave it. Panels are
// the process's: callers serialise calls (one block is made at a time).
std::vector<uint8_t> PanelBlock(uint32_t id, const std::vector<PanelField>& fields, const std::vector<int32_t>& values);

} // namespace wqtrans
