#include "transitions/FourButtonGroup.h"

#include "transitions/PanelControls.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1010;

} // namespace

void FourButtonRead(HWND window, int32_t& value) { value = ReadRadioGroup(window, kFirstButton, kLastButton); }

INT_PTR FourButtonMessage(Transition& owner, int32_t& value, HWND window, UINT message, WPARAM wParam, LPARAM) {
    // A stored value outside 0 to 3 names no button of the group.
    return RadioGroupMessage(owner, value, kFirstButton, kLastButton, window, message, wParam);
}

int32_t FourButtonClose(Transition& owner, int32_t& value, int32_t apply) {
    return RadioGroupClose(owner, value, kFirstButton, kLastButton, apply);
}

} // namespace wqtrans
