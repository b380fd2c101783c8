// Back: takes the old frame away over the new one: it slides off or shrinks away.
// ID "SE10", name string 1029, settings panel 116, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: effect (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class BackTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '0');

    BackTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t effect = 0;
};

} // namespace wqtrans
