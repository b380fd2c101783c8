// Push: slides half of the new frame into a band, then pushes both halves into place.
// ID "SE06", name string 1025, settings panel 112, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class PushTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '6');

    PushTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t direction = 0;
};

} // namespace wqtrans
