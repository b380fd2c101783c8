#include "transitions/MosaicTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

MosaicTransition::MosaicTransition() {
    nameId = 1003;
    dialogId = 104;
}

Transition* MosaicTransition::Clone() { return new (std::nothrow) MosaicTransition(); }

uint32_t MosaicTransition::GetID() { return kId; }

int32_t MosaicTransition::GetParams(void* out) { return WriteBlock(out, spotWidth); }

void MosaicTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, spotWidth); }

} // namespace wqtrans
