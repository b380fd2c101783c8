#include "transitions/DoorTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

DoorTransition::DoorTransition() {
    nameId = 1007;
    dialogId = 105;
}

Transition* DoorTransition::Clone() { return new (std::nothrow) DoorTransition(); }

uint32_t DoorTransition::GetID() { return kId; }

int32_t DoorTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void DoorTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

} // namespace wqtrans
