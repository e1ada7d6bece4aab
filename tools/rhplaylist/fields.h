// An entry's fields as the command line gives them (--loops, --size, ...), the values they
// may take, and the fields a new entry gets.
#pragma once

#include <windows.h>

#include <optional>

#include "abi.h"
#include "settings.h"
#include "value_limits.h"

// The program's own limits (the settings load, the grid's editors and the Playlist Defaults
// dialog use the same table); the tool's checks, messages and --help take them from here.
inline constexpr LONG kMinLoops = kLoopRange.low, kMaxLoops = kLoopRange.high;
inline constexpr LONG kMinVolume = kVolumeRange.low, kMaxVolume = kVolumeRange.high;
inline constexpr double kMinSpeed = kSlowestSpeed, kMaxSpeed = kFastestSpeed;

struct Fields {
    std::optional<LONG> loops, sizeMode, volume, style;
    std::optional<bool> bounce;
    std::optional<float> speed;

    bool any() const { return loops || sizeMode || volume || style || bounce || speed; }
    // Writes the given fields into item and returns their validMask bits.
    DWORD Apply(PlaybackItem &item) const;
};

// The size mode (index into kSizeNames) of an entry's scale fields; -1 for none.
int SizeModeOf(const PlaybackItem &item);

// True when option names an entry field.
bool IsFieldOption(const wchar_t *option);
// Takes value for the field option; kDone, or the exit code after saying what was wrong.
int ParseField(const wchar_t *option, const wchar_t *value, Fields &fields);

// The fields the dialog's Add gives a new row: the Playlist Defaults of the settings,
// replaced by those given.
PlaybackItem NewEntry(const Settings &settings, const Fields &given);
