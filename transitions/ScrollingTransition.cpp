#include "transitions/ScrollingTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/FourButtonGroup.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

ScrollingTransition::ScrollingTransition() {
    nameId = 1011;
    dialogId = 106;
}

Transition* ScrollingTransition::Clone() { return new (std::nothrow) ScrollingTransition(); }

uint32_t ScrollingTransition::GetID() { return kId; }

int32_t ScrollingTransition::GetMode() { return 11; }

int32_t ScrollingTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void ScrollingTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

int32_t ScrollingTransition::CloseSettings(int32_t apply) { return FourButtonClose(*this, direction, apply); }

INT_PTR ScrollingTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CheckRadioGroup(window, 1007, 1010, direction);
        return 1;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id >= 1007 && id <= 1010) {
            FourButtonRead(window, direction);
        }
        // Every command asks for a fresh preview, whichever control sent it.
        Finish();
    }
    return 0;
}

int32_t ScrollingTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                                  ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const auto W = static_cast<uint32_t>(oldFrame->Width());
        const auto H = static_cast<uint32_t>(oldFrame->Height());
        if (firstStep != 0) {
            distance = static_cast<uint32_t>(direction) > 1 ? H : W;
            drawn = 0;
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        uint32_t e = UpdateElapsed();
        const uint32_t d = duration;
        // An elapsed time beyond the run (only after a negative SetElapsed) would carry
        // the frame past its place: it is taken as the end of the run.
        if (e > d) {
            e = d;
        }
        const uint32_t s = Progress(distance, e, d);
        if (s > drawn) {
            int32_t x = 0;
            int32_t y = 0;
            switch (direction) {
            case 0:
                x = static_cast<int32_t>(s - W);
                break;
            case 1:
                x = static_cast<int32_t>(W - s);
                break;
            case 2:
                y = static_cast<int32_t>(s - H);
                break;
            case 3:
                y = static_cast<int32_t>(H - s);
                break;
            default:
                // A direction that names no side shows the new frame in its place.
                break;
            }
            drew(newFrame->CopyRect(dest, x, y, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 0, 0, 2));
            if (drew.AllDrawn()) {
                drawn = s;
            }
        }
        return drew.Result();
    });
}

} // namespace wqtrans
