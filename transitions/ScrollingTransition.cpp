#include "transitions/ScrollingTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

ScrollingTransition::ScrollingTransition() {
    nameId = 1011;
    dialogId = 106;
}

Transition* ScrollingTransition::Clone() { return new (std::nothrow) ScrollingTransition(); }

uint32_t ScrollingTransition::GetID() { return kId; }

int32_t ScrollingTransition::GetMode() { return 11; }

int32_t ScrollingTransition::GetParams(void* out) { return WriteBlock(out, direction); }

void ScrollingTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, direction); }

} // namespace wqtrans
