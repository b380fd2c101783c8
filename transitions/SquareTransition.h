// Square: grows a centred rectangle of the new frame while four edge bands close in on it.
// ID "SE01", name string 1020, settings panel 107, mode 3.
// Parameter block, 12 bytes, little-endian:
//   offset 0, 32-bit: spare (default 0; kept and returned, never drawn with)
//   offset 4, 32-bit: sizePercent (default 50; 20 to 80 from the panel)
//   offset 8, 32-bit: stretchInside (default 0; 1 squeezes the final region inside)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class SquareTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '1');

    SquareTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t spare = 0;
    int32_t sizePercent = 50;
    int32_t stretchInside = 0;

    // Panel: track bar 1025 (sizePercent), check box 1026 (stretchInside).
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: the inner rectangle, then the top, left, bottom and right bands.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Size of the new frame, measured at the first step of a run.
    uint32_t width = 0;
    uint32_t height = 0;
};

} // namespace wqtrans
