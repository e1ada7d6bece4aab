// Library entry: the load-time check and the module handle.
#include <windows.h>

#include "module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    // Only a system without the wide-character API (Windows 95, 98, Me) answers 0 here. A
    // 64-bit build never loads there; the check stays as the library's one guard and
    // message for a system it cannot serve.
    if (GetWindowsDirectoryW(nullptr, 0) == 0) {
        MessageBoxA(nullptr,
                    "This build of Halcyra Framewheel requires a Unicode operating system (such "
                    "as Microsoft Windows NT).",
                    "Incompatible OS", MB_OK);
        return FALSE;
    }
    SetLibraryModule(instance);
    DisableThreadLibraryCalls(instance);
    return TRUE;
}
