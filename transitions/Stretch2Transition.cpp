#include "transitions/Stretch2Transition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

Stretch2Transition::Stretch2Transition() {
    nameId = 1028;
    dialogId = 115;
}

Transition* Stretch2Transition::Clone() { return new (std::nothrow) Stretch2Transition(); }

uint32_t Stretch2Transition::GetID() { return kId; }

int32_t Stretch2Transition::GetMode() { return 11; }

int32_t Stretch2Transition::GetParams(void* out) { return WriteBlock(out, anchor); }

void Stretch2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, anchor); }

} // namespace wqtrans
