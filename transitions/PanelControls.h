// Reading and setting the controls of the settings panels, the same way in every panel.
//
//   CheckRadioGroup  checks button first + value among first to last; the sum is taken
//                    unsigned, so that a stored value of any size names no button of
//                    the group (none is then checked) rather than overflowing.
//   ReadRadioGroup   the value the group shows: 0, then each button after the first in
//                    increasing id order that is checked overwrites it with its offset
//                    from `first` (the first button is never tested).
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

#include "platform/Platform.h"

namespace wqtrans {

void CheckRadioGroup(HWND window, int first, int last, int32_t value);
int32_t ReadRadioGroup(HWND window, int first, int last);
int32_t ReadCheckBox(HWND window, int id);
void SetUpTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t position);
int32_t TrackBarPosition(HWND window, int id);
bool ReadTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t& value);
void ReadTrackBarUnlessZero(HWND window, int id, int32_t& value);

} // namespace wqtrans
