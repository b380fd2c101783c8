// Turn: brings the new frame in as a growing rectangle that spirals to the centre.
// ID "SE08", name string 1027, settings panel 114, mode 3.
// Parameter block, 12 bytes, little-endian:
//   offset 0, 32-bit: rotations (default 1; 1 to 7 from the panel)
//   offset 4, 32-bit: fullImage (default 0; 1 scales the whole new frame into the rectangle)
//   offset 8, 32-bit: inverse (default 0; 1 turns the other way)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class TurnTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '8');

    TurnTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t rotations = 1;
    int32_t fullImage = 0;
    int32_t inverse = 0;

    // Panel: track bar 1025 (rotations), check boxes 1026 (fullImage), 1027 (inverse).
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: the whole old frame, then the new frame's rectangle on its spiral.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Size of the new frame, measured at the first step of a run.
    uint32_t width = 0;
    uint32_t height = 0;
    // The angle of the latest step, in radians.
    double angle = 0.0;
};

} // namespace wqtrans
