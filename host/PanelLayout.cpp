#include "host/PanelLayout.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>

#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Automation.h"

namespace wqtrans {

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
// field is named after what they choose.
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

PanelField ChoiceOf(std::string name, std::vector<ControlInfo> buttons) {
    std::sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    PanelField field;
    field.name = std::move(name);
    field.kind = PanelField::Kind::Choice;
    field.high = static_cast<int32_t>(buttons.size()) - 1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        field.buttons.push_back(buttons[i].id);
        field.choices.push_back(Readable(buttons[i].text));
        if (buttons[i].checked) {
            field.initial = static_cast<int32_t>(i);
        }
    }
    return field;
}

PanelField NumberOf(std::string name, const ControlInfo& value, const std::vector<ControlInfo>& controls) {
    ControlInfo ranged = value;
    if (value.kind == ControlKind::Edit) {
        // An edit box takes its range from the up-down beside it.
        for (const ControlInfo& c : controls) {
            if (c.kind == ControlKind::UpDown && automation::Gap(value, c) <= 4) {
                ranged = c;
            }
        }
    }
    PanelField field;
    field.name = std::move(name);
    field.kind = PanelField::Kind::Number;
    field.control = value.id;
    field.typed = value.kind == ControlKind::Edit;
    field.low = std::min(ranged.rangeMin, ranged.rangeMax);
    field.high = std::max(ranged.rangeMin, ranged.rangeMax);
    field.initial = std::clamp(ranged.position, field.low, field.high);
    return field;
}

} // namespace

std::vector<PanelField> ReadPanelLayout(uint32_t id) {
    Instance instance(CreateTransition(0, id, nullptr, 0));
    if (!instance) {
        return {};
    }
    OpenPanel panel(instance.get());
    const std::vector<ControlInfo> controls = automation::Controls(panel.Window());
    std::vector<PanelField> fields;
    std::vector<ControlInfo> loose;
    for (const ControlInfo& c : controls) {
        const std::string text = Readable(c.text);
        if (c.kind == ControlKind::GroupBox) {
            std::vector<ControlInfo> buttons;
            std::copy_if(controls.begin(), controls.end(), std::back_inserter(buttons), [&](const ControlInfo& b) {
                return b.kind == ControlKind::RadioButton && automation::Inside(b, c);
            });
            if (!buttons.empty()) {
                fields.push_back(ChoiceOf(text, buttons));
            }
        } else if (c.kind == ControlKind::RadioButton &&
                   std::none_of(controls.begin(), controls.end(), [&](const ControlInfo& g) {
                       return g.kind == ControlKind::GroupBox && automation::Inside(c, g);
                   })) {
            loose.push_back(c);
        } else if (c.kind == ControlKind::CheckBox) {
            PanelField field;
            field.name = text;
            field.kind = PanelField::Kind::Switch;
            field.control = c.id;
            field.high = 1;
            field.initial = c.checked ? 1 : 0;
            fields.push_back(std::move(field));
        } else if (c.kind == ControlKind::Label && !text.empty()) {
            if (const std::optional<ControlInfo> value = automation::ValueControlOf(c, controls)) {
                fields.push_back(NumberOf(text, *value, controls));
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
        fields.push_back(ChoiceOf(name, loose));
    }
    return fields;
}

std::vector<uint8_t> PanelBlock(uint32_t id, const std::vector<PanelField>& fields,
                                const std::vector<int32_t>& values) {
    Instance instance(CreateTransition(0, id, nullptr, 0));
    if (!instance) {
        return {};
    }
    {
        OpenPanel panel(instance.get());
        for (size_t i = 0; i < fields.size(); ++i) {
            const PanelField& f = fields[i];
            const int32_t value = i < values.size() ? std::clamp(values[i], f.low, f.high) : f.initial;
            switch (f.kind) {
            case PanelField::Kind::Choice:
                if (!f.buttons.empty()) {
                    automation::Click(panel.Window(), f.buttons[static_cast<size_t>(value)]);
                }
                break;
            case PanelField::Kind::Switch: {
                const std::optional<ControlInfo> box = automation::Control(panel.Window(), f.control);
                if (box && box->checked != (value != 0)) {
                    automation::Click(panel.Window(), f.control);
                }
                break;
            }
            case PanelField::Kind::Number: {
                const std::optional<ControlInfo> control = automation::Control(panel.Window(), f.control);
                if (f.typed) {
                    // snprintf rather than std::to_string, whose digit table libstdc++ would
                    // export from libwqtrans-host.so.
                    char text[16];
                    const int n = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
                    automation::Type(panel.Window(), f.control, std::u16string(text, text + std::max(0, n)));
                } else if (control && control->kind == ControlKind::TrackBar) {
                    automation::MoveTrackBar(panel.Window(), f.control, value);
                } else {
                    automation::MoveUpDown(panel.Window(), f.control, value);
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

} // namespace wqtrans
