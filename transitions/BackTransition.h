// Back: takes the old frame away over the new one: it slides off or shrinks away.
// ID "SE10", name string 1029, settings panel 116, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: effect (default 0): 0 quarters shrink into the corners,
//                     1 to 4 the frame slides out through the top-left, top-right,
//                     bottom-left or bottom-right corner, 5 quarters slide apart,
//                     6 halves slide up and down, 7 halves slide left and right
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class BackTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '0');

    BackTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t effect = 0;

    // Run-time state.
    uint32_t width = 0; // the new frame's size, read on the first step; both frames have it
    uint32_t height = 0;

private:
    void ReadEffect(HWND window);
};

} // namespace wqtrans
