#include "transitions/FourButtonGroup.h"

#include "transitions/PanelControls.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1010;

} // namespace

void FourButtonRead(HWND window, int32_t& value) { value = ReadRadioGroup(window, kFirstButton, kLastButton); }

INT_PTR FourButtonMessage(Transition& owner, int32_t& value, HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // A stored value outside 0 to 3 names no button of the group.
        CheckRadioGroup(window, kFirstButton, kLastButton, value);
        return 1;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id >= kFirstButton && id <= kLastButton) {
            FourButtonRead(window, value);
            owner.Finish();
        }
    }
    return 0;
}

int32_t FourButtonClose(Transition& owner, int32_t& value, int32_t apply) {
    if (apply != 0 && owner.Dialog() != nullptr) {
        FourButtonRead(owner.Dialog(), value);
    }
    return owner.Transition::CloseSettings(apply);
}

} // namespace wqtrans
