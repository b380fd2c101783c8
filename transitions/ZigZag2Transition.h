// ZigZag 2: uncovers the new frame line by line with two snakes from opposite edges.
// ID "SE04", name string 1023, settings panel 110, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: orientation (default 0)
//   offset 4, 32-bit: lineCount (default 4)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ZigZag2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '4');

    ZigZag2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws both snakes up to the end of their current line; a completed line moves
    // them on to the next one.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t orientation = 0;
    int32_t lineCount = 4;

    // Run state: the new frame's size, the line each snake is on (counted from its
    // own edge) and whether the first snake now runs from the far side.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t lineIndex = 0;
    uint32_t reversed = 0;
};

} // namespace wqtrans
