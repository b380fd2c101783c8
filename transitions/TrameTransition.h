// Trame: uncovers the new frame through an interleaved comb of pixels swept in from two or four sides.
// ID "SE13", name string 1032, settings panel 119, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: pattern (default 2)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class TrameTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '3');

    TrameTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t pattern = 2;
};

} // namespace wqtrans
