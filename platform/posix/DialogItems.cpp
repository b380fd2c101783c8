// The dialog-item calls: controls found by id in a panel, buttons, numbers and texts.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/WindowObjects.h"

using wqtrans::platform::windows::Find;
using wqtrans::platform::windows::Window;

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Reads a number as the real call does: white space first, then a sign only when
// signed, then decimal digits; the first other character ends the number, so "12a"
// and "42 " read 12 and 42. It fails when no digit comes first, or when the digits
// give a value that does not fit (above 4294967295 unsigned, outside -2147483648 to
// 2147483647 signed), as the system's call does.
bool ParseNumber(const std::u16string& text, bool isSigned, UINT& value) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    bool negative = false;
    if (isSigned && at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
        negative = text[at] == u'-';
        ++at;
    }
    const uint64_t limit = !isSigned ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    const std::size_t first = at;
    uint64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
        // Once past the limit it stays past it, without overflowing 64 bits.
        magnitude = std::min(magnitude * 10 + static_cast<uint64_t>(text[at] - u'0'), limit + 1);
    }
    if (at == first || magnitude > limit) {
        return false;
    }
    value = negative ? static_cast<UINT>(0u - static_cast<uint32_t>(magnitude)) : static_cast<UINT>(magnitude);
    return true;
}

} // namespace

HWND GetDlgItem(HWND dialog, int id) {
    const Window* panel = Find(dialog);
    if (panel == nullptr) {
        return nullptr;
    }
    for (HWND child : panel->children) {
        const Window* control = Find(child);
        if (control != nullptr && control->id == id) {
            return child;
        }
    }
    return nullptr;
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageW(control, message, wParam, lParam) : 0;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
    const Window* panel = Find(dialog);
    if (panel == nullptr) {
        return FALSE;
    }
    // Every control of the panel whose id lies in the range, whatever its kind.
    const std::vector<HWND> children = panel->children;
    for (HWND child : children) {
        const Window* control = Find(child);
        if (control != nullptr && control->id >= firstId && control->id <= lastId) {
            SendMessageW(child, BM_SETCHECK, control->id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    return TRUE;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated != nullptr) {
        *translated = FALSE;
    }
    const Window* control = Find(GetDlgItem(dialog, id));
    UINT value = 0;
    if (control == nullptr || !ParseNumber(control->text, isSigned != FALSE, value)) {
        return 0;
    }
    if (translated != nullptr) {
        *translated = TRUE;
    }
    return value;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    const bool negative = isSigned != FALSE && static_cast<int32_t>(value) < 0;
    uint32_t magnitude = negative ? 0u - value : value;
    std::u16string text;
    do {
        text.insert(text.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        text.insert(text.begin(), u'-');
    }
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return TRUE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return TRUE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int capacity) {
    const HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) {
        if (buffer != nullptr && capacity > 0) {
            buffer[0] = u'\0';
        }
        return 0;
    }
    if (capacity < 0) {
        return 0;
    }
    return static_cast<UINT>(
        SendMessageW(control, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
}
