// Scrolling: slides the whole new frame in from one side.
// ID "SCRL", name string 1011, settings panel 106, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ScrollingTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'C', 'R', 'L');

    ScrollingTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t direction = 0;
};

} // namespace wqtrans
