// Settings panels driven as a person would, through the reading that host/PanelSettings.h
// shares with the other hosts: --set applies settings, the panel command shows them.
#include "host/PanelSettings.h"
#include "platform/Automation.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

using automation::ControlInfo;
using automation::ControlKind;
using automation::KindName;
using panel::RangeText;
using panel::Readable;
using panel::Settable;

// A setting the panel cannot take is a usage error.
void ApplyOne(const TransitionInfo& info, HWND panel, const std::string& setting) {
    if (panel::Settables(automation::Controls(panel)).empty()) {
        UsageError(info.name + "'s panel has no control to set, so it takes no --set");
    }
    try {
        panel::Apply(panel, info.name, setting);
    } catch (const panel::SettingError& e) {
        UsageError(e.what());
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
    const std::vector<Settable> list = panel::Settables(controls);
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
