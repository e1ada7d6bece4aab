// The configuration property sheet: Playlist, Options and About pages. Configure mode runs
// it in a single-threaded apartment and writes the settings when it closes.
#pragma once

#include <windows.h>

#include "help.h"

struct Settings;

// Configure mode: shows the sheet over `parent` and then stores the settings, all of them
// after OK, only the always-written ones otherwise. When the parent did not come from the
// command line the sheet centres itself on the parent's monitor.
void RunConfiguration(HWND parent, bool parentFromCommandLine, Settings &settings);

class ConfigSheet {
public:
    // Runs the modal sheet; true when the user confirmed with OK.
    bool Run(HelpLocation &location, HWND parent, bool parentFromCommandLine, Settings &settings);
};
