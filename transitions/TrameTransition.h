// Trame: uncovers the new frame through an interleaved comb of pixels swept in from two or four sides.
// ID "SE13", name string 1032, settings panel 119, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: pattern (default 2)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class TrameTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '3');

    TrameTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Copies, pixel by pixel, the pixels of every sweep that became due since the
    // last step.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t pattern = 2;

    // Run state: the new frame's size and the rows and columns already swept (even).
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rowsDone = 0;
    uint32_t columnsDone = 0;

private:
    void SweepColumns(HostSurface* dest, HostSurface* newFrame, uint32_t R, uint32_t stride, DrawCalls& drew);
    void SweepRows(HostSurface* dest, HostSurface* newFrame, uint32_t K, uint32_t stride, DrawCalls& drew);
};

} // namespace wqtrans
