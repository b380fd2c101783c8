// Driving an open settings panel as a person would, on platforms where panels are
// headless (the stand-in of platform/posix). Hosts on such platforms, the
// command-line tool and the tests use it to show a panel's controls and to click,
// slide and type in them; each action changes the control first and then sends the
// panel the message the real control sends, so the panel's own rules apply.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform.h"

namespace wqtrans::automation {

enum class ControlKind { GroupBox, RadioButton, CheckBox, PushButton, Label, Edit, TrackBar, UpDown, Other };

struct ControlInfo {
    HWND window = nullptr;
    int32_t id = 0;
    std::string className; // the window class, e.g. "Button", "msctls_trackbar32"
    ControlKind kind = ControlKind::Other;
    std::u16string text; // as the control shows it now (with its & markers)
    uint32_t style = 0;
    int32_t x = 0, y = 0, width = 0, height = 0; // dialog units, as in the template
    bool checked = false;                        // radio buttons and check boxes
    int32_t position = 0;                        // track bars and up-downs
    int32_t rangeMin = 0;                        // track bars and up-downs
    int32_t rangeMax = 0;
};

// The kind as a person names it: "radio button", "track bar", "up-down", ...
WQ_API const char* KindName(ControlKind kind);

// The panel's controls in template order; empty when `dialog` is not a panel.
WQ_API std::vector<ControlInfo> Controls(HWND dialog);
// One control by id, or nothing.
WQ_API std::optional<ControlInfo> Control(HWND dialog, int32_t id);

// Clicks a radio button or check box: an auto radio button becomes checked and the
// others of its group unchecked, an auto check box toggles; then the panel receives
// WM_COMMAND (BN_CLICKED, the id). False when there is no such button.
WQ_API bool Click(HWND dialog, int32_t id);
// Moves a track bar: the position is set (clamped to the range as the real control
// does), then the panel receives WM_HSCROLL (WM_VSCROLL for a vertical track bar)
// with TB_THUMBPOSITION and the position. False when there is no such track bar.
WQ_API bool MoveTrackBar(HWND dialog, int32_t id, int32_t position);
// Moves an up-down control: the position is set (clamped to its range), then the
// panel receives WM_VSCROLL (WM_HSCROLL for UDS_HORZ) with SB_THUMBPOSITION and the
// position. False when there is no such control.
WQ_API bool MoveUpDown(HWND dialog, int32_t id, int32_t position);
// Types into an edit box: its text is replaced, then the panel receives WM_COMMAND
// with EN_CHANGE. False when there is no such edit box.
WQ_API bool Type(HWND dialog, int32_t id, std::u16string_view text);

// Where controls lie on a panel, for reading it as a person does: which value control
// a label names, which radio buttons a group box holds.

// The gap between two controls' rectangles in dialog units (0 when they overlap).
inline int32_t Gap(const ControlInfo& a, const ControlInfo& b) {
    const int32_t dx = std::max({0, b.x - (a.x + a.width), a.x - (b.x + b.width)});
    const int32_t dy = std::max({0, b.y - (a.y + a.height), a.y - (b.y + b.height)});
    return dx + dy;
}

// Whether `inner` lies wholly within `outer`.
inline bool Inside(const ControlInfo& inner, const ControlInfo& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// The value control a label names: the nearest track bar or edit box, else the
// nearest up-down; the first in template order among equally near ones.
inline std::optional<ControlInfo> ValueControlOf(const ControlInfo& label, const std::vector<ControlInfo>& controls) {
    for (bool upDowns : {false, true}) {
        const ControlInfo* best = nullptr;
        for (const ControlInfo& control : controls) {
            const bool eligible = upDowns
                                      ? control.kind == ControlKind::UpDown
                                      : (control.kind == ControlKind::TrackBar || control.kind == ControlKind::Edit);
            if (eligible && (best == nullptr || Gap(label, control) < Gap(label, *best))) {
                best = &control;
            }
        }
        if (best != nullptr) {
            return *best;
        }
    }
    return std::nullopt;
}

// Every window (panel or control) that exists now; for leak checks in tests.
WQ_API std::size_t LiveWindows();

} // namespace wqtrans::automation
