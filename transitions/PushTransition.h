// Push: slides half of the new frame into a band, then pushes both halves into place.
// ID "SE06", name string 1025, settings panel 112, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: direction (default 0): 0 top left, 1 top right, 2 bottom left,
//                     3 bottom right (the band and the side the first half starts from)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class PushTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '6');

    PushTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t direction = 0;

    // Run-time state.
    uint32_t width = 0; // the new frame's size, read on the first step
    uint32_t height = 0;
    int32_t bandFilled = 0; // 1 once the second half has drawn the band complete
};

} // namespace wqtrans
