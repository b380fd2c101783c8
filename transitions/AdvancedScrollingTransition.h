// Advanced Scrolling: brings the new frame in as strips that slide on their own paths.
// ID "SE00", name string 1019, settings panel 108, mode 11.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: style (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class AdvancedScrollingTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '0', '0');

    AdvancedScrollingTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t style = 0;
};

} // namespace wqtrans
