#include "transitions/OpenTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

OpenTransition::OpenTransition() {
    nameId = 1024;
    dialogId = 111;
}

Transition* OpenTransition::Clone() { return new (std::nothrow) OpenTransition(); }

uint32_t OpenTransition::GetID() { return kId; }

int32_t OpenTransition::GetParams(void* out) { return WriteBlock(out, option); }

void OpenTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, option); }

} // namespace wqtrans
