#include "transitions/ZigzagTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

ZigzagTransition::ZigzagTransition() {
    nameId = 1008;
    dialogId = 103;
}

Transition* ZigzagTransition::Clone() { return new (std::nothrow) ZigzagTransition(); }

uint32_t ZigzagTransition::GetID() { return kId; }

int32_t ZigzagTransition::GetParams(void* out) { return WriteBlock(out, spotWidth, startCorner, direction); }

void ZigzagTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, spotWidth, startCorner, direction);
}

} // namespace wqtrans
