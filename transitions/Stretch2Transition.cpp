#include "transitions/Stretch2Transition.h"

#include <cstdint>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kFirstButton = 1007;
constexpr int kLastButton = 1017;
constexpr uint32_t kLastAnchor = 10;

// Draws `frame` squeezed into the rectangle of size sw x sh placed at `anchor` on a
// W x H destination. Sizes come signed: a drawing whose width or height would be
// negative (a first-half step past half time, a second-half step just before it) is
// skipped rather than handed to the host. Returns the host's answer (1 when skipped).
int32_t Draw(HostSurface* frame, HostSurface* dest, uint32_t anchor, uint32_t w, uint32_t h, int64_t sw, int64_t sh) {
    const bool fullWidth = anchor == 1 || anchor == 5 || anchor == 9;
    const bool fullHeight = anchor == 3 || anchor == 4 || anchor == 7;
    const int64_t drawnWidth = fullWidth ? static_cast<int64_t>(w) : sw;
    const int64_t drawnHeight = fullHeight ? static_cast<int64_t>(h) : sh;
    if (drawnWidth < 0 || drawnHeight < 0) {
        return 1;
    }
    const auto uw = static_cast<uint32_t>(drawnWidth);
    const auto uh = static_cast<uint32_t>(drawnHeight);
    uint32_t x = 0;
    uint32_t y = 0;
    switch (anchor) {
    case 0: // "Top Left"
    case 1: // "Top Middle"
    case 3: // "Middle Left"
        break;
    case 2: // "Top Right"
    case 7: // "Middle Right"
        x = w - uw;
        break;
    case 4: // "Center H"
        x = (w >> 1) - (uw >> 1);
        break;
    case 5: // "Center V"
        y = (h >> 1) - (uh >> 1);
        break;
    case 6: // "Center H+V"
        x = (w >> 1) - (uw >> 1);
        y = (h >> 1) - (uh >> 1);
        break;
    case 8: // "Bottom Left"
    case 9: // "Bottom Middle"
        y = h - uh;
        break;
    default: // 10 "Bottom Right"
        x = w - uw;
        y = h - uh;
        break;
    }
    return frame->StretchAll(dest, static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(uw),
                             static_cast<int32_t>(uh), 0, 0, 0, 4);
}

} // namespace

Stretch2Transition::Stretch2Transition() {
    nameId = 1028;
    dialogId = 115;
}

Transition* Stretch2Transition::Clone() { return new (std::nothrow) Stretch2Transition(); }

uint32_t Stretch2Transition::GetID() { return kId; }

int32_t Stretch2Transition::GetMode() { return 11; }

int32_t Stretch2Transition::GetParams(void* out) { return WriteBlock(out, anchor); }

void Stretch2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, anchor); }

int32_t Stretch2Transition::CloseSettings(int32_t apply) {
    return RadioGroupClose(*this, anchor, kFirstButton, kLastButton, apply);
}

INT_PTR Stretch2Transition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return RadioGroupMessage(*this, anchor, kFirstButton, kLastButton, window, message, wParam);
}

int32_t Stretch2Transition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                                 ChangedRect**) {
    return Guarded([&]() -> int32_t {
        DrawCalls drew;
        const Opening opening = OpenStepInRun(dest, newFrame, width, height, [&] { phase = 0; });
        if (opening.answer) {
            return *opening.answer;
        }
        const uint32_t e = opening.elapsed;
        const uint32_t d = duration;
        const auto placement = static_cast<uint32_t>(anchor);
        if (placement > kLastAnchor) {
            return drew.Result();
        }
        const uint32_t w = width;
        const uint32_t h = height;
        // The doubled progress, from 0 through the frame size at half time to twice it
        // at the end; kept in 64 bits, as twice a size may not fit in 32.
        const auto gw = static_cast<int64_t>(WideProgress(uint64_t{w} * 2, e, d));
        const auto gh = static_cast<int64_t>(WideProgress(uint64_t{h} * 2, e, d));
        const auto sw = static_cast<int64_t>(w);
        const auto sh = static_cast<int64_t>(h);
        if (phase == 0) {
            // The switch to the new frame follows the clock, whatever the surface
            // makes of this step's drawing.
            if (e >= (d >> 1)) {
                phase = 1;
            }
            drew(Draw(oldFrame, dest, placement, w, h, sw - gw, sh - gh));
            return drew.Result();
        }
        drew(Draw(newFrame, dest, placement, w, h, gw - sw, gh - sh));
        return drew.Result();
    });
}

} // namespace wqtrans
