#include "transitions/CellTransition.h"

#include <new>

#include "module/ParamBlock.h"

namespace wqtrans {

CellTransition::CellTransition() {
    nameId = 1031;
    dialogId = 118;
}

Transition* CellTransition::Clone() { return new (std::nothrow) CellTransition(); }

uint32_t CellTransition::GetID() { return kId; }

int32_t CellTransition::GetParams(void* out) { return WriteBlock(out, columns, rows); }

void CellTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, columns, rows); }

} // namespace wqtrans
