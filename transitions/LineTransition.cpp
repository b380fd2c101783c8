#include "transitions/LineTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kTrackBar = 1025;
constexpr int kHorizontal = 1007;
constexpr int kVertical = 1008;
constexpr int kScrolling = 1026;
constexpr int32_t kMinLines = 1;
constexpr int32_t kMaxLines = 20;

} // namespace

LineTransition::LineTransition() {
    nameId = 1022;
    dialogId = 109;
}

Transition* LineTransition::Clone() { return new (std::nothrow) LineTransition(); }

uint32_t LineTransition::GetID() { return kId; }

int32_t LineTransition::GetParams(void* out) { return WriteBlock(out, lineCount, orientation, scrolling); }

void LineTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, lineCount, orientation, scrolling);
}

INT_PTR LineTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetUpTrackBar(window, kTrackBar, kMinLines, kMaxLines, lineCount);
        CheckRadioGroup(window, kHorizontal, kVertical, orientation);
        CheckDlgButton(window, kScrolling, static_cast<UINT>(scrolling));
        return 1;
    case WM_COMMAND: {
        scrolling = ReadCheckBox(window, kScrolling);
        const int id = LOWORD(wParam);
        if (id == kHorizontal || id == kVertical) {
            orientation = ReadRadioGroup(window, kHorizontal, kVertical);
        }
        Finish();
        return 0;
    }
    case WM_HSCROLL: {
        ReadTrackBar(window, kTrackBar, kMinLines, kMaxLines, lineCount);
        Finish();
        return 0;
    }
    default:
        return 0;
    }
}

int32_t LineTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadTrackBarUnlessZero(dialog, kTrackBar, lineCount);
        orientation = ReadRadioGroup(dialog, kHorizontal, kVertical);
        scrolling = ReadCheckBox(dialog, kScrolling);
    }
    return Transition::CloseSettings(apply);
}

int32_t LineTransition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height);
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        // A frame too large to draw strip by strip is shown whole.
        if (static_cast<double>(e) / static_cast<double>(duration) > 1.0 || !FrameFits(width, height)) {
            return StepResult(newFrame->CopyAll(dest));
        }
        const bool horizontal = orientation == 0;
        // The strips divide this extent; there cannot be more strips than rows (or
        // columns) to show them, and a huge count would make every step endless.
        const uint32_t across = horizontal ? height : width;
        const uint32_t along = horizontal ? width : height;
        int32_t n = lineCount;
        if (n > 0 && static_cast<uint32_t>(n) > across) {
            n = static_cast<int32_t>(across);
        }
        if (n <= 0) {
            return drew.Result();
        }
        const double band = static_cast<double>(across) / static_cast<double>(static_cast<uint32_t>(n));
        const uint32_t p = Progress(along, e, duration);
        const auto reach = static_cast<int32_t>(p);
        const auto farEdge = static_cast<int32_t>(along - p);
        for (int32_t i = 0; i < n; ++i) {
            const auto start = static_cast<int32_t>(i * band);
            const int32_t size = i == n - 1 ? static_cast<int32_t>(across) : static_cast<int32_t>(band + 1.0);
            const bool even = i % 2 == 0;
            // Where the reached part sits, and where its pixels come from.
            const int32_t to = even ? 0 : farEdge;
            const int32_t from = scrolling == 0 ? to : (even ? farEdge : 0);
            if (horizontal) {
                drew(newFrame->CopyRect(dest, to, start, from, start, reach, size, 0, 0, 0, 2));
            } else {
                drew(newFrame->CopyRect(dest, start, to, start, from, size, reach, 0, 0, 0, 2));
            }
        }
        return drew.Result();
    });
}

} // namespace wqtrans
