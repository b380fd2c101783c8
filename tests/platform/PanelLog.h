// A plain dialog procedure for the panel tests that writes down every message it gets.
#pragma once

#include <functional>
#include <vector>

#include "platform/Platform.h"

namespace wqtrans::test {

struct PanelMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct PanelLog {
    std::vector<PanelMessage> messages;
    // Called for each message after it is written down; may do anything a real
    // dialog procedure does (destroy its panel, for instance).
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> reaction;

    std::vector<PanelMessage> Of(UINT message) const {
        std::vector<PanelMessage> found;
        for (const PanelMessage& m : messages) {
            if (m.message == message) {
                found.push_back(m);
            }
        }
        return found;
    }
};

inline PanelLog& Log() {
    static PanelLog log;
    return log;
}

inline INT_PTR CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Log().messages.push_back({window, message, wParam, lParam});
    if (Log().reaction) {
        return Log().reaction(window, message, wParam, lParam);
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Opens template `id` with LoggingProc after clearing the log.
inline HWND OpenLogged(int id, HWND parent = nullptr, LPARAM init = 0) {
    Log().messages.clear();
    return CreateDialogParamW(nullptr, MAKEINTRESOURCEW(id), parent, &LoggingProc, init);
}

} // namespace wqtrans::test
