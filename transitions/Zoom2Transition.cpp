#include "transitions/Zoom2Transition.h"

#include <cstdint>
#include <new>

#include "module/ParamBlock.h"
#include "transitions/PanelControls.h"
#include "transitions/Progress.h"

namespace wqtrans {

namespace {

constexpr int kZoomOutButton = 1007;
constexpr int kZoomInButton = 1008;
constexpr int32_t kShowNew = 1;

} // namespace

Zoom2Transition::Zoom2Transition() {
    nameId = 1030;
    dialogId = 117;
}

Transition* Zoom2Transition::Clone() { return new (std::nothrow) Zoom2Transition(); }

uint32_t Zoom2Transition::GetID() { return kId; }

int32_t Zoom2Transition::GetMode() { return 11; }

int32_t Zoom2Transition::GetParams(void* out) { return WriteBlock(out, zoomIn); }

void Zoom2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, zoomIn); }

int32_t Zoom2Transition::CloseSettings(int32_t apply) {
    return RadioGroupClose(*this, zoomIn, kZoomOutButton, kZoomInButton, apply);
}

INT_PTR Zoom2Transition::OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM) {
    return RadioGroupMessage(*this, zoomIn, kZoomOutButton, kZoomInButton, window, message, wParam);
}

int32_t Zoom2Transition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                              ChangedRect**) {
    return Guarded([&]() -> int32_t {
        if (firstStep != 0) {
            firstStep = 0;
        }
        const uint32_t e = UpdateElapsed();
        if (dest->IsReady() == 0) {
            return 0;
        }
        HostSurface* shown = (flags & kShowNew) != 0 ? newFrame : oldFrame;
        const uint32_t d = duration;
        if (d == 0 || e > d) {
            return StepResult(shown->CopyAll(dest));
        }
        const int32_t w = shown->Width();
        const int32_t h = shown->Height();
        uint32_t sw = Progress(static_cast<uint32_t>(w), e, d);
        uint32_t sh = Progress(static_cast<uint32_t>(h), e, d);
        if (zoomIn != 0) {
            sw = static_cast<uint32_t>(w) - sw;
            sh = static_cast<uint32_t>(h) - sh;
        }
        const auto xs = static_cast<int32_t>(static_cast<uint32_t>(w / 2) - (sw >> 1));
        const auto ys = static_cast<int32_t>(static_cast<uint32_t>(h / 2) - (sh >> 1));
        return StepResult(shown->StretchRect(dest, 0, 0, w, h, xs, ys, static_cast<int32_t>(sw),
                                             static_cast<int32_t>(sh), 0, 0, 0, 4));
    });
}

} // namespace wqtrans
