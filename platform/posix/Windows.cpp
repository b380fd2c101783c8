// The headless dialog manager: panels built from the templates of resources/, their
// child controls with the state of the real controls (check state, text, track-bar
// and up-down positions and ranges), the dialog procedure and its window slots, and
// window destruction.
#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "platform/Platform.h"
#include "platform/posix/WindowObjects.h"
#include "resources/Resources.h"

namespace wqtrans::platform::windows {

namespace {

struct Table {
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10000; // handles are never reused
};

Table& Windows() {
    static Table table;
    return table;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

WindowClass ClassOf(std::string_view name) {
    if (SameName(name, "Button")) {
        return WindowClass::Button;
    }
    if (SameName(name, "Static")) {
        return WindowClass::Static;
    }
    if (SameName(name, "Edit")) {
        return WindowClass::Edit;
    }
    if (SameName(name, "msctls_trackbar32")) {
        return WindowClass::TrackBar;
    }
    if (SameName(name, "msctls_updown32")) {
        return WindowClass::UpDown;
    }
    return WindowClass::Other;
}

Window& Add(HWND parent) {
    Table& table = Windows();
    const uintptr_t value = table.nextHandle;
    table.nextHandle += 4;
    auto window = std::make_unique<Window>();
    window->handle = reinterpret_cast<HWND>(value);
    window->parent = parent;
    Window& added = *window;
    table.windows.emplace(value, std::move(window));
    if (Window* owner = Find(parent)) {
        owner->children.push_back(added.handle);
    }
    return added;
}

void MakeControl(HWND panel, const resources::ControlTemplate& control) {
    Window& window = Add(panel);
    window.className = control.className;
    window.windowClass = ClassOf(window.className);
    window.id = control.id;
    window.style = control.style;
    window.x = control.x;
    window.y = control.y;
    window.width = control.width;
    window.height = control.height;
    window.text = control.text;
    if (window.windowClass == WindowClass::TrackBar) {
        window.rangeMin = 0; // the real track bar starts with the range 0 to 100
        window.rangeMax = 100;
    } else if (window.windowClass == WindowClass::UpDown) {
        window.rangeMin = 100; // and the real up-down with 100 (minimum) to 0 (maximum)
        window.rangeMax = 0;
    }
}

uint32_t ButtonType(const Window& window) { return window.style & BS_TYPEMASK; }

// The highest check state a button takes: 2 for three-state boxes, 1 for other check
// boxes and radio buttons, 0 for push buttons and group boxes.
UINT MaxCheck(const Window& window) {
    switch (ButtonType(window)) {
    case BS_3STATE:
    case BS_AUTO3STATE:
        return BST_INDETERMINATE;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        return BST_CHECKED;
    default:
        return BST_UNCHECKED;
    }
}

// The other auto radio buttons of `button`'s group: a group runs from a control with
// WS_GROUP (or the panel's first control) to the control before the next WS_GROUP.
void UncheckGroup(const Window& button) {
    Window* panel = Find(button.parent);
    if (panel == nullptr) {
        return;
    }
    const auto& controls = panel->children;
    const auto at = std::find(controls.begin(), controls.end(), button.handle);
    if (at == controls.end()) {
        return;
    }
    auto first = at;
    while (first != controls.begin()) {
        const Window* control = Find(*first);
        if (control != nullptr && (control->style & WS_GROUP) != 0) {
            break;
        }
        --first;
    }
    for (auto it = first; it != controls.end(); ++it) {
        Window* control = Find(*it);
        if (control == nullptr) {
            continue;
        }
        if (it != first && (control->style & WS_GROUP) != 0) {
            break;
        }
        if (control != &button && control->windowClass == WindowClass::Button &&
            ButtonType(*control) == BS_AUTORADIOBUTTON) {
            control->check = BST_UNCHECKED;
        }
    }
}

// Sends the control's parent panel a notification, as the real control does.
void Notify(HWND control, UINT message, WPARAM wParam) {
    const Window* window = Find(control);
    if (window != nullptr && Find(window->parent) != nullptr) {
        SendMessageW(window->parent, message, wParam, reinterpret_cast<LPARAM>(control));
    }
}

void NotifyCommand(HWND control, WORD code) {
    const Window* window = Find(control);
    if (window != nullptr) {
        Notify(control, WM_COMMAND, MAKEWPARAM(window->id, code));
    }
}

int32_t Clamp(int32_t value, int32_t a, int32_t b) { return std::clamp(value, std::min(a, b), std::max(a, b)); }

// Messages that every window answers the same way (the text of the window).
LRESULT DefaultMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_SETTEXT: {
        const auto* text = reinterpret_cast<const char16_t*>(lParam);
        window->text = text != nullptr ? std::u16string(text) : std::u16string();
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char16_t*>(lParam);
        const std::size_t capacity = wParam;
        if (buffer == nullptr || capacity == 0) {
            return 0;
        }
        const std::size_t copied = std::min(window->text.size(), capacity - 1);
        std::copy_n(window->text.begin(), copied, buffer);
        buffer[copied] = u'\0';
        return static_cast<LRESULT>(copied);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(window->text.size());
    default:
        return 0;
    }
}

LRESULT ButtonMessage(Window& button, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case BM_GETCHECK:
        return button.check;
    case BM_SETCHECK:
        button.check = std::min(static_cast<UINT>(wParam), MaxCheck(button));
        return 0;
    case BM_CLICK: {
        const HWND handle = button.handle;
        if ((button.style & WS_DISABLED) != 0 || ButtonType(button) == BS_GROUPBOX) {
            return 0;
        }
        switch (ButtonType(button)) {
        case BS_AUTOCHECKBOX:
            button.check = button.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
            break;
        case BS_AUTO3STATE:
            button.check = (button.check + 1) % 3;
            break;
        case BS_AUTORADIOBUTTON:
            button.check = BST_CHECKED;
            UncheckGroup(button);
            break;
        default:
            break; // other buttons only tell the panel
        }
        NotifyCommand(handle, BN_CLICKED);
        return 0;
    }
    default:
        return DefaultMessage(button.handle, message, wParam, lParam);
    }
}

LRESULT TrackBarMessage(Window& bar, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case TBM_GETPOS:
        return bar.position;
    case TBM_GETRANGEMIN:
        return bar.rangeMin;
    case TBM_GETRANGEMAX:
        return bar.rangeMax;
    case TBM_SETPOS:
        // Clamped to the range, as the real control does.
        bar.position = std::max(bar.rangeMin, std::min(static_cast<int32_t>(lParam), bar.rangeMax));
        return 0;
    case TBM_SETRANGE:
        bar.rangeMin = static_cast<int16_t>(LOWORD(lParam));
        bar.rangeMax = static_cast<int16_t>(HIWORD(lParam));
        break;
    case TBM_SETRANGEMIN:
        bar.rangeMin = static_cast<int32_t>(lParam);
        break;
    case TBM_SETRANGEMAX:
        bar.rangeMax = static_cast<int32_t>(lParam);
        break;
    default:
        return DefaultMessage(bar.handle, message, wParam, lParam);
    }
    // A new range moves the thumb into it.
    bar.position = std::max(bar.rangeMin, std::min(bar.position, bar.rangeMax));
    return 0;
}

