// The platform calls of the module: the real Win32 calls on Windows, the stand-in of
// platform/posix elsewhere. Module and transition code includes this header only and
// never tests the platform itself.
#pragma once

#include <cstdint>

#include "../module/Api.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// <windows.h> first: the other two build on its types.
#include <windows.h>

#include <commctrl.h>
#include <mmsystem.h>
// Leftovers of 16-bit pointer qualifiers, defined empty by the system headers: they
// would swallow ordinary names such as `far` and `near` in module code.
#undef far
#undef near
#else
#include "posix/Win32.h"
#endif

namespace wqtrans {

// The library's module instance handle: stored at process attach on Windows, null
// elsewhere (the string table and the dialog templates are then linked in).
extern HINSTANCE moduleInstance;

namespace crt {

// The C runtime generator of the module's own platform, on every platform, so that a
// run with a given seed draws the same cells everywhere: values 0 to 32767 from
// state = state * 214013 + 2531011, output (state >> 16) & 0x7FFF, initial state 1.
// Each thread has its own state, as in the platform's multithreaded C runtime.
int rand();
WQ_API void srand(unsigned int seed);

} // namespace crt

namespace platform {

// Replaces the millisecond time source behind timeGetTime (stand-in platforms only;
// on Windows the system timer is always used). `source` is called with `context` and
// returns the time in milliseconds, wrapping at 2^32. Null restores the monotonic
// system clock. The source is the calling thread's own: other threads keep theirs.
using TimeSource = uint32_t (*)(void* context);
WQ_API void SetTimeSource(TimeSource source, void* context);

} // namespace platform

} // namespace wqtrans
