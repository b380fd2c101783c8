#include "transitions/Turn2Transition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

Turn2Transition::Turn2Transition() {
    nameId = 1021;
    dialogId = 120;
}

Transition* Turn2Transition::Clone() { return new (std::nothrow) Turn2Transition(); }

uint32_t Turn2Transition::GetID() { return kId; }

int32_t Turn2Transition::GetParams(void* out) { return WriteBlock(out, rotations, inverse); }

void Turn2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, rotations, inverse); }

} // namespace wqtrans
