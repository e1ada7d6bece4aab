// Which monitors a run plays on: the "Monitors" setting read against the monitors that are
// there. ChooseMonitors is pure (tests feed it lists); PresentMonitors asks the system.
#pragma once

#include <windows.h>

#include <span>
#include <string_view>
#include <vector>

// Longest "Monitors" text taken; anything longer counts as damaged. The settings field
// holds exactly this many characters and its terminator.
inline constexpr size_t kMonitorsChars = 1024;

struct DisplayMonitor {
    wchar_t device[CCHDEVICENAME]; // as MONITORINFOEXW::szDevice, e.g. \\.\DISPLAY1
    RECT area;                     // in virtual-screen coordinates
    bool primary;
};

// The monitors of `present` that `setting` names, main monitor first, then the others left
// to right and top to bottom (device name on a tie), whatever order `present` has.
// The setting is "" (every monitor), "Main" (the main monitor), or device names separated
// by ";", where "Main" may stand for the main monitor too. Names compare without regard to
// case, blanks around them are dropped, and names that match no monitor are skipped.
// Every present monitor is chosen when nothing matches, and when the setting is damaged:
// longer than kMonitorsChars, only separators and blanks, or holding a control character
// (other than blanks) anywhere. Empty only when `present` is.
std::vector<DisplayMonitor> ChooseMonitors(std::wstring_view setting,
                                           std::span<const DisplayMonitor> present);

// The monitors attached to the desktop, in the system's order (EnumDisplayMonitors).
std::vector<DisplayMonitor> PresentMonitors();
