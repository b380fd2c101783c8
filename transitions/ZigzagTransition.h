// Zigzag: uncovers the new frame cell by cell along a zigzag path from a corner or the centre.
// ID "ZIGZ", name string 1008, settings panel 103, mode 3.
// Parameter block, 8 bytes, little-endian:
//   offset 0, 32-bit: spotWidth (default 15)
//   offset 4, 16-bit unsigned: startCorner (default 0)
//   offset 6, 16-bit unsigned: direction (default 0)
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ZigzagTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('Z', 'I', 'G', 'Z');

    ZigzagTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;

    // Parameters.
    int32_t spotWidth = 15;
    uint16_t startCorner = 0;
    uint16_t direction = 0;
};

} // namespace wqtrans
