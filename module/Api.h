// What the library shows to the programs that link it.
//
// Everything is built hidden; only what a host needs is marked here:
// - WQ_EXPORT: the nine exported C functions. On Windows they are exported by name
//   and ordinal through WQTRANS.def as well.
// - WQ_API: the C++ host API of the shared libraries on ELF platforms: the settings
//   panel automation, the clock and random-generator hooks, and the reference
//   surface. WQTRANS.dll exports nothing beyond its nine functions.
//
// The installed headers (under include/wqtrans/) include one another by paths
// relative to themselves, so that they compile from the installed tree as well as from
// the source tree.
#pragma once

#if defined(_WIN32)
#if defined(WQTRANS_BUILDING)
#define WQ_EXPORT __declspec(dllexport)
#else
#define WQ_EXPORT
#endif
#define WQ_API
#else
#define WQ_EXPORT __attribute__((visibility("default")))
#define WQ_API __attribute__((visibility("default")))
#endif
