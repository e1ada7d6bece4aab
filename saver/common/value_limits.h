// The ranges every part of the program holds a setting or a playlist row to: the settings
// store when it loads, the playlist page's rows and columns, the option dialogs and the
// playlist tool.
#pragma once

#include <windows.h>

#include <limits>

template <typename T>
struct Range {
    T low;
    T high;
    constexpr bool Holds(T value) const { return value >= low && value <= high; }
    // Below low, or no number at all, gives low; above high gives high.
    constexpr T Clamp(T value) const { return !(value >= low) ? low : (value > high ? high : value); }
};
using ValueRange = Range<LONG>;

inline constexpr ValueRange kLoopRange{1, 9999};
inline constexpr int kLoopDigits = 4; // what a box for a loop count takes
inline constexpr ValueRange kVolumeRange{0, 100}; // percent, master and per item
// A column narrower than this is lost to the eye and hard to grab; a much wider one
// pushes the others out of reach.
inline constexpr ValueRange kColumnWidthRange{16, 4096};

inline constexpr Range<float> kSpeedRange{0.25f, 4.0f};
inline constexpr float kSlowestSpeed = kSpeedRange.low;
inline constexpr float kFastestSpeed = kSpeedRange.high;

// Where the last run stopped, item and position: neither is ever before the start.
inline constexpr ValueRange kTrackRange{0, std::numeric_limits<LONG>::max()};
inline constexpr Range<double> kPositionRange{0.0, std::numeric_limits<double>::infinity()};
