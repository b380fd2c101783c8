// The window objects behind the headless dialog manager (internal to platform/posix).
//
// Every panel and every control is a Window kept in one table under its handle.
// Handles are numbers that are never reused, so a stale handle is simply not found:
// IsWindow answers FALSE for it and no call ever touches freed memory. Code that
// sends a message keeps the handle, not the Window, and looks the window up again
// afterwards, since the receiver may destroy it meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace wqtrans::platform::windows {

enum class WindowClass { Panel, Button, Static, Edit, TrackBar, UpDown, Other };

struct Window {
    HWND handle = nullptr;
    HWND parent = nullptr; // a panel's parent may be a window of the host, unknown here
    WindowClass windowClass = WindowClass::Other;
    std::string className;
    int32_t id = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
    std::u16string text;
    std::vector<HWND> children; // in creation order: a panel's controls in template order

    // Panels: the dialog procedure and the dialog window slots.
    DLGPROC procedure = nullptr;
    LONG user = 0;
    LONG messageResult = 0;

    // Buttons.
    UINT check = BST_UNCHECKED;
    // Track bars and up-downs (an up-down keeps its range as set, the minimum may be
    // the larger value).
    int32_t position = 0;
    int32_t rangeMin = 0;
    int32_t rangeMax = 0;

    bool destroying = false;
};

// The window of `handle`, or null when it is not a window (any more).
Window* Find(HWND handle);
// The number of windows that exist now.
std::size_t Count();
// Replaces a control's text without the notification the control would send.
void SetTextQuietly(HWND handle, std::u16string_view text);

} // namespace wqtrans::platform::windows
