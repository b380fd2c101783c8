#include "transitions/TurnTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

TurnTransition::TurnTransition() {
    nameId = 1027;
    dialogId = 114;
}

Transition* TurnTransition::Clone() { return new (std::nothrow) TurnTransition(); }

uint32_t TurnTransition::GetID() { return kId; }

int32_t TurnTransition::GetParams(void* out) { return WriteBlock(out, rotations, fullImage, inverse); }

void TurnTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, rotations, fullImage, inverse);
}

} // namespace wqtrans