LRESULT UpDownMessage(Window& upDown, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case UDM_SETRANGE:
        // Low word the maximum, high word the minimum; the position stays as it is.
        upDown.rangeMax = static_cast<int16_t>(LOWORD(lParam));
        upDown.rangeMin = static_cast<int16_t>(HIWORD(lParam));
        return 0;
    case UDM_GETRANGE:
        return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(upDown.rangeMax, upDown.rangeMin)));
    case UDM_SETPOS: {
        const int32_t previous = upDown.position;
        upDown.position = Clamp(static_cast<int16_t>(LOWORD(lParam)), upDown.rangeMin, upDown.rangeMax);
        return previous;
    }
    case UDM_GETPOS:
        // The position in the low word. The high word reports an error: these
        // up-downs have no buddy window, and the real control then always sets it.
        return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(upDown.position, 1)));
    case UDM_GETBUDDY:
    case UDM_SETBUDDY:
        return 0;
    default:
        return DefaultMessage(upDown.handle, message, wParam, lParam);
    }
}

LRESULT EditMessage(Window& edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETTEXT) {
        return DefaultMessage(edit.handle, message, wParam, lParam);
    }
    const HWND handle = edit.handle;
    const bool multiline = (edit.style & ES_MULTILINE) != 0;
    const LRESULT result = DefaultMessage(handle, message, wParam, lParam);
    // A single-line edit box tells its panel of every new text, set text included.
    if (!multiline) {
        NotifyCommand(handle, EN_CHANGE);
    }
    return result;
}

// What the panel's window procedure does: it calls the dialog procedure. A handled
// message answers the DWL_MSGRESULT slot, except WM_INITDIALOG, which answers the
// procedure's own result; a message the procedure leaves answers 0 (a headless panel
// has no caption, frame or painting of its own to fall back on).
LRESULT PanelMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    const Window* panel = Find(handle);
    const DLGPROC procedure = panel->procedure;
    const INT_PTR handled = procedure != nullptr ? procedure(handle, message, wParam, lParam) : 0;
    if (message == WM_INITDIALOG) {
        return handled;
    }
    if (handled != 0) {
        panel = Find(handle);
        return panel != nullptr ? panel->messageResult : 0;
    }
    return 0;
}

// Destruction in the real order: WM_DESTROY to a window before its children, then
// the children are freed before the window, each after its WM_NCDESTROY.
void SendDestroy(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return;
    }
    window->destroying = true;
    SendMessageW(handle, WM_DESTROY, 0, 0);
    window = Find(handle);
    if (window == nullptr) {
        return;
    }
    const std::vector<HWND> children = window->children;
    for (HWND child : children) {
        if (Window* control = Find(child); control != nullptr && !control->destroying) {
            SendDestroy(child);
        }
    }
}

