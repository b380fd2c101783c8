#include "host/PanelSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace wqtrans::panel {

using automation::ControlInfo;
using automation::ControlKind;
using automation::KindName;

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        uint32_t c = b;
        int extra = 0;
        if (b >= 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

namespace {

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
        throw SettingError("\"" + name + "\" takes a whole number from " + std::to_string(low) + " to " +
                           std::to_string(high) + ", not \"" + value + "\"");
    }
    if (*number < low || *number > high) {
        throw SettingError("\"" + name + "\" takes " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
                           std::to_string(*number));
    }
    return *number;
}

// The settable a label names: as typed, or with its & markers taken out.
const Settable* Lookup(const std::vector<Settable>& list, const std::string& name) {
    const std::string keys[2] = {Key(name), Key(Readable(Utf16(name)))};
    for (const Settable& settable : list) {
        for (const std::string& key : keys) {
            if (std::find(settable.keys.begin(), settable.keys.end(), key) != settable.keys.end()) {
                return &settable;
            }
        }
    }
    return nullptr;
}

} // namespace

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

std::string PanelControls(const std::vector<Settable>& list, const std::vector<ControlInfo>& controls) {
    std::string text;
    for (const Settable& settable : list) {
        text += (text.empty() ? "" : ", ") + Describe(settable, controls);
    }
    return text;
}

std::vector<Field> Fields(HWND panel) {
    const std::vector<ControlInfo> controls = automation::Controls(panel);
    std::vector<Field> fields;
    for (const Settable& settable : Settables(controls)) {
        Field field;
        field.name = settable.name;
        field.kind = settable.kind;
        const std::optional<ControlInfo> control = automation::Control(panel, settable.target);
        switch (settable.kind) {
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
            field.on = control && control->checked;
            break;
        case ControlKind::GroupBox:
            for (const ControlInfo& button : settable.choices) {
                const std::optional<ControlInfo> now = automation::Control(panel, button.id);
                field.choices.push_back(Readable(button.text));
                if (now && now->checked && field.choice.empty()) {
                    field.choice = field.choices.back();
                }
            }
            break;
        case ControlKind::TrackBar:
        case ControlKind::UpDown:
            if (control) {
                field.range = Range(*control);
                field.position = control->position;
            }
            break;
        case ControlKind::Edit:
            if (control) {
                field.text = Utf8(control->text);
            }
            if (settable.range) {
                const std::optional<ControlInfo> partner = automation::Control(panel, settable.range->id);
                field.range = Range(partner ? *partner : *settable.range);
            }
            break;
        default:
            break;
        }
        fields.push_back(std::move(field));
    }
    return fields;
}

std::optional<Field> FieldOf(HWND panel, const std::string& label) {
    const std::vector<Settable> list = Settables(automation::Controls(panel));
    const Settable* found = Lookup(list, label);
    if (found != nullptr) {
        for (Field& field : Fields(panel)) {
            if (field.name == found->name && field.kind == found->kind) {
                return field;
            }
        }
    }
    return std::nullopt;
}

void Apply(HWND panel, const std::string& transition, const std::string& setting) {
    const std::vector<ControlInfo> controls = automation::Controls(panel);
    const std::vector<Settable> list = Settables(controls);
    const size_t equals = setting.find('=');
    const std::string name = Trim(setting.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : Trim(setting.substr(equals + 1));
    const bool hasValue = equals != std::string::npos;
    if (list.empty()) {
        throw SettingError(transition + "'s panel has no control to set");
    }
    const Settable* found = Lookup(list, name);
    if (found == nullptr) {
        throw SettingError(transition + "'s panel has no control \"" + name +
                           "\"; its controls are: " + PanelControls(list, controls));
    }
    auto current = [&](int32_t id) { return automation::Control(panel, id); };
    switch (found->kind) {
    case ControlKind::RadioButton: {
        const std::optional<bool> on = OnOff(value);
        if (!on || !*on) {
            throw SettingError("\"" + found->name + "\" is a radio button: it can only be chosen (\"" + found->name +
                               "\" or \"" + found->name + "=on\"); choose another button of its group to leave it");
        }
        automation::Click(panel, found->target);
        break;
    }
    case ControlKind::CheckBox: {
        const std::optional<bool> on = OnOff(value);
        if (!on) {
            throw SettingError("\"" + found->name + "\" takes on or off, not \"" + value + "\"");
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
        throw SettingError("\"" + found->name + "\" has no choice \"" + value + "\"; choose one of: " + choices);
    }
    case ControlKind::TrackBar:
    case ControlKind::UpDown: {
        const std::optional<ControlInfo> control = current(found->target);
        if (!hasValue || !control) {
            throw SettingError("\"" + found->name + "\" takes a number: \"" + found->name + "=N\"");
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
            throw SettingError("\"" + found->name + "\" takes a value: \"" + found->name + "=VALUE\"");
        }
        if (found->range) {
            const std::optional<ControlInfo> partner = current(found->range->id);
            NumberInRange(found->name, value, partner ? *partner : *found->range);
        }
        automation::Type(panel, found->target, Utf16(value));
        break;
    }
    default:
        throw SettingError("\"" + found->name + "\" cannot be set");
    }
}

} // namespace wqtrans::panel
