// The four-button radio group of the Push, Trame and Scrolling panels, built on the
// radio-group routines of PanelControls.h.
//
// Radio buttons 1007 to 1010 select the values 0 to 3 of a transition's first 32-bit
// parameter (button 1007 + value). The group is read back by setting the value to 0
// and then testing 1008, 1009 and 1010 in this order, a later checked button
// overwriting an earlier one (1007 is never tested).
//
//   FourButtonMessage  the panel's OnSettingsMessage for the group:
//                      WM_INITDIALOG checks button 1007 + value among 1007 to 1010 and
//                      returns 1; WM_COMMAND from a control 1007 to 1010 reads the
//                      value back with FourButtonRead, calls owner.Finish() to ask for
//                      a fresh preview and returns 0; anything else (a WM_COMMAND from
//                      another control included) returns 0 and changes nothing.
//   FourButtonRead     reads the buttons of `window` into `value` (no Finish).
//   FourButtonClose    the panel's CloseSettings: when apply is not 0 and the owner's
//                      panel is open, reads the buttons into `value` (no Finish); then
//                      closes the panel as the base Transition::CloseSettings does and
//                      returns its result (1).
#pragma once

#include <cstdint>

#include "module/Transition.h"

namespace wqtrans {

INT_PTR FourButtonMessage(Transition& owner, int32_t& value, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void FourButtonRead(HWND window, int32_t& value);
int32_t FourButtonClose(Transition& owner, int32_t& value, int32_t apply);

} // namespace wqtrans
