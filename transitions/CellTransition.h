// Cell: uncovers the new frame in a grid of cells that each grow from their centre.
// ID "SE12", name string 1031, settings panel 118, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: columns (default 4; the panel keeps it within 1 to 30)
//   offset 4, 32-bit: rows (default 4; the panel keeps it within 1 to 30)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class CellTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '2');

    CellTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t columns = 4;
    int32_t rows = 4;

    // Run-time state.
    uint32_t width = 0; // the new frame's size, read on the first step
    uint32_t height = 0;
};

} // namespace wqtrans
