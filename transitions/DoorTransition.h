// Door: opens the new frame like a pair of doors, from the centre line or from both edges.
// ID "DOOR", name string 1007, settings panel 105, mode 3.
// Parameter block, 2 bytes, little-endian:
//   offset 0, 16-bit unsigned: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class DoorTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('D', 'O', 'O', 'R');

    DoorTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws the two strips opened since the last step.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    uint16_t direction = 0;

    // Run state: the distance each door travels, and how far they have opened.
    int32_t halfExtent = 0;
    uint32_t opened = 0;

private:
    void ReadDirection(HWND window);
};

} // namespace wqtrans
