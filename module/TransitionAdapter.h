// TransitionAdapter: the object that CreateTransition hands to the host.
//
// How a host calls it
// -------------------
// The adapter is a plain object whose first word points to a table of 17 operations,
// in the order below. Every operation takes the adapter itself first, then the
// arguments listed; all integers are fixed-width. A host compiled separately, with
// another compiler, needs only this header's table layout and calling convention:
//
//     TransitionAdapter* t = CreateTransition(0, MakeId('F','A','D','E'), block, size);
//     t->table->Begin(t, 1000);
//     while (!t->table->IsFinished(t)) {
//         t->table->Step(t, dest, oldFrame, newFrame, 0, &changed);
//         ... show dest, wait for the next frame ...
//     }
//     t->table->End(t);
//     t->table->Delete(t);               // deletes the transition and the adapter
//
// On 32-bit Windows the operations use the platform's member-call convention
// (__thiscall: the adapter in ECX, the other arguments on the stack, cleaned by the
// callee), as a host written against a C++ interface with that platform's own
// compiler calls them. Elsewhere they are ordinary C calls. WQ_ADAPTER_CALL names the
// convention.
//
// Operation 16 is the adapter's deleting destructor: it deletes the transition and,
// when bit 0 of its flag is set, frees the adapter. It is one slot, not a C++ virtual
// destructor. A host normally calls Delete (operation 0), which calls it with 1.
//
// When `inner` is null (never so for an adapter made by CreateTransition), the
// operations answer fixed values: 1 for CloseSettings and IsFinished, 2 for
// InterfaceNumber, 0 or nothing for the rest.
//
// No operation lets an exception escape: failures are return values (0 or null).
#pragma once

#include <cstdint>

#include "../platform/Platform.h"
#include "HostSurface.h"
#include "Types.h"

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#if defined(_MSC_VER)
#define WQ_ADAPTER_CALL __thiscall
#else
#define WQ_ADAPTER_CALL __attribute__((thiscall))
#endif
#else
#define WQ_ADAPTER_CALL
#endif

namespace wqtrans {

class Transition;
struct TransitionAdapter;

struct TransitionAdapterTable {
    // 0: deletes the transition and the adapter (nothing for a null adapter).
    void(WQ_ADAPTER_CALL* Delete)(TransitionAdapter* self);
    // 1: always 2.
    int32_t(WQ_ADAPTER_CALL* InterfaceNumber)(TransitionAdapter* self);
    // 2: the display name into a UTF-16 buffer of `capacity` characters; characters copied.
    int32_t(WQ_ADAPTER_CALL* Name)(TransitionAdapter* self, char16_t* buffer, int32_t capacity);
    // 3: the four-character ID.
    uint32_t(WQ_ADAPTER_CALL* ID)(TransitionAdapter* self);
    // 4: the mode bits.
    int32_t(WQ_ADAPTER_CALL* Mode)(TransitionAdapter* self);
    // 5: writes the parameter block to `out` unless it is null; returns its size.
    int32_t(WQ_ADAPTER_CALL* GetParameters)(TransitionAdapter* self, void* out);
    // 6: opens the settings panel as a child of `parent`; the panel window or null.
    HWND(WQ_ADAPTER_CALL* OpenSettings)(TransitionAdapter* self, HWND parent, intptr_t unused);
    // 7: closes the panel, reading it back first when `apply` is not 0; returns 1.
    int32_t(WQ_ADAPTER_CALL* CloseSettings)(TransitionAdapter* self, int32_t apply);
    // 8: starts a run of `durationMs` milliseconds (0 counts as 1).
    int32_t(WQ_ADAPTER_CALL* Begin)(TransitionAdapter* self, uint32_t durationMs);
    // 9: draws one frame; 1 drawn, 0 not drawn. `changed` receives the changed-rectangle
    // list of the transitions that report one.
    int32_t(WQ_ADAPTER_CALL* Step)(TransitionAdapter* self, HostSurface* dest, HostSurface* oldFrame,
                                   HostSurface* newFrame, int32_t flags, ChangedRect** changed);
    // 10: ends the run.
    void(WQ_ADAPTER_CALL* End)(TransitionAdapter* self);
    // 11: 1 when the run is over.
    int32_t(WQ_ADAPTER_CALL* IsFinished)(TransitionAdapter* self);
    // 12: elapsed milliseconds as of the last step.
    uint32_t(WQ_ADAPTER_CALL* Elapsed)(TransitionAdapter* self);
    // 13: moves the run to `elapsedMs`.
    void(WQ_ADAPTER_CALL* SetElapsed)(TransitionAdapter* self, uint32_t elapsedMs);
    // 14: feature query.
    int32_t(WQ_ADAPTER_CALL* QueryFeature)(TransitionAdapter* self, int32_t feature, int32_t value);
    // 15: the extended step (Fade only; 0 for the others).
    int32_t(WQ_ADAPTER_CALL* StepEx)(TransitionAdapter* self, HostSurface* dest, int32_t x, int32_t y,
                                     HostSurface* oldFrame, HostSurface* newFrame, int32_t flags, int32_t reserved,
                                     int32_t mode, int32_t op, HostParam param, int32_t blitFlags);
    // 16: the deleting destructor: deletes `inner`, then frees the adapter when bit 0
    // of `flag` is set.
    void(WQ_ADAPTER_CALL* Destroy)(TransitionAdapter* self, int32_t flag);
};

struct TransitionAdapter {
    const TransitionAdapterTable* table;
    Transition* inner;
};

// Inside the library only (not exported; hosts get adapters from CreateTransition):
// the table that every adapter made by this module points to,
const TransitionAdapterTable& AdapterTable();
// and a new adapter owning `inner`, or null when memory runs out (the caller keeps `inner`).
TransitionAdapter* NewAdapter(Transition* inner) noexcept;

} // namespace wqtrans
