// Scrolling: slides the whole new frame in from one side.
// ID "SCRL", name string 1011, settings panel 106, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: direction (default 0): 0 from the left, 1 from the right,
//                     2 from the top, 3 from the bottom
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ScrollingTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'C', 'R', 'L');

    ScrollingTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t direction = 0;

    // Run-time state.
    uint32_t distance = 0; // pixels the new frame travels: the old frame's height or width
    uint32_t drawn = 0;    // the travel offset at which the new frame was last drawn
};

} // namespace wqtrans
