#include "transitions/AdvancedScrollingTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

AdvancedScrollingTransition::AdvancedScrollingTransition() {
    nameId = 1019;
    dialogId = 108;
}

Transition* AdvancedScrollingTransition::Clone() { return new (std::nothrow) AdvancedScrollingTransition(); }

uint32_t AdvancedScrollingTransition::GetID() { return kId; }

int32_t AdvancedScrollingTransition::GetMode() { return 11; }

int32_t AdvancedScrollingTransition::GetParams(void* out) { return WriteBlock(out, style); }

void AdvancedScrollingTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, style); }

} // namespace wqtrans
