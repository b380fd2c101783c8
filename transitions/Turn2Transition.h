// Turn 2: moves the old frame away from the new one on a widening spiral.
// ID "SE02", name string 1021, settings panel 120, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: rotations (default 2)
//   offset 4, 32-bit: inverse (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class Turn2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '2');

    Turn2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t rotations = 2;
    int32_t inverse = 0;
};

} // namespace wqtrans
