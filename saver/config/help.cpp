#include "help.h"

#include <cwchar>
#include <string>

#include "config_common.h"
#include "installation.h"

void LocateInstallationFolder(HelpLocation &location)
{
    location.folder[0] = L'\0';
    location.found = false;
    wchar_t folder[300];
    if (!FindInstallation(folder) || !folder[0] || wcslen(folder) >= 260)
        return;
    CopyText(location.folder, 260, folder);
    location.found = true;
}

void OpenHelpFile(const HelpLocation &location, const wchar_t *file, HWND owner)
{
    if (!location.found)
        return;
    std::wstring path = std::wstring(location.folder) + file;
    ShellOpen(owner, path.c_str(), SW_SHOWDEFAULT);
}
