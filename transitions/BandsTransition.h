// Bands: uncovers the new frame in equal parallel bands that all open at once.
// ID "BAND", name string 1004, settings panel 102, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 16-bit unsigned: bandCount (default 1)
//   offset 2, 16-bit unsigned: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class BandsTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('B', 'A', 'N', 'D');

    BandsTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    uint16_t bandCount = 1;
    uint16_t direction = 0;
};

} // namespace wqtrans
