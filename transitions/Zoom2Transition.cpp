#include "transitions/Zoom2Transition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

Zoom2Transition::Zoom2Transition() {
    nameId = 1030;
    dialogId = 117;
}

Transition* Zoom2Transition::Clone() { return new (std::nothrow) Zoom2Transition(); }

uint32_t Zoom2Transition::GetID() { return kId; }

int32_t Zoom2Transition::GetMode() { return 11; }

int32_t Zoom2Transition::GetParams(void* out) { return WriteBlock(out, zoomIn); }

void Zoom2Transition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, zoomIn); }

} // namespace wqtrans
