// Library entry: the load-time check and the module handle.
#include <windows.h>

#include "module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    // A system without the wide-character API answers 0 here; the library needs it.
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
