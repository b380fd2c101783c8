// Cell: uncovers the new frame in a grid of cells that each grow from their centre.
// ID "SE12", name string 1031, settings panel 118, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: columns (default 4)
//   offset 4, 32-bit: rows (default 4)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class CellTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('S', 'E', '1', '2');

    CellTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t columns = 4;
    int32_t rows = 4;
};

} // namespace wqtrans
