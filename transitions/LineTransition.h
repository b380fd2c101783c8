// Line: brings the new frame in strip by strip, in place or sliding.
// ID "SE03", name string 1022, settings panel 109, mode 3.
// Parameter block, 12 bytes, little-endian:
//   offset 0, 32-bit: lineCount (default 2)
//   offset 4, 32-bit: orientation (default 0)
//   offset 8, 32-bit: scrolling (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class LineTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '3');

    LineTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Redraws the part of every strip reached so far.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t lineCount = 2;
    int32_t orientation = 0;
    int32_t scrolling = 0;

    // Run state: the new frame's size, taken at the first step.
    uint32_t width = 0;
    uint32_t height = 0;
};

} // namespace wqtrans
