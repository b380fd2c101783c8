// Open: grows a cross of the new frame from the centre, then wipes the four quarters open.
// ID "SE05", name string 1024, settings panel 111 (no controls), mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: option (default 0), kept and written back; drawing ignores it
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class OpenTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '5');

    OpenTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;

    // Parameters.
    int32_t option = 0;

    // Run-time state.
    uint32_t width = 0; // the new frame's size, read on the first step
    uint32_t height = 0;
};

} // namespace wqtrans
