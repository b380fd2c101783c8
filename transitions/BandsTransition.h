// Bands: uncovers the new frame in equal parallel bands that all open at once.
// ID "BAND", name string 1004, settings panel 102, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 16-bit unsigned: bandCount (default 1)
//   offset 2, 16-bit unsigned: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class BandsTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('B', 'A', 'N', 'D');

    BandsTransition();
    ~BandsTransition() override;
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws the strip of every band uncovered since the last step and hands the host
    // the list of those strips through `changed` (null when nothing was drawn). The
    // list stays valid until the next Step, End or destruction.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;
    void End() override;

    // Parameters.
    uint16_t bandCount = 1;
    uint16_t direction = 0;

    // Run state, set at the first step of a run. The run keeps the band count and
    // direction it started with, so that the list always fits its array.
    uint32_t bandSize = 0;
    uint32_t drawn = 0;
    uint32_t runBandCount = 0;
    uint32_t runDirection = 0;
    ChangedRect* rects = nullptr;

private:
    void ReadDirection(HWND window);
    void TakeCountFromEdit(HWND window);
    void TakeCountFromUpDown(HWND window);
    void ReleaseRects();
};

} // namespace wqtrans
