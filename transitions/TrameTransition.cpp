#include "transitions/TrameTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

TrameTransition::TrameTransition() {
    nameId = 1032;
    dialogId = 119;
}

Transition* TrameTransition::Clone() { return new (std::nothrow) TrameTransition(); }

uint32_t TrameTransition::GetID() { return kId; }

int32_t TrameTransition::GetParams(void* out) { return WriteBlock(out, pattern); }

void TrameTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, pattern); }

} // namespace wqtrans
