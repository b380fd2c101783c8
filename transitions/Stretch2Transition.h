// Stretch 2: shrinks the old frame to a placement, then grows the new frame out of it.
// ID "SE09", name string 1028, settings panel 115, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: anchor (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class Stretch2Transition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '9');

    Stretch2Transition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t anchor = 0;
};

} // namespace wqtrans
