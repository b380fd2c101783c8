#include "transitions/StretchTransition.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1016;

int32_t I(uint32_t value) { return static_cast<int32_t>(value); }

} // namespace

StretchTransition::StretchTransition() {
    nameId = 1026;
    dialogId = 113;
}

Transition* StretchTransition::Clone() { return new (std::nothrow) StretchTransition(); }

uint32_t StretchTransition::GetID() { return kId; }

int32_t StretchTransition::GetMode() { return 11; }

int32_t StretchTransition::GetParams(void* out) { return WriteBlock(out, anchor); }

void StretchTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, anchor); }

int32_t StretchTransition::CloseSettings(int32_t apply) {
    return RadioGroupClose(*this, anchor, kFirstButton, kLastButton, apply);
}

INT_PTR StretchTransition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return RadioGroupMessage(*this, anchor, kFirstButton, kLastButton, window, message, wParam);
}

int32_t StretchTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                                ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const Opening opening = OpenStepInRun(dest, newFrame, width, height);
        if (opening.answer) {
            return *opening.answer;
        }
        const uint32_t e = opening.elapsed;
        const uint32_t d = duration;
        const uint32_t w = width;
        const uint32_t h = height;
        const uint32_t a = Progress(w, e, d);
        const uint32_t b = Progress(h, e, d);

        switch (static_cast<uint32_t>(anchor)) {
        case 0: // "Top Left"
            drew(newFrame->StretchAll(dest, 0, 0, I(a), I(b), 0, 0, 0, 4));
            break;
        case 1: // "Top Right"
            drew(newFrame->StretchAll(dest, I(w - a), 0, I(a), I(b), 0, 0, 0, 4));
            break;
        case 2: // "Bottom Left"
            drew(newFrame->StretchAll(dest, 0, I(h - b), I(a), I(b), 0, 0, 0, 4));
            break;
        case 3: // "Bottom Right"
            drew(newFrame->StretchAll(dest, I(w - a), I(h - b), I(a), I(b), 0, 0, 0, 4));
            break;
        case 4:   // "4 corners"
        case 5: { // "Center"
            const uint32_t hw = w >> 1;
            const uint32_t hh = h >> 1;
            const uint32_t qa = Progress(hw, e, d);
            const uint32_t qb = Progress(hh, e, d);
            // The top quarters are never less than 5 pixels high.
            const uint32_t qt = std::max(qb, 5u);
            // The top-left quarter takes its source size from the old frame.
            const int32_t ow = oldFrame->Width() / 2;
            const int32_t oh = oldFrame->Height() / 2;
            if (anchor == 4) {
                drew(newFrame->StretchRect(dest, 0, 0, I(qa), I(qt), 0, 0, ow, oh, 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, I(w - qa), 0, I(qa), I(qt), I(hw), 0, I(hw), I(hh), 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, 0, I(h - qb), I(qa), I(qb), 0, I(hh), I(hw), I(hh), 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, I(w - qa), I(h - qb), I(qa), I(qb), I(hw), I(hh), I(hw), I(hh), 0, 0,
                                           0, 4));
            } else {
                drew(newFrame->StretchRect(dest, I(hw - qa), I(hh - qt), I(qa), I(qt), 0, 0, ow, oh, 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, I(hw), I(hh - qt), I(qa), I(qt), I(hw), 0, I(hw), I(hh), 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, I(hw - qa), I(hh), I(qa), I(qb), 0, I(hh), I(hw), I(hh), 0, 0, 0, 4));
                drew(newFrame->StretchRect(dest, I(hw), I(hh), I(qa), I(qb), I(hw), I(hh), I(hw), I(hh), 0, 0, 0, 4));
            }
            break;
        }
        case 6: // "Top Middle"
            drew(newFrame->StretchAll(dest, 0, 0, I(w), I(b), 0, 0, 0, 4));
            break;
        case 7: // "Middle Left"
            drew(newFrame->StretchAll(dest, 0, 0, I(a), I(h), 0, 0, 0, 4));
            break;
        case 8: // "Middle Right"
            drew(newFrame->StretchAll(dest, I(w - a), 0, I(a), I(h), 0, 0, 0, 4));
            break;
        case 9: // "Bottom Middle"
            drew(newFrame->StretchAll(dest, 0, I(h - b), I(w), I(b), 0, 0, 0, 4));
            break;
        default: // no such placement: nothing is drawn
            break;
        }
        return drew.Result();
    });
}

} // namespace wqtrans
