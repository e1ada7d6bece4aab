// The installation folder, where the help files and the Quick Start text lie, and opening
// a help file from it.
#pragma once

#include <windows.h>

struct HelpLocation {
    wchar_t folder[260]; // ends in a backslash when found
    bool found;
};

// Fills `location` from Windows Installer's record of the program's main component.
void LocateInstallationFolder(HelpLocation &location);

// Opens `file` from the installation folder with the shell's default action.
void OpenHelpFile(const HelpLocation &location, const wchar_t *file, HWND owner);
