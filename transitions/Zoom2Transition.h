// Zoom 2: fills the picture with a centred part of one frame that grows or shrinks.
// ID "SE11", name string 1030, settings panel 117, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: zoomIn (default 0; 0 = the part grows "Zoom Out", other = it shrinks "Zoom In")
// Flags bit 0 shows the new frame, otherwise the old frame.
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class Zoom2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '1');

    Zoom2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t zoomIn = 0;

    // Panel: radio buttons 1007 "Zoom Out" and 1008 "Zoom In".
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: a centred part of one frame scaled up to the whole picture.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;
};

} // namespace wqtrans
