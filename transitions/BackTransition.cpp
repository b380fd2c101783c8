#include "transitions/BackTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

BackTransition::BackTransition() {
    nameId = 1029;
    dialogId = 116;
}

Transition* BackTransition::Clone() { return new (std::nothrow) BackTransition(); }

uint32_t BackTransition::GetID() { return kId; }

int32_t BackTransition::GetParams(void* out) { return WriteBlock(out, effect); }

void BackTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, effect); }

} // namespace wqtrans
