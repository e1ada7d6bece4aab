#include "installation.h"

#include <msi.h>

#include <cwchar>

#include "install_ids.h"

bool FindInstallation(wchar_t (&folder)[300])
{
    folder[0] = L'\0';
    wchar_t path[300] = {};
    DWORD length = 300;
    const INSTALLSTATE state = MsiGetComponentPathW(REELHAVEN_PRODUCT_CODE,
                                                    REELHAVEN_MAIN_COMPONENT_CODE, path, &length);
    // A path longer than the buffer comes back as INSTALLSTATE_MOREDATA: not usable.
    if (state != INSTALLSTATE_LOCAL && state != INSTALLSTATE_SOURCE)
        return false;
    path[299] = L'\0';
    wchar_t *lastBackslash = wcsrchr(path, L'\\');
    if (lastBackslash)
        lastBackslash[1] = L'\0';
    else
        path[0] = L'\0';
    wcscpy(folder, path);
    return true;
}
