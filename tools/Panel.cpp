// Settings panels driven as a person would: controls found by the text a person reads
// on them (or on the label beside them), then clicked, slid or typed into through the
// platform's automation API, so that the panel's own rules apply.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/Automation.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

using automation::ControlInfo;
using automation::ControlKind;
using automation::KindName;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The text as a person reads it: "&&" is an ampersand, a single "&" only underlines
// the next letter; a trailing colon and spaces are dropped.
std::string Readable(const std::u16string& text) {
    std::string in = Utf8(text);
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '&') {
            if (i + 1 < in.size() && in[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += in[i];
    }
    out = Trim(out);
    while (!out.empty() && out.back() == ':') {
        out.pop_back();
        out = Trim(out);
    }
    return out;
}

std::string Key(const std::string& readable) {
    std::string key;
    bool space = false;
    for (char c : Trim(readable)) {
        if (c == ' ' || c == '\t') {
            space = true;
            continue;
        }
        if (space && !key.empty()) {
            key += ' ';
        }
        space = false;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!key.empty() && key.back() == ':') {
        key.pop_back();
        key = Trim(key);
    }
    return key;
}

bool IsValueControl(ControlKind kind) {
    return kind == ControlKind::TrackBar || kind == ControlKind::Edit || kind == ControlKind::UpDown;
}

std::pair<int32_t, int32_t> Range(const ControlInfo& control) {
    return {std::min(control.rangeMin, control.rangeMax), std::max(control.rangeMin, control.rangeMax)};
}

// Something a person can set, by the name they read on the panel.
struct Settable {
    std::string name;              // as shown
    std::vector<std::string> keys; // names it answers to
    int32_t target = 0;            // control id (radio group: 0)
    ControlKind kind = ControlKind::Other;
    std::vector<ControlInfo> choices; // a group box's radio buttons
    std::optional<ControlInfo> range; // an edit box's up-down partner
};

std::optional<ControlInfo> NearestUpDown(const ControlInfo& edit, const std::vector<ControlInfo>& controls) {
    std::optional<ControlInfo> best;
    for (const ControlInfo& control : controls) {
        if (control.kind == ControlKind::UpDown && Gap(edit, control) <= 4 &&
            (!best || Gap(edit, control) < Gap(edit, *best))) {
            best = control;
        }
    }
    return best;
}

std::vector<Settable> Settables(const std::vector<ControlInfo>& controls) {
    std::vector<Settable> list;
    std::vector<int32_t> named;
    for (const ControlInfo& control : controls) {
        const std::string readable = Readable(control.text);
        if ((control.kind == ControlKind::RadioButton || control.kind == ControlKind::CheckBox) && !readable.empty()) {
            list.push_back({readable, {Key(readable)}, control.id, control.kind, {}, {}});
        } else if (control.kind == ControlKind::GroupBox && !readable.empty()) {
            Settable group{readable, {Key(readable)}, 0, ControlKind::GroupBox, {}, {}};
            for (const ControlInfo& inner : controls) {
                if (inner.kind == ControlKind::RadioButton && Inside(inner, control)) {
                    group.choices.push_back(inner);
                }
            }
            if (!group.choices.empty()) {
                list.push_back(group);
            }
        } else if (control.kind == ControlKind::Label && !readable.empty()) {
            const std::optional<ControlInfo> partner = ValueControlOf(control, controls);
            if (!partner) {
                continue;
            }
            // A label that shows its value ("Spot width: 4%") is named by what precedes
            // the colon.
            std::string name = readable;
            const size_t colon = name.find(':');
            if (colon != std::string::npos) {
                name = Trim(name.substr(0, colon));
            }
            Settable value{name, {Key(name), Key(readable)}, partner->id, partner->kind, {}, {}};
            if (partner->kind == ControlKind::Edit) {
                value.range = NearestUpDown(*partner, controls);
            }
            list.push_back(value);
            named.push_back(partner->id);
        }
    }
    // Value controls without a label go by their id.
    for (const ControlInfo& control : controls) {
        if (IsValueControl(control.kind) && std::find(named.begin(), named.end(), control.id) == named.end()) {
            Settable value{std::to_string(control.id), {}, control.id, control.kind, {}, {}};
            if (control.kind == ControlKind::Edit) {
                value.range = NearestUpDown(control, controls);
            }
            list.push_back(value);
        }
    }
    // Every settable control also answers to its id.
    for (Settable& settable : list) {
        if (settable.target != 0) {
            settable.keys.push_back(std::to_string(settable.target));
        }
    }
    return list;
}

std::string RangeText(const ControlInfo& control) {
    const auto [low, high] = Range(control);
    return std::to_string(low) + " to " + std::to_string(high);
}

std::string Describe(const Settable& settable, const std::vector<ControlInfo>& controls) {
    std::string text = "\"" + settable.name + "\" (" + KindName(settable.kind);
    if (settable.kind == ControlKind::GroupBox) {
        text = "\"" + settable.name + "\" (one of";
        for (size_t i = 0; i < settable.choices.size(); ++i) {
            text += std::string(i == 0 ? " " : ", ") + "\"" + Readable(settable.choices[i].text) + "\"";
        }
    } else if (settable.kind == ControlKind::TrackBar || settable.kind == ControlKind::UpDown) {
        for (const ControlInfo& control : controls) {
            if (control.id == settable.target) {
                text += ", " + RangeText(control);
            }
        }
    } else if (settable.kind == ControlKind::Edit && settable.range) {
        text += ", " + RangeText(*settable.range);
    } else if (settable.kind == ControlKind::CheckBox) {
        text += ", on or off";
    }
    return text + ")";
}

std::string PanelControls(const std::vector<Settable>& list, const std::vector<ControlInfo>& controls) {
    std::string text;
    for (const Settable& settable : list) {
        text += (text.empty() ? "" : ", ") + Describe(settable, controls);
    }
    return text;
}

std::optional<bool> OnOff(const std::string& value) {
    const std::string key = LowerAscii(Trim(value));
    for (const char* on : {"", "on", "1", "true", "yes", "checked"}) {
        if (key == on) {
            return true;
        }
    }
    for (const char* off : {"off", "0", "false", "no", "unchecked"}) {
        if (key == off) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<int32_t> WholeNumber(const std::string& value) {
    const std::string text = Trim(value);
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (*end != 0 || errno != 0 || number < INT32_MIN || number > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(number);
}

int32_t NumberInRange(const std::string& name, const std::string& value, const ControlInfo& ranged) {
    const auto [low, high] = Range(ranged);
    const std::optional<int32_t> number = WholeNumber(value);
    if (!number) {
        UsageError("\"" + name + "\" takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                   ", not \"" + value + "\"");
    }
    if (*number < low || *number > high) {
        UsageError("\"" + name + "\" takes " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                   std::to_string(*number));
    }
    return *number;
}

void ApplyOne(const TransitionInfo& info, HWND panel, const std::string& setting) {
    const std::vector<ControlInfo> controls = automation::Controls(panel);
    const std::vector<Settable> list = Settables(controls);
    const size_t equals = setting.find('=');
    const std::string name = Trim(setting.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : Trim(setting.substr(equals + 1));
    const bool hasValue = equals != std::string::npos;
    if (list.empty()) {
        UsageError(info.name + "'s panel has no control to set, so it takes no --set");
    }
    // The name as typed, or with its & markers taken out.
    const std::string keys[2] = {Key(name), Key(Readable(Utf16(name)))};
    const Settable* found = nullptr;
    for (const Settable& settable : list) {
        for (const std::string& key : keys) {
            if (found == nullptr && std::find(settable.keys.begin(), settable.keys.end(), key) != settable.keys.end()) {
                found = &settable;
            }
        }
    }
    if (found == nullptr) {
        UsageError(info.name + "'s panel has no control \"" + name +
                   "\"; its controls are: " + PanelControls(list, controls));
    }
    auto current = [&](int32_t id) { return automation::Control(panel, id); };
    switch (found->kind) {
    case ControlKind::RadioButton: {
        const std::optional<bool> on = OnOff(value);
        if (!on || !*on) {
            UsageError("\"" + found->name + "\" is a radio button: it can only be chosen (\"" + found->name +
                       "\" or \"" + found->name + "=on\"); choose another button of its group to leave it");
        }
        automation::Click(panel, found->target);
        break;
    }
    case ControlKind::CheckBox: {
        const std::optional<bool> on = OnOff(value);
        if (!on) {
            UsageError("\"" + found->name + "\" takes on or off, not \"" + value + "\"");
        }
        const std::optional<ControlInfo> box = current(found->target);
        if (box && box->checked != *on) {
            automation::Click(panel, found->target);
        }
        break;
    }
    case ControlKind::GroupBox: {
        const std::string choice = Key(value);
        const std::string unmarked = Key(Readable(Utf16(value)));
        for (const ControlInfo& button : found->choices) {
            const std::string key = Key(Readable(button.text));
            if (key == choice || key == unmarked) {
                automation::Click(panel, button.id);
                return;
            }
        }
        std::string choices;
        for (const ControlInfo& button : found->choices) {
            choices += (choices.empty() ? "\"" : ", \"") + Readable(button.text) + "\"";
        }
        UsageError("\"" + found->name + "\" has no choice \"" + value + "\"; choose one of: " + choices);
    }
    case ControlKind::TrackBar:
    case ControlKind::UpDown: {
        const std::optional<ControlInfo> control = current(found->target);
        if (!hasValue || !control) {
            UsageError("\"" + found->name + "\" takes a number: \"" + found->name + "=N\"");
        }
        const int32_t number = NumberInRange(found->name, value, *control);
        if (found->kind == ControlKind::TrackBar) {
            automation::MoveTrackBar(panel, found->target, number);
        } else {
            automation::MoveUpDown(panel, found->target, number);
        }
        break;
    }
    case ControlKind::Edit: {
        if (!hasValue) {
            UsageError("\"" + found->name + "\" takes a value: \"" + found->name + "=VALUE\"");
        }
        if (found->range) {
            const std::optional<ControlInfo> partner = current(found->range->id);
            NumberInRange(found->name, value, partner ? *partner : *found->range);
        }
        automation::Type(panel, found->target, Utf16(value));
        break;
    }
    default:
        UsageError("\"" + found->name + "\" cannot be set");
    }
}

// The open panel of an instance, closed with apply 1 when the holder goes.
class OpenPanel {
public:
    OpenPanel(const TransitionInfo& info, TransitionAdapter* adapter) : adapter(adapter) {
        window = adapter->table->OpenSettings(adapter, nullptr, 0);
        if (window == nullptr) {
            if (!info.hasPanel) {
                UsageError(info.name + " has no settings panel, so it takes no --set");
            }
            IoError("the settings panel of " + info.name + " could not be opened");
        }
    }
    ~OpenPanel() { Close(); }
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;
    HWND Window() const { return window; }
    void Close() {
        if (window != nullptr) {
            adapter->table->CloseSettings(adapter, 1);
            window = nullptr;
        }
    }

private:
    TransitionAdapter* adapter;
    HWND window = nullptr;
};

std::string Pad(std::string text, size_t width) {
    text.append(text.size() < width ? width - text.size() : 1, ' ');
    return text;
}

} // namespace

void ApplySettings(const TransitionInfo& info, TransitionAdapter* adapter, const std::vector<std::string>& settings) {
    if (settings.empty()) {
        return;
    }
    OpenPanel panel(info, adapter);
    for (const std::string& setting : settings) {
        ApplyOne(info, panel.Window(), setting);
    }
    panel.Close();
}

std::string DescribePanel(const TransitionInfo& info, TransitionAdapter* adapter,
                          const std::vector<std::string>& settings) {
    std::string out = info.name + " (" + info.idText + ")";
    if (!info.hasPanel) {
        return out + " has no settings panel.\n";
    }
    OpenPanel panel(info, adapter);
    for (const std::string& setting : settings) {
        ApplyOne(info, panel.Window(), setting);
    }
    const std::vector<ControlInfo> controls = automation::Controls(panel.Window());
    const std::vector<Settable> list = Settables(controls);
    out += " settings panel, " + std::to_string(controls.size()) + " controls:\n";
    for (const ControlInfo& control : controls) {
        std::string state;
        switch (control.kind) {
        case ControlKind::RadioButton:
            state = control.checked ? "(*) chosen" : "( )";
            break;
        case ControlKind::CheckBox:
            state = control.checked ? "[x] on" : "[ ] off";
            break;
        case ControlKind::TrackBar:
        case ControlKind::UpDown:
            state = "position " + std::to_string(control.position) + ", range " + RangeText(control);
            break;
        case ControlKind::Edit:
            state = "\"" + Utf8(control.text) + "\"";
            break;
        default:
            break;
        }
        std::string text;
        if (control.kind != ControlKind::TrackBar && control.kind != ControlKind::UpDown &&
            control.kind != ControlKind::Edit) {
            text = "\"" + Readable(control.text) + "\"";
        }
        std::string setWith;
        for (const Settable& settable : list) {
            if (settable.target == control.id && control.id > 0 && settable.kind == control.kind) {
                switch (control.kind) {
                case ControlKind::RadioButton:
                    setWith = "--set \"" + settable.name + "\"";
                    break;
                case ControlKind::CheckBox:
                    setWith = "--set \"" + settable.name + "=on|off\"";
                    break;
                case ControlKind::TrackBar:
                case ControlKind::UpDown:
                case ControlKind::Edit:
                    setWith = "--set \"" + settable.name + "=N\"";
                    break;
                default:
                    break;
                }
                break;
            }
        }
        out += "  " + Pad(KindName(control.kind), 12) + Pad(text, 36) + Pad(state, 28) +
               (control.id > 0 ? "id " + std::to_string(control.id) : "") + (setWith.empty() ? "" : "  " + setWith) +
               "\n";
    }
    panel.Close();
    const std::vector<uint8_t> block = BlockOf(adapter);
    out += "block: " + (block.empty() ? std::string("(none)") : Hex(block)) + "\n";
    for (const ParamField& field : info.fields) {
        out += "  " + std::string(field.name) + " = " + std::to_string(FieldValue(block, field)) + "\n";
    }
    return out;
}

} // namespace wqtrans::tool
