// Zigzag: uncovers the new frame cell by cell along a zigzag path from a corner or the centre.
// ID "ZIGZ", name string 1008, settings panel 103, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: spotWidth (default 15)
//   offset 4, 16-bit unsigned: startCorner (default 0)
//   offset 6, 16-bit unsigned: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ZigzagTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('Z', 'I', 'G', 'Z');

    ZigzagTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws the cells of the path that became due since the last step.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t spotWidth = 15;
    uint16_t startCorner = 0;
    uint16_t direction = 0;

    // Run state, set at the first step of a run.
    uint32_t spotSize = 0;
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t cellTotal = 0;
    int32_t cellsDrawn = 0;
    int32_t cellX = 0;
    int32_t cellY = 0;
    int32_t heading = 0;
    int32_t runDirection = 0;
    int32_t runCorner = 0;
    int32_t spiralLeft = 0;
    int32_t spiralTop = 0;
    int32_t spiralRight = 0;
    int32_t spiralBottom = 0;

private:
    void SetUp(int32_t W, int32_t H);
    void Advance(int32_t W, int32_t H);
    void ReadDirection(HWND window);
    void ReadStartCorner(HWND window);
};

} // namespace wqtrans
