// Mosaic: uncovers the new frame in randomly chosen square cells.
// ID "MOSA", name string 1003, settings panel 104, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: spotWidth (default 4)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class MosaicTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('M', 'O', 'S', 'A');

    MosaicTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t spotWidth = 4;
};

} // namespace wqtrans
