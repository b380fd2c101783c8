// Turn 2: moves the old frame away from the new one on a widening spiral.
// ID "SE02", name string 1021, settings panel 120, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: rotations (default 2; 1 to 10 from the panel)
//   offset 4, 32-bit: inverse (default 0; 1 turns the other way)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class Turn2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '2');

    Turn2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t rotations = 2;
    int32_t inverse = 0;

    // Panel: track bar 1025 (rotations), check box 1026 (inverse).
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Step: the whole new frame, then the whole old frame shifted along the spiral.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Size of the new frame, measured at the first step of a run.
    uint32_t width = 0;
    uint32_t height = 0;
    // Whole turns already taken off the angle; at most one more per step.
    uint32_t turnsDone = 0;
};

} // namespace wqtrans
