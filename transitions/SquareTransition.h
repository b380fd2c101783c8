// Square: grows a centred rectangle of the new frame while four edge bands close in on it.
// ID "SE01", name string 1020, settings panel 107, mode 3.
// Parameter block, 12 bytes, little-endian:
//   offset 0, 32-bit: spare (default 0)
//   offset 4, 32-bit: sizePercent (default 50)
//   offset 8, 32-bit: stretchInside (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class SquareTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '1');

    SquareTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t spare = 0;
    int32_t sizePercent = 50;
    int32_t stretchInside = 0;
};

} // namespace wqtrans
