#include "frei0r/PanelParams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Automation.h"

namespace wqtrans::frei0r {

namespace {

using automation::ControlInfo;
using automation::ControlKind;

struct AdapterDeleter {
    void operator()(TransitionAdapter* adapter) const { adapter->table->Delete(adapter); }
};
using Instance = std::unique_ptr<TransitionAdapter, AdapterDeleter>;

// An instance's open panel, closed with apply when it goes.
class OpenPanel {
public:
    explicit OpenPanel(TransitionAdapter* adapter)
        : adapter(adapter), window(adapter->table->OpenSettings(adapter, nullptr, 0)) {}
    ~OpenPanel() {
        if (window != nullptr) {
            adapter->table->CloseSettings(adapter, 1);
        }
    }
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;
    HWND Window() const { return window; }

private:
    TransitionAdapter* adapter;
    HWND window;
};

// Radio buttons outside any group box have no text of their own to be named by: the
// parameter is named after what they choose.
struct UnlabelledChoice {
    const char* id;
    const char* name;
};
constexpr UnlabelledChoice kUnlabelled[] = {{"SE00", "Style"},     {"SE10", "Effect"},      {"SE03", "Orientation"},
                                            {"SE06", "Direction"}, {"SE07", "Anchor"},      {"SE09", "Anchor"},
                                            {"SE13", "Pattern"},   {"SE04", "Orientation"}, {"SE11", "Zoom"}};

std::string IdText(uint32_t id) { return std::string(reinterpret_cast<const char*>(&id), 4); }

// The text as a person reads it: '&' markers taken out, a trailing colon and anything
// after a colon (a value shown in the label, "Spot width: 4%") dropped.
std::string Readable(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && (i + 1 >= text.size() || text[i + 1] != u'&')) {
            continue;
        }
        if (text[i] == u'&') {
            ++i;
        }
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    }
    out = out.substr(0, out.find(':'));
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

PanelParam ChoiceOf(std::string name, std::vector<ControlInfo> buttons) {
    std::sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    PanelParam param{std::move(name), "one of", PanelParam::Kind::Choice, {}, 0, false, 0, 0, 0};
    const double last = static_cast<double>(buttons.size() - 1);
    for (size_t i = 0; i < buttons.size(); ++i) {
        param.buttons.push_back(buttons[i].id);
        param.explanation += std::string(i == 0 ? " " : ", ") + Number(last > 0 ? i / last : 0) + " \"" +
                             Readable(buttons[i].text) + "\"";
        if (buttons[i].checked) {
            param.initial = last > 0 ? i / last : 0;
        }
    }
    param.explanation += " (the nearest is taken)";
    return param;
}

PanelParam NumberOf(const std::string& name, const ControlInfo& value, const std::vector<ControlInfo>& controls) {
    ControlInfo ranged = value;
    if (value.kind == ControlKind::Edit) {
        // An edit box takes its range from the up-down beside it.
        for (const ControlInfo& c : controls) {
            if (c.kind == ControlKind::UpDown && Gap(value, c) <= 4) {
                ranged = c;
            }
        }
    }
    const int32_t low = std::min(ranged.rangeMin, ranged.rangeMax);
    const int32_t high = std::max(ranged.rangeMin, ranged.rangeMax);
    const int32_t position = std::clamp(ranged.position, low, high);
    PanelParam param{name, "", PanelParam::Kind::Number, {}, value.id, value.kind == ControlKind::Edit, low, high, 0};
    param.initial = high > low ? static_cast<double>(position - low) / (high - low) : 0;
    param.explanation = "0 to 1 sets " + std::to_string(low) + " to " + std::to_string(high) +
                        " (value = " + std::to_string(low) + " + round(x * " + std::to_string(high - low) +
                        ")); default " + std::to_string(position) + " (" + Number(param.initial) + ")";
    return param;
}

} // namespace

