// Temporary: window calls that do nothing, until the headless dialog manager lands.
#include "platform/Platform.h"

HWND CreateDialogParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) { return nullptr; }
BOOL IsWindow(HWND) { return FALSE; }
BOOL DestroyWindow(HWND) { return FALSE; }
LONG GetWindowLongW(HWND, int) { return 0; }
LONG SetWindowLongW(HWND, int, LONG) { return 0; }
HWND GetDlgItem(HWND, int) { return nullptr; }
int GetDlgCtrlID(HWND) { return 0; }
HWND GetParent(HWND) { return nullptr; }
LRESULT SendMessageW(HWND, UINT, WPARAM, LPARAM) { return 0; }
LRESULT SendDlgItemMessageW(HWND, int, UINT, WPARAM, LPARAM) { return 0; }
BOOL CheckRadioButton(HWND, int, int, int) { return FALSE; }
BOOL CheckDlgButton(HWND, int, UINT) { return FALSE; }
UINT IsDlgButtonChecked(HWND, int) { return 0; }
UINT GetDlgItemInt(HWND, int, BOOL* translated, BOOL) {
    if (translated != nullptr) {
        *translated = FALSE;
    }
    return 0;
}
BOOL SetDlgItemInt(HWND, int, UINT, BOOL) { return FALSE; }
BOOL SetDlgItemTextW(HWND, int, LPCWSTR) { return FALSE; }
UINT GetDlgItemTextW(HWND, int, LPWSTR, int) { return 0; }
