// A transition's settings panel as frei0r parameters: one parameter per field of the
// panel (host/PanelLayout.h), named by the panel's own text, with values from 0 to 1
// (frei0r's range for numbers, which GStreamer enforces and MLT shows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/PanelLayout.h"

namespace wqtrans::frei0r {

struct PanelParam {
    using Kind = PanelField::Kind;
    std::string name;        // the field's name
    std::string explanation; // default, range or choices
    Kind kind = Kind::Number;
    PanelField field;
    double initial = 0; // the value of a fresh instance, 0 to 1
};

// The parameters of transition `id`'s panel, read from a fresh instance's open panel;
// empty for a transition without a panel.
std::vector<PanelParam> ReadPanelParams(uint32_t id);

// The parameter block of a fresh instance after the panel was set to `values` (one per
// parameter, each clamped to 0 to 1, NaN taken as the fresh instance's value) and
// closed with apply, as a person setting it would leave it.
std::vector<uint8_t> BlockFor(uint32_t id, const std::vector<PanelParam>& params, const std::vector<double>& values);

} // namespace wqtrans::frei0r
