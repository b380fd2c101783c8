// The library's entry point on Windows: keeps the module instance handle, from which
// every string and settings-panel template is loaded.
#include "platform/Platform.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wqtrans::moduleInstance = instance;
    }
    return TRUE;
}
