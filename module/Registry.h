// The registry of the 21 transitions, in index order.
#pragma once

#include <array>
#include <cstdint>

#include "module/Transition.h"

namespace wqtrans {

struct RegistryRow {
    uint32_t id;
    int32_t nameId;
    int32_t dialogId; // 0: no settings panel
    int32_t mode;
    Transition* (*make)();
};

inline constexpr int32_t kTransitionCount = 21;

// The table, one row per transition in index order.
const std::array<RegistryRow, kTransitionCount>& RegistryTable();

// The prototype of transition `index`, or null outside 0 to 20. Prototypes are made
// with their class defaults when the library loads and destroyed in reverse order
// when it unloads; they only ever answer GetID, GetMode, GetName and Clone.
Transition* Prototype(int32_t index);

} // namespace wqtrans
