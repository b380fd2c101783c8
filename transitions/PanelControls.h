// Reading and setting the controls of the settings panels, the same way in every panel.
//
//   CheckRadioGroup  checks button first + value among first to last; the sum is taken
//                    unsigned, so that a stored value of any size names no button of
//                    the group (none is then checked) rather than overflowing.
//   ReadRadioGroup   the value the group shows: 0, then each button after the first in
//                    increasing id order that is checked overwrites it with its offset
//                    from `first` (the first button is never tested).
//   RadioGroupMessage  the whole panel of a transition whose one control is a radio
//                    group: WM_INITDIALOG checks the group with CheckRadioGroup and
//                    returns 1; WM_COMMAND from a button of the group reads it into
//                    `value` and calls owner.Finish() to ask for a fresh preview; every
//                    other message (a command from another control included) changes
//                    nothing; all but WM_INITDIALOG return 0.
//   RadioGroupClose  the CloseSettings of such a panel: with apply not 0 and the
//                    panel open, reads the group into `value` (no Finish); then closes
//                    the panel as Transition::CloseSettings does and returns its result.
//   TrackBarPanelMessage  the whole panel of a transition with one track bar and
//                    check boxes: WM_INITDIALOG sets up the track bar, then checks
//                    each box as its parameter says (in the order given) and returns
//                    1; WM_COMMAND, from any control, reads every box and calls
//                    owner.Finish(); WM_HSCROLL takes the track bar's position when it
//                    lies within the bar's range and calls owner.Finish(); all but
//                    WM_INITDIALOG return 0.
//   TrackBarPanelClose  the CloseSettings of such a panel: with apply not 0 and the
//                    panel open, takes the track bar's position unless it is 0, then
//                    reads every box (no Finish); then closes the panel as
//                    Transition::CloseSettings does and returns its result.
//   ReadCheckBox     1 when the check box is checked, else 0.
//   SetUpTrackBar    sets the track bar's range (TBM_SETRANGE, redraw 1, minimum in the
//                    low word, maximum in the high word), then its position (TBM_SETPOS).
//   TrackBarPosition the track bar's position (TBM_GETPOS), signed.
//   ReadTrackBar     stores the track bar's position in `value` when it lies within
//                    min to max and tells whether it did.
//   ReadTrackBarUnlessZero  stores the track bar's position in `value` unless it is 0
//                    (a panel closing keeps the old value then).
#pragma once

#include <cstdint>
#include <initializer_list>

#include "module/Transition.h"
#include "platform/Platform.h"

namespace wqtrans {

// A track bar of a panel, the range it accepts and the parameter it shows.
struct TrackBarField {
    int id;
    int32_t min;
    int32_t max;
    int32_t& value;
};

// A check box of a panel and the parameter it shows (0 or 1).
struct CheckBoxField {
    int id;
    int32_t& value;
};

void CheckRadioGroup(HWND window, int first, int last, int32_t value);
int32_t ReadRadioGroup(HWND window, int first, int last);
INT_PTR RadioGroupMessage(Transition& owner, int32_t& value, int first, int last, HWND window, UINT message,
                          WPARAM wParam);
int32_t RadioGroupClose(Transition& owner, int32_t& value, int first, int last, int32_t apply);
INT_PTR TrackBarPanelMessage(Transition& owner, const TrackBarField& bar, std::initializer_list<CheckBoxField> boxes,
                             HWND window, UINT message);
int32_t TrackBarPanelClose(Transition& owner, const TrackBarField& bar, std::initializer_list<CheckBoxField> boxes,
                           int32_t apply);
int32_t ReadCheckBox(HWND window, int id);
void SetUpTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t position);
int32_t TrackBarPosition(HWND window, int id);
bool ReadTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t& value);
void ReadTrackBarUnlessZero(HWND window, int id, int32_t& value);

} // namespace wqtrans
