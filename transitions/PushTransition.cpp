#include "transitions/PushTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

PushTransition::PushTransition() {
    nameId = 1025;
    dialogId = 112;
}

Transition* PushTransition::Clone() { return new (std::nothrow) PushTransition(); }

uint32_t PushTransition::GetID() { return kId; }

int32_t PushTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void PushTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

} // namespace wqtrans
