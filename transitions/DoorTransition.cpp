#include "transitions/DoorTransition.h"

#include <new>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1010;

} // namespace

DoorTransition::DoorTransition() {
    nameId = 1007;
    dialogId = 105;
}

Transition* DoorTransition::Clone() { return new (std::nothrow) DoorTransition(); }

uint32_t DoorTransition::GetID() { return kId; }

int32_t DoorTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void DoorTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

void DoorTransition::ReadDirection(HWND window) {
    direction = static_cast<uint16_t>(ReadRadioGroup(window, kFirstButton, kLastButton));
}

INT_PTR DoorTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        CheckRadioGroup(window, kFirstButton, kLastButton, direction);
        return 1;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        if (id >= kFirstButton && id <= kLastButton) {
            ReadDirection(dialog);
        }
        Finish();
    }
    return 0;
}

int32_t DoorTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadDirection(dialog);
    }
    return Transition::CloseSettings(apply);
}

int32_t DoorTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t, ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        if (firstStep != 0) {
            halfExtent = (direction == 0 || direction == 1) ? oldFrame->Width() / 2 : oldFrame->Height() / 2;
            opened = 0;
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        // A direction above 3 can only come from a stored block: show the new frame.
        if (halfExtent == 0 || direction > 3) {
            return StepResult(newFrame->CopyAll(dest));
        }
        uint32_t e = UpdateElapsed();
        if (e > duration) {
            e = duration;
        }
        const uint32_t pos = Progress(static_cast<uint32_t>(halfExtent), e, duration);
        if (pos <= opened) {
            return drew.Result();
        }
        const auto grown = static_cast<int32_t>(pos - opened);
        const auto p = static_cast<int32_t>(pos);
        const auto o = static_cast<int32_t>(opened);
        // Positions in 32-bit geometry: sizes near 2^31 wrap rather than overflow.
        const auto minus = [](int32_t a, int32_t b) { return Wrap32(int64_t{a} - b); };
        const auto plus = [](int32_t a, int32_t b) { return Wrap32(int64_t{a} + b); };
        switch (direction) {
        case 0: {
            const int32_t centre = oldFrame->Width() / 2;
            const int32_t hn = newFrame->Height();
            drew(newFrame->CopyRect(dest, minus(centre, p), 0, minus(centre, p), 0, grown, hn, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, plus(centre, o), 0, plus(centre, o), 0, grown, hn, 0, 0, 0, 2));
            break;
        }
        case 1: {
            const int32_t right = minus(oldFrame->Width(), p);
            const int32_t hn = newFrame->Height();
            drew(newFrame->CopyRect(dest, o, 0, o, 0, grown, hn, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, right, 0, right, 0, grown, hn, 0, 0, 0, 2));
            break;
        }
        case 2: {
            const int32_t centre = oldFrame->Height() / 2;
            const int32_t wn = newFrame->Width();
            drew(newFrame->CopyRect(dest, 0, minus(centre, p), 0, minus(centre, p), wn, grown, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, 0, plus(centre, o), 0, plus(centre, o), wn, grown, 0, 0, 0, 2));
            break;
        }
        default: {
            const int32_t bottom = minus(oldFrame->Height(), p);
            const int32_t wn = newFrame->Width();
            drew(newFrame->CopyRect(dest, 0, o, 0, o, wn, grown, 0, 0, 0, 2));
            drew(newFrame->CopyRect(dest, 0, bottom, 0, bottom, wn, grown, 0, 0, 0, 2));
            break;
        }
        }
        if (drew.AllDrawn()) {
            opened = pos;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
