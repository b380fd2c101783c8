// Turn: brings the new frame in as a growing rectangle that spirals to the centre.
// ID "SE08", name string 1027, settings panel 114, mode 3.
// Parameter block, 12 bytes, little-endian:
//   offset 0, 32-bit: rotations (default 1)
//   offset 4, 32-bit: fullImage (default 0)
//   offset 8, 32-bit: inverse (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class TurnTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '8');

    TurnTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t rotations = 1;
    int32_t fullImage = 0;
    int32_t inverse = 0;
};

} // namespace wqtrans
