// Driving a headless panel: each action changes the control, then sends the panel the
// message that the real control sends when a person uses it.
#include "platform/Automation.h"

#include <algorithm>

#include "platform/posix/WindowObjects.h"

namespace wqtrans::automation {

namespace {

using platform::windows::Find;
using platform::windows::Window;
using platform::windows::WindowClass;

ControlKind KindOf(const Window& window) {
    switch (window.windowClass) {
    case WindowClass::Button:
        switch (window.style & BS_TYPEMASK) {
        case BS_GROUPBOX:
            return ControlKind::GroupBox;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return ControlKind::RadioButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
            return ControlKind::CheckBox;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            return ControlKind::PushButton;
        default:
            return ControlKind::Other;
        }
    case WindowClass::Static:
        return ControlKind::Label;
    case WindowClass::Edit:
        return ControlKind::Edit;
    case WindowClass::TrackBar:
        return ControlKind::TrackBar;
    case WindowClass::UpDown:
        return ControlKind::UpDown;
    default:
        return ControlKind::Other;
    }
}

ControlInfo Describe(const Window& window) {
    ControlInfo info;
    info.window = window.handle;
    info.id = window.id;
    info.className = window.className;
    info.kind = KindOf(window);
    info.text = window.text;
    info.style = window.style;
    info.x = window.x;
    info.y = window.y;
    info.width = window.width;
    info.height = window.height;
    info.checked = window.check == BST_CHECKED;
    if (info.kind == ControlKind::TrackBar || info.kind == ControlKind::UpDown) {
        info.position = window.position;
        info.rangeMin = window.rangeMin;
        info.rangeMax = window.rangeMax;
    }
    return info;
}

// The control `id` of the panel `dialog` when it is of `kind`, or null.
const Window* ControlOf(HWND dialog, int32_t id, ControlKind kind) {
    const Window* panel = Find(dialog);
    if (panel == nullptr || panel->windowClass != WindowClass::Panel) {
        return nullptr;
    }
    const Window* control = Find(GetDlgItem(dialog, id));
    return control != nullptr && KindOf(*control) == kind ? control : nullptr;
}

} // namespace

const char* KindName(ControlKind kind) {
    switch (kind) {
    case ControlKind::GroupBox:
        return "group box";
    case ControlKind::RadioButton:
        return "radio button";
    case ControlKind::CheckBox:
        return "check box";
    case ControlKind::PushButton:
        return "push button";
    case ControlKind::Label:
        return "label";
    case ControlKind::Edit:
        return "edit box";
    case ControlKind::TrackBar:
        return "track bar";
    case ControlKind::UpDown:
        return "up-down";
    case ControlKind::Other:
        break;
    }
    return "control";
}

std::vector<ControlInfo> Controls(HWND dialog) {
    std::vector<ControlInfo> controls;
    const Window* panel = Find(dialog);
    if (panel == nullptr || panel->windowClass != WindowClass::Panel) {
        return controls;
    }
    for (HWND child : panel->children) {
        if (const Window* control = Find(child)) {
            controls.push_back(Describe(*control));
        }
    }
    return controls;
}

std::optional<ControlInfo> Control(HWND dialog, int32_t id) {
    const Window* panel = Find(dialog);
    if (panel == nullptr || panel->windowClass != WindowClass::Panel) {
        return std::nullopt;
    }
    const Window* control = Find(GetDlgItem(dialog, id));
    if (control == nullptr) {
        return std::nullopt;
    }
    return Describe(*control);
}

bool Click(HWND dialog, int32_t id) {
    const Window* button = ControlOf(dialog, id, ControlKind::RadioButton);
    if (button == nullptr) {
        button = ControlOf(dialog, id, ControlKind::CheckBox);
    }
    if (button == nullptr || (button->style & WS_DISABLED) != 0) {
        return false;
    }
    // The button changes its state and sends WM_COMMAND with BN_CLICKED.
    SendMessageW(button->handle, BM_CLICK, 0, 0);
    return true;
}

bool MoveTrackBar(HWND dialog, int32_t id, int32_t position) {
    const Window* bar = ControlOf(dialog, id, ControlKind::TrackBar);
    if (bar == nullptr || (bar->style & WS_DISABLED) != 0) {
        return false;
    }
    const HWND handle = bar->handle;
    const UINT message = (bar->style & TBS_VERT) != 0 ? WM_VSCROLL : WM_HSCROLL;
    SendMessageW(handle, TBM_SETPOS, TRUE, position);
    const auto now = static_cast<int32_t>(SendMessageW(handle, TBM_GETPOS, 0, 0));
    SendMessageW(dialog, message, MAKEWPARAM(TB_THUMBPOSITION, now), reinterpret_cast<LPARAM>(handle));
    return true;
}

bool MoveUpDown(HWND dialog, int32_t id, int32_t position) {
    const Window* upDown = ControlOf(dialog, id, ControlKind::UpDown);
    if (upDown == nullptr || (upDown->style & WS_DISABLED) != 0) {
        return false;
    }
    const HWND handle = upDown->handle;
    const UINT message = (upDown->style & UDS_HORZ) != 0 ? WM_HSCROLL : WM_VSCROLL;
    // The 16-bit control: positions beyond its reach stop at its limits.
    const int32_t wanted = std::clamp(position, -32768, 32767);
    SendMessageW(handle, UDM_SETPOS, 0, MAKELPARAM(wanted, 0));
    const auto now = static_cast<int16_t>(LOWORD(SendMessageW(handle, UDM_GETPOS, 0, 0)));
    SendMessageW(dialog, message, MAKEWPARAM(SB_THUMBPOSITION, now), reinterpret_cast<LPARAM>(handle));
    return true;
}

bool Type(HWND dialog, int32_t id, std::u16string_view text) {
    const Window* edit = ControlOf(dialog, id, ControlKind::Edit);
    if (edit == nullptr || (edit->style & WS_DISABLED) != 0) {
        return false;
    }
    const HWND handle = edit->handle;
    platform::windows::SetTextQuietly(handle, text);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(handle));
    return true;
}

std::size_t LiveWindows() { return platform::windows::Count(); }

} // namespace wqtrans::automation