void Free(HWND handle) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return;
    }
    const std::vector<HWND> children = window->children;
    for (HWND child : children) {
        Free(child);
    }
    SendMessageW(handle, WM_NCDESTROY, 0, 0);
    window = Find(handle);
    if (window == nullptr) {
        return;
    }
    if (Window* parent = Find(window->parent)) {
        std::erase(parent->children, handle);
    }
    Windows().windows.erase(reinterpret_cast<uintptr_t>(handle));
}

} // namespace

Window* Find(HWND handle) {
    auto& windows = Windows().windows;
    const auto found = windows.find(reinterpret_cast<uintptr_t>(handle));
    return found != windows.end() ? found->second.get() : nullptr;
}

std::size_t Count() { return Windows().windows.size(); }

void SetTextQuietly(HWND handle, std::u16string_view text) {
    if (Window* window = Find(handle)) {
        window->text = text;
    }
}

} // namespace wqtrans::platform::windows

using wqtrans::platform::windows::Find;
using wqtrans::platform::windows::Window;
using wqtrans::platform::windows::WindowClass;

HWND CreateDialogParamW(HINSTANCE, LPCWSTR templateName, HWND parent, DLGPROC dialogProc, LPARAM initParam) {
    if (!IS_INTRESOURCE(templateName)) {
        return nullptr; // templates are known by number only
    }
    const auto* dialog = wqtrans::resources::FindDialog(static_cast<int32_t>(reinterpret_cast<UINT_PTR>(templateName)));
    if (dialog == nullptr) {
        return nullptr;
    }
    Window& panel = wqtrans::platform::windows::Add(parent);
    panel.windowClass = WindowClass::Panel;
    panel.className = "#32770"; // the real dialog class
    panel.style = WS_CHILD | DS_SETFONT;
    panel.width = dialog->width;
    panel.height = dialog->height;
    panel.procedure = dialogProc;
    const HWND handle = panel.handle;
    for (const auto& control : dialog->controls) {
        wqtrans::platform::windows::MakeControl(handle, control);
    }
    // The first control with a tab stop gets the focus: WM_INITDIALOG names it.
    HWND focus = nullptr;
    for (HWND child : panel.children) {
        const Window* control = Find(child);
        if ((control->style & WS_TABSTOP) != 0 && (control->style & WS_DISABLED) == 0) {
            focus = child;
            break;
        }
    }
    SendMessageW(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    // A panel that destroyed itself while it was being set up is not handed out.
    return Find(handle) != nullptr ? handle : nullptr;
}

BOOL IsWindow(HWND window) { return Find(window) != nullptr ? TRUE : FALSE; }

BOOL DestroyWindow(HWND window) {
    Window* found = Find(window);
    if (found == nullptr) {
        return FALSE;
    }
    if (found->destroying) {
        return TRUE; // already on its way out: a call from its own WM_DESTROY
    }
    wqtrans::platform::windows::SendDestroy(window);
    wqtrans::platform::windows::Free(window);
    return TRUE;
}

LONG GetWindowLongW(HWND window, int index) {
    const Window* found = Find(window);
    if (found == nullptr || found->windowClass != WindowClass::Panel) {
        return 0;
    }
    switch (index) {
    case DWL_MSGRESULT:
        return found->messageResult;
    case DWL_DLGPROC:
        return static_cast<LONG>(reinterpret_cast<intptr_t>(found->procedure));
    case DWL_USER:
        return found->user;
    default:
        return 0;
    }
}

LONG SetWindowLongW(HWND window, int index, LONG value) {
    Window* found = Find(window);
    if (found == nullptr || found->windowClass != WindowClass::Panel) {
        return 0;
    }
    LONG previous = 0;
    switch (index) {
    case DWL_MSGRESULT:
        previous = found->messageResult;
        found->messageResult = value;
        break;
    case DWL_DLGPROC:
        previous = static_cast<LONG>(reinterpret_cast<intptr_t>(found->procedure));
        found->procedure = reinterpret_cast<DLGPROC>(static_cast<intptr_t>(value));
        break;
    case DWL_USER:
        previous = found->user;
        found->user = value;
        break;
    default:
        break;
    }
    return previous;
}

HWND GetParent(HWND window) {
    const Window* found = Find(window);
    return found != nullptr ? found->parent : nullptr;
}

int GetDlgCtrlID(HWND control) {
    const Window* found = Find(control);
    return found != nullptr && found->windowClass != WindowClass::Panel ? found->id : 0;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    using namespace wqtrans::platform::windows;
    Window* found = Find(window);
    if (found == nullptr) {
        return 0;
    }
    switch (found->windowClass) {
    case WindowClass::Panel:
        return PanelMessage(window, message, wParam, lParam);
    case WindowClass::Button:
        return ButtonMessage(*found, message, wParam, lParam);
    case WindowClass::TrackBar:
        return TrackBarMessage(*found, message, wParam, lParam);
    case WindowClass::UpDown:
        return UpDownMessage(*found, message, wParam, lParam);
    case WindowClass::Edit:
        return EditMessage(*found, message, wParam, lParam);
    default:
        return DefaultMessage(window, message, wParam, lParam);
    }
}
