// Zoom: scales one frame about the centre of the picture over the other.
// ID "ZOOM", name string 1012, settings panel none, mode 15.
// No parameter block. Flags bit 1 zooms out (the old frame shrinks) instead of in;
// bit 2 draws the scaled frame transparent.
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ZoomTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('Z', 'O', 'O', 'M');

    ZoomTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;

    // Step: one frame whole, then the other scaled about the centre.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;
};

} // namespace wqtrans
