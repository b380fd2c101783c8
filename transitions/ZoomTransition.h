// Zoom: scales one frame about the centre of the picture over the other.
// ID "ZOOM", name string 1012, settings panel none, mode 15.
// No parameter block.
#pragma once

#include "module/Transition.h"

namespace wqtrans {

class ZoomTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('Z', 'O', 'O', 'M');

    ZoomTransition();
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetMode() override;
};

} // namespace wqtrans
