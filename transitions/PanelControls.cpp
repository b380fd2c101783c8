#include "transitions/PanelControls.h"

namespace wqtrans {

void CheckRadioGroup(HWND window, int first, int last, int32_t value) {
    CheckRadioButton(window, first, last,
                     static_cast<int>(static_cast<uint32_t>(first) + static_cast<uint32_t>(value)));
}

int32_t ReadRadioGroup(HWND window, int first, int last) {
    int32_t value = 0;
    for (int id = first + 1; id <= last; ++id) {
        if (IsDlgButtonChecked(window, id) != 0) {
            value = id - first;
        }
    }
    return value;
}

INT_PTR RadioGroupMessage(Transition& owner, int32_t& value, int first, int last, HWND window, UINT message,
                          WPARAM wParam) {
    if (message == WM_INITDIALOG) {
        CheckRadioGroup(window, first, last, value);
        return 1;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id >= first && id <= last) {
            value = ReadRadioGroup(window, first, last);
            owner.Finish();
        }
    }
    return 0;
}

int32_t RadioGroupClose(Transition& owner, int32_t& value, int first, int last, int32_t apply) {
    if (apply != 0 && owner.Dialog() != nullptr) {
        value = ReadRadioGroup(owner.Dialog(), first, last);
    }
    return owner.Transition::CloseSettings(apply);
}

int32_t ReadCheckBox(HWND window, int id) { return IsDlgButtonChecked(window, id) != 0 ? 1 : 0; }

void SetUpTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t position) {
    SendDlgItemMessageW(window, id, TBM_SETRANGE, 1, MAKELONG(min, max));
    SendDlgItemMessageW(window, id, TBM_SETPOS, 1, position);
}

int32_t TrackBarPosition(HWND window, int id) {
    return static_cast<int32_t>(SendDlgItemMessageW(window, id, TBM_GETPOS, 0, 0));
}

bool ReadTrackBar(HWND window, int id, int32_t min, int32_t max, int32_t& value) {
    const int32_t position = TrackBarPosition(window, id);
    if (position < min || position > max) {
        return false;
    }
    value = position;
    return true;
}

void ReadTrackBarUnlessZero(HWND window, int id, int32_t& value) {
    if (const int32_t position = TrackBarPosition(window, id); position != 0) {
        value = position;
    }
}

INT_PTR TrackBarPanelMessage(Transition& owner, const TrackBarField& bar, std::initializer_list<CheckBoxField> boxes,
                             HWND window, UINT message) {
    switch (message) {
    case WM_INITDIALOG:
        SetUpTrackBar(window, bar.id, bar.min, bar.max, bar.value);
        for (const CheckBoxField& box : boxes) {
            CheckDlgButton(window, box.id, static_cast<UINT>(box.value));
        }
        return 1;
    case WM_COMMAND:
        for (const CheckBoxField& box : boxes) {
            box.value = ReadCheckBox(window, box.id);
        }
        owner.Finish();
        return 0;
    case WM_HSCROLL:
        ReadTrackBar(window, bar.id, bar.min, bar.max, bar.value);
        owner.Finish();
        return 0;
    default:
        return 0;
    }
}

int32_t TrackBarPanelClose(Transition& owner, const TrackBarField& bar, std::initializer_list<CheckBoxField> boxes,
                           int32_t apply) {
    if (apply != 0 && owner.Dialog() != nullptr) {
        ReadTrackBarUnlessZero(owner.Dialog(), bar.id, bar.value);
        for (const CheckBoxField& box : boxes) {
            box.value = ReadCheckBox(owner.Dialog(), box.id);
        }
    }
    return owner.Transition::CloseSettings(apply);
}

} // namespace wqtrans
