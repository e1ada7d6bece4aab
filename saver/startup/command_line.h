// Reading the screen-saver command line: only its second character picks the mode.
#pragma once

#include <windows.h>

enum class SaverMode {
    Configure, // no argument, /c or /c:<window>
    Preview,   // /p <window>
    Run,       // /s
    None,      // any other letter: exit at once
};

struct SaverCommand {
    SaverMode mode;
    HWND window;        // configure or preview parent; null with useForeground
    bool useForeground; // configure with the foreground window at dispatch time
};

// commandLine is the text after the program name, as a wide GUI entry point receives it.
SaverCommand ParseCommandLine(const wchar_t *commandLine);

// The decimal number that begins at the fourth character (leading blanks, sign, digits),
// as a window handle; 0 when there is no number.
HWND WindowFromCommandLine(const wchar_t *commandLine);
