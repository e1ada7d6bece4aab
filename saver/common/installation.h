// Asking Windows Installer whether Reelhaven is installed, and where.
#pragma once

#include <windows.h>

// True when the program's main component is installed locally or runs from its source.
// folder then holds the installation folder, ending in a backslash (the component's key
// file path cut right behind its last backslash).
bool FindInstallation(wchar_t (&folder)[300]);
