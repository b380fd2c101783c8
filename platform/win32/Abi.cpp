// Compile-time checks of what a 32-bit Windows host relies on: the adapter's table has
// one 4-byte slot per operation in table order, the adapter starts with the table
// pointer, and the panel procedure has the system's dialog-procedure type.
#include <cstddef>
#include <type_traits>

#include "module/Transition.h"
#include "module/TransitionAdapter.h"

namespace wqtrans {
namespace {

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(void*) == 4);
static_assert(offsetof(TransitionAdapterTable, Delete) == 0);
static_assert(offsetof(TransitionAdapterTable, InterfaceNumber) == 4);
static_assert(offsetof(TransitionAdapterTable, Name) == 8);
static_assert(offsetof(TransitionAdapterTable, ID) == 12);
static_assert(offsetof(TransitionAdapterTable, Mode) == 16);
static_assert(offsetof(TransitionAdapterTable, GetParameters) == 20);
static_assert(offsetof(TransitionAdapterTable, OpenSettings) == 24);
static_assert(offsetof(TransitionAdapterTable, CloseSettings) == 28);
static_assert(offsetof(TransitionAdapterTable, Begin) == 32);
static_assert(offsetof(TransitionAdapterTable, Step) == 36);
static_assert(offsetof(TransitionAdapterTable, End) == 40);
static_assert(offsetof(TransitionAdapterTable, IsFinished) == 44);
static_assert(offsetof(TransitionAdapterTable, Elapsed) == 48);
static_assert(offsetof(TransitionAdapterTable, SetElapsed) == 52);
static_assert(offsetof(TransitionAdapterTable, QueryFeature) == 56);
static_assert(offsetof(TransitionAdapterTable, StepEx) == 60);
static_assert(offsetof(TransitionAdapterTable, Destroy) == 64);
static_assert(sizeof(TransitionAdapterTable) == 68);
static_assert(offsetof(TransitionAdapter, table) == 0);
static_assert(offsetof(TransitionAdapter, inner) == 4);
static_assert(sizeof(TransitionAdapter) == 8);
static_assert(sizeof(HostParam) == 4 && sizeof(LONG) == 4 && sizeof(HWND) == 4);
#endif

static_assert(std::is_same_v<decltype(&Transition::SettingsDialogProc), DLGPROC>);
static_assert(std::is_standard_layout_v<TransitionAdapter> && std::is_standard_layout_v<TransitionAdapterTable>);

} // namespace
} // namespace wqtrans
