#include "transitions/ZigZag2Transition.h"

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
constexpr int32_t kMinLines = 2;
constexpr int32_t kMaxLines = 30;

} // namespace

ZigZag2Transition::ZigZag2Transition() {
    nameId = 1023;
    dialogId = 110;
}

Transition* ZigZag2Transition::Clone() { return new (std::nothrow) ZigZag2Transition(); }

uint32_t ZigZag2Transition::GetID() { return kId; }

int32_t ZigZag2Transition::GetParams(void* out) { return WriteBlock(out, orientation, lineCount); }

void ZigZag2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, orientation, lineCount); }

INT_PTR ZigZag2Transition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckRadioGroup(window, kHorizontal, kVertical, orientation);
        SetUpTrackBar(window, kTrackBar, kMinLines, kMaxLines, lineCount);
        return 1;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == kHorizontal || id == kVertical) {
            orientation = ReadRadioGroup(window, kHorizontal, kVertical);
            Finish();
        }
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

int32_t ZigZag2Transition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadTrackBarUnlessZero(dialog, kTrackBar, lineCount);
        orientation = ReadRadioGroup(dialog, kHorizontal, kVertical);
    }
    return Transition::CloseSettings(apply);
}

int32_t ZigZag2Transition::Step(HostSurface* dest, HostSurface*, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const std::optional<uint32_t> opened = OpenStep(dest, newFrame, width, height, [&] {
            lineIndex = 0;
            reversed = 0;
        });
        if (!opened) {
            return 0;
        }
        const uint32_t e = *opened;
        // No lines (a stored count of 0) leave nothing to sweep: show the new frame.
        if (static_cast<double>(e) / static_cast<double>(duration) > 1.0 || lineCount == 0) {
            return StepResult(newFrame->CopyAll(dest));
        }
        const bool horizontal = orientation == 0;
        // The snakes run along `along` and the lines stack across `across`.
        const uint32_t along = horizontal ? width : height;
        const uint32_t across = horizontal ? height : width;
        const auto n = static_cast<uint32_t>(lineCount);
        const double band = static_cast<double>(across) / static_cast<double>(n);
        // Sizes near 2^31 wrap as 32-bit geometry does rather than overflow.
        const int32_t reach =
            Wrap32(int64_t{TruncateToInt32(static_cast<double>(lineIndex) * band)} + TruncateToInt32(band));
        // The distance each snake has travelled: the progress times the count can pass
        // 2^32 on a long line before the halving, so it is taken in 64 bits. The length
        // of the finished lines may wrap: the run is their difference modulo 2^32.
        const auto travelled = static_cast<uint32_t>((uint64_t{Progress(along, e, duration)} * n) >> 1);
        const auto run = static_cast<int32_t>(travelled - along * lineIndex);
        // A run length below 0 only comes from a clock set back: nothing is due.
        if (run < 0) {
            return drew.Result();
        }
        const auto full = static_cast<int32_t>(along);
        const int32_t first = reversed == 0 ? 0 : Wrap32(int64_t{full} - run);
        const int32_t second = reversed == 1 ? 0 : Wrap32(int64_t{full} - run);
        const int32_t farSide = Wrap32(int64_t{static_cast<int32_t>(across)} - reach);
        if (horizontal) {
            drew(newFrame->CopyRect(dest, first, 0, first, 0, run, reach, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, second, farSide, second, farSide, run, reach, 0, 0, 0, 2));
        } else {
            drew(newFrame->CopyRect(dest, 0, first, 0, first, reach, run, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, farSide, second, farSide, second, reach, run, 0, 0, 0, 2));
        }
        // The next line starts only once this one was drawn whole.
        if (run >= full && drew.AllDrawn()) {
            ++lineIndex;
            reversed ^= 1;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
