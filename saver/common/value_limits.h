// The ranges every part of the program holds a setting or a playlist row to: the settings
// store when it loads, the playlist page's rows and columns, and the option dialogs.
#pragma once

#include <windows.h>

struct ValueRange {
    LONG low;
    LONG high;
    constexpr bool Holds(LONG value) const { return value >= low && value <= high; }
    constexpr LONG Clamp(LONG value) const { return value < low ? low : (value > high ? high : value); }
};

inline constexpr ValueRange kLoopRange{1, 9999};
inline constexpr int kLoopDigits = 4; // what a box for a loop count takes
inline constexpr ValueRange kVolumeRange{0, 100}; // percent, master and per item
// A column narrower than this is lost to the eye and hard to grab; a much wider one
// pushes the others out of reach.
inline constexpr ValueRange kColumnWidthRange{16, 4096};

inline constexpr float kSlowestSpeed = 0.25f;
inline constexpr float kFastestSpeed = 4.0f;
