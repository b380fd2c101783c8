#include "transitions/ZoomTransition.h"

#include <new>

namespace wqtrans {

ZoomTransition::ZoomTransition() {
    nameId = 1012;
    dialogId = 0;
}

Transition* ZoomTransition::Clone() { return new (std::nothrow) ZoomTransition(); }

uint32_t ZoomTransition::GetID() { return kId; }

int32_t ZoomTransition::GetMode() { return 15; }

} // namespace wqtrans
