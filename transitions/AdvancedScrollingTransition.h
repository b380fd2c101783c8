// Advanced Scrolling: brings the new frame in as strips that slide on their own paths.
// ID "SE00", name string 1019, settings panel 108, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: style (default 0): 0 to 7 one of the eight styles, 8 a style
//                     drawn at random for each run
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class AdvancedScrollingTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '0');

    // Also reseeds the module's random generator with the timer.
    AdvancedScrollingTransition();
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
    int32_t style = 0;

    // Run-time state.
    uint32_t width = 0; // the new frame's size, read on the first step
    uint32_t height = 0;
    uint32_t activeStyle = 0; // the style of this run; above 7 the new frame is copied whole
};

} // namespace wqtrans
