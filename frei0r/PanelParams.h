// A transition's settings panel as frei0r parameters: one parameter per field a
// person sets on the panel, named by the panel's own text, with values from 0 to 1
// (frei0r's range for numbers, which GStreamer enforces and MLT shows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wqtrans::frei0r {

struct PanelParam {
    enum class Kind { Choice, Switch, Number };
    std::string name;        // the label, group box or check box text
    std::string explanation; // default, range or choices
    Kind kind = Kind::Number;
    std::vector<int32_t> buttons; // Choice: the radio buttons, in id order
    int32_t control = 0;          // Switch: the check box; Number: the track bar, up-down or edit box
    bool typed = false;           // Number: an edit box, typed into
    int32_t low = 0, high = 0;    // Number: the panel's range
    double initial = 0;           // the value of a fresh instance, 0 to 1
};

// The parameters of transition `id`'s panel, read from a fresh instance's open panel;
// empty for a transition without a panel.
std::vector<PanelParam> ReadPanelParams(uint32_t id);

// The parameter block of a fresh instance after the panel was set to `values` (one per
// parameter, each clamped to 0 to 1, NaN taken as the fresh instance's value) and
// closed with apply, as a person setting it would leave it.
std::vector<uint8_t> BlockFor(uint32_t id, const std::vector<PanelParam>& params, const std::vector<double>& values);

} // namespace wqtrans::frei0r
