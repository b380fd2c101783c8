#include "transitions/ZigZag2Transition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

ZigZag2Transition::ZigZag2Transition() {
    nameId = 1023;
    dialogId = 110;
}

Transition* ZigZag2Transition::Clone() { return new (std::nothrow) ZigZag2Transition(); }

uint32_t ZigZag2Transition::GetID() { return kId; }

int32_t ZigZag2Transition::GetParams(void* out) { return WriteBlock(out, orientation, lineCount); }

void ZigZag2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, orientation, lineCount); }

} // namespace wqtrans
