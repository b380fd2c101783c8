// Fade: cross-fades from the old frame to the new frame.
// ID "FADE", name string 1001, no settings panel, mode 7.
// No parameter block.
//
// Every step lays one frame down whole and blends the other over it with a weight
// that follows the elapsed time. Flags: bit 0 lays the old frame down and blends the
// new one over it (instead of the reverse); bit 2 draws the blended frame in mode 1.
// The extended step draws the pair at a point with the caller's own mode, op and
// parameter combined with the fade; its flags bit 3 draws the fading frame alone.
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class FadeTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('F', 'A', 'D', 'E');

    FadeTransition();
    Transition* Clone() override;
    int32_t QueryFeature(int32_t feature, int32_t value) override;
    uint32_t GetID() override;
    int32_t GetMode() override;

    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;
    int32_t StepEx(HostSurface* dest, int32_t x, int32_t y, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                   int32_t reserved, int32_t mode, int32_t op, HostParam param, int32_t blitFlags) override;

private:
    // The elapsed time, taken as the duration when a clock set back past the present
    // makes it larger, so that the fade weight stays within its range.
    uint32_t ClampedElapsed();
};

} // namespace wqtrans
