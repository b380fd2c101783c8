// Stretch: grows the new frame, stretched, from one of ten placements.
// ID "SE07", name string 1026, settings panel 113, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: anchor (default 0; 0 to 9 = radio buttons 1007 to 1016)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class StretchTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '7');

    StretchTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t anchor = 0;

    // Panel: ten radio buttons 1007 to 1016, one per anchor.
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: the new frame squeezed into one growing rectangle, or four growing quarters.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Size of the new frame, measured at the first step of a run.
    uint32_t width = 0;
    uint32_t height = 0;
};

} // namespace wqtrans