std::vector<PanelParam> ReadPanelParams(uint32_t id) {
    Instance instance(CreateTransition(0, id, nullptr, 0));
    if (!instance) {
        return {};
    }
    OpenPanel panel(instance.get());
    const std::vector<ControlInfo> controls = automation::Controls(panel.Window());
    std::vector<PanelParam> params;
    std::vector<ControlInfo> loose;
    for (const ControlInfo& c : controls) {
        const std::string text = Readable(c.text);
        if (c.kind == ControlKind::GroupBox) {
            std::vector<ControlInfo> buttons;
            std::copy_if(controls.begin(), controls.end(), std::back_inserter(buttons),
                         [&](const ControlInfo& b) { return b.kind == ControlKind::RadioButton && Inside(b, c); });
            if (!buttons.empty()) {
                params.push_back(ChoiceOf(text, buttons));
            }
        } else if (c.kind == ControlKind::RadioButton &&
                   std::none_of(controls.begin(), controls.end(), [&](const ControlInfo& g) {
                       return g.kind == ControlKind::GroupBox && Inside(c, g);
                   })) {
            loose.push_back(c);
        } else if (c.kind == ControlKind::CheckBox) {
            params.push_back({text,
                              std::string("on (1) or off (0); default ") + (c.checked ? "on" : "off"),
                              PanelParam::Kind::Switch,
                              {},
                              c.id,
                              false,
                              0,
                              1,
                              c.checked ? 1.0 : 0.0});
        } else if (c.kind == ControlKind::Label && !text.empty()) {
            if (const std::optional<ControlInfo> value = ValueControlOf(c, controls)) {
                params.push_back(NumberOf(text, *value, controls));
            }
        }
    }
    if (!loose.empty()) {
        std::string name = "Choice";
        for (const UnlabelledChoice& u : kUnlabelled) {
            if (IdText(id) == u.id) {
                name = u.name;
            }
        }
        params.push_back(ChoiceOf(name, loose));
    }
    return params;
}

std::vector<uint8_t> BlockFor(uint32_t id, const std::vector<PanelParam>& params, const std::vector<double>& values) {
    Instance instance(CreateTransition(0, id, nullptr, 0));
    if (!instance) {
        return {};
    }
    {
        OpenPanel panel(instance.get());
        for (size_t i = 0; i < params.size() && i < values.size(); ++i) {
            const PanelParam& p = params[i];
            const double x = std::isnan(values[i]) ? p.initial : std::clamp(values[i], 0.0, 1.0);
            switch (p.kind) {
            case PanelParam::Kind::Choice: {
                const auto index = static_cast<size_t>(std::lround(x * static_cast<double>(p.buttons.size() - 1)));
                automation::Click(panel.Window(), p.buttons[index]);
                break;
            }
            case PanelParam::Kind::Switch: {
                const std::optional<ControlInfo> box = automation::Control(panel.Window(), p.control);
                if (box && box->checked != (x >= 0.5)) {
                    automation::Click(panel.Window(), p.control);
                }
                break;
            }
            case PanelParam::Kind::Number: {
                const auto value = static_cast<int32_t>(p.low + std::lround(x * (p.high - p.low)));
                const std::optional<ControlInfo> control = automation::Control(panel.Window(), p.control);
                if (p.typed) {
                    const std::string text = std::to_string(value);
                    automation::Type(panel.Window(), p.control, std::u16string(text.begin(), text.end()));
                } else if (control && control->kind == ControlKind::TrackBar) {
                    automation::MoveTrackBar(panel.Window(), p.control, value);
                } else {
                    automation::MoveUpDown(panel.Window(), p.control, value);
                }
                break;
            }
            }
        }
    }
    std::vector<uint8_t> block(
        static_cast<size_t>(std::max(0, instance->table->GetParameters(instance.get(), nullptr))));
    instance->table->GetParameters(instance.get(), block.data());
    return block;
}

} // namespace wqtrans::frei0r
