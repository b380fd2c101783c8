// The nine functions that the library exports with C names.
//
// A host loads the library, enumerates the transitions by index 0 to
// GetTransCount() - 1, and creates working instances by ID with a stored parameter
// block. Names are UTF-16 (IsUnicode answers 1); capacities count characters. No
// function throws; failures answer 0 or null.
#pragma once

#include <cstdint>

#include "Api.h"
#include "TransitionAdapter.h"

extern "C" {

// The module-type code "WQTR", held like a transition ID.
WQ_EXPORT uint32_t GetModuleType() noexcept;
// Loads the module name "Standard transitions" into `buffer`; characters copied (a
// longer name is cut to capacity - 1 characters and terminated).
WQ_EXPORT int32_t GetModuleName(char16_t* buffer, int32_t capacity) noexcept;
// The module ID "STDT" (0x54445453).
WQ_EXPORT uint32_t GetModuleID() noexcept;
// 1: every name the library hands out is UTF-16.
WQ_EXPORT int32_t IsUnicode() noexcept;
// 21.
WQ_EXPORT int32_t GetTransCount() noexcept;
// The name of transition `index` into `buffer`; characters copied. An index outside
// 0 to 20 answers 0 and leaves the buffer untouched.
WQ_EXPORT int32_t GetTransName(int32_t index, char16_t* buffer, int32_t capacity) noexcept;
// The ID of transition `index`, or 0 outside 0 to 20.
WQ_EXPORT uint32_t GetTransID(int32_t index) noexcept;
// The mode bits of transition `index`, or 0 outside 0 to 20.
WQ_EXPORT int32_t GetTransMode(int32_t index) noexcept;
// A new adapter owning a new instance of transition `id`, given `block` (when not
// null) as its parameter block; null for a `reserved` other than 0, an unknown ID or
// when memory runs out. The host deletes it through its Delete operation.
WQ_EXPORT wqtrans::TransitionAdapter* CreateTransition(int32_t reserved, uint32_t id, const void* block,
                                                       uint32_t size) noexcept;
}
