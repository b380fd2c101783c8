// Stretch: grows the new frame, stretched, from one of ten placements.
// ID "SE07", name string 1026, settings panel 113, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: anchor (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class StretchTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '7');

    StretchTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t anchor = 0;
};

} // namespace wqtrans
