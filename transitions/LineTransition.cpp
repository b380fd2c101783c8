#include "transitions/LineTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

LineTransition::LineTransition() {
    nameId = 1022;
    dialogId = 109;
}

Transition* LineTransition::Clone() { return new (std::nothrow) LineTransition(); }

uint32_t LineTransition::GetID() { return kId; }

int32_t LineTransition::GetParams(void* out) { return WriteBlock(out, lineCount, orientation, scrolling); }

void LineTransition::SetParams(const void* block, uint32_t size) {
    ReadBlock(block, size, lineCount, orientation, scrolling);
}

} // namespace wqtrans
