#include "transitions/SquareTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

SquareTransition::SquareTransition() {
    nameId = 1020;
    dialogId = 107;
}

Transition* SquareTransition::Clone() { return new (std::nothrow) SquareTransition(); }

uint32_t SquareTransition::GetID() { return kId; }

int32_t SquareTransition::GetParams(void* out) { return WriteBlock(out, spare, sizePercent, stretchInside); }

void SquareTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, spare, sizePercent, stretchInside);
}

} // namespace wqtrans
