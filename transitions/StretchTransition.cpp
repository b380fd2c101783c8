#include "transitions/StretchTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

StretchTransition::StretchTransition() {
    nameId = 1026;
    dialogId = 113;
}

Transition* StretchTransition::Clone() { return new (std::nothrow) StretchTransition(); }

uint32_t StretchTransition::GetID() { return kId; }

int32_t StretchTransition::GetMode() { return 11; }

int32_t StretchTransition::GetParams(void* out) { return WriteBlock(out, anchor); }

void StretchTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, anchor); }

} // namespace wqtrans
