#include "transitions/BandsTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

BandsTransition::BandsTransition() {
    nameId = 1004;
    dialogId = 102;
}

Transition* BandsTransition::Clone() { return new (std::nothrow) BandsTransition(); }

uint32_t BandsTransition::GetID() { return kId; }

int32_t BandsTransition::GetParams(void* out) { return WriteBlock(out, bandCount, direction); }

void BandsTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, bandCount, direction); }

} // namespace wqtrans
