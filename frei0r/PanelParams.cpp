#include "frei0r/PanelParams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace wqtrans::frei0r {

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

// 0 to 1 across the field's range.
double Fraction(const PanelField& field, int32_t value) {
    return field.high > field.low ? static_cast<double>(value - field.low) / (field.high - field.low) : 0;
}

std::string ExplanationOf(const PanelField& f) {
    switch (f.kind) {
    case PanelField::Kind::Choice: {
        std::string text = "one of";
        for (size_t i = 0; i < f.choices.size(); ++i) {
            text += std::string(i == 0 ? " " : ", ") + Number(Fraction(f, static_cast<int32_t>(i))) + " \"" +
                    f.choices[i] + "\"";
        }
        return text + " (the nearest is taken)";
    }
    case PanelField::Kind::Switch:
        return std::string("on (1) or off (0); default ") + (f.initial != 0 ? "on" : "off");
    case PanelField::Kind::Number:
        break;
    }
    return "0 to 1 sets " + std::to_string(f.low) + " to " + std::to_string(f.high) +
           " (value = " + std::to_string(f.low) + " + round(x * " + std::to_string(f.high - f.low) + ")); default " +
           std::to_string(f.initial) + " (" + Number(Fraction(f, f.initial)) + ")";
}

} // namespace

std::vector<PanelParam> ReadPanelParams(uint32_t id) {
    std::vector<PanelParam> params;
    for (PanelField& field : ReadPanelLayout(id)) {
        PanelParam param;
        param.name = field.name;
        param.explanation = ExplanationOf(field);
        param.kind = field.kind;
        param.initial = Fraction(field, field.initial);
        param.field = std::move(field);
        params.push_back(std::move(param));
    }
    return params;
}

std::vector<uint8_t> BlockFor(uint32_t id, const std::vector<PanelParam>& params, const std::vector<double>& values) {
    std::vector<PanelField> fields;
    std::vector<int32_t> panelValues;
    for (size_t i = 0; i < params.size(); ++i) {
        const PanelField& f = params[i].field;
        const double x =
            i >= values.size() || std::isnan(values[i]) ? params[i].initial : std::clamp(values[i], 0.0, 1.0);
        fields.push_back(f);
        panelValues.push_back(f.kind == PanelField::Kind::Switch
                                  ? (x >= 0.5 ? 1 : 0)
                                  : static_cast<int32_t>(f.low + std::lround(x * (f.high - f.low))));
    }
    return PanelBlock(id, fields, panelValues);
}

} // namespace wqtrans::frei0r
