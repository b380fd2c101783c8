// Stretch 2: shrinks the old frame to a placement, then grows the new frame out of it.
// ID "SE09", name string 1028, settings panel 115, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: anchor (default 0; 0 to 10 = radio buttons 1007 to 1017)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class Stretch2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '9');

    Stretch2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t anchor = 0;

    // Panel: eleven radio buttons 1007 to 1017, one per anchor.
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: one rectangle, of the old frame shrinking in the first half and of the new
    // frame growing in the second.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Size of the new frame, measured at the first step of a run.
    uint32_t width = 0;
    uint32_t height = 0;
    // 0 while the old frame shrinks, 1 once the new frame grows.
    uint32_t phase = 0;
};

} // namespace wqtrans
