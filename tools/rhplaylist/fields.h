// An entry's fields as the command line gives them (--loops, --size, ...), the values they
// may take, and the fields a new entry gets.
#pragma once

#include <windows.h>

#include "abi.h"
#include "settings.h"
#include "value_limits.h"

// The program's own limits (the settings load, the grid's editors and the Playlist Defaults
// dialog use the same table); the tool's checks, messages and --help take them from here.
inline constexpr LONG kMinLoops = kLoopRange.low, kMaxLoops = kLoopRange.high;
inline constexpr LONG kMinVolume = kVolumeRange.low, kMaxVolume = kVolumeRange.high;
inline constexpr double kMinSpeed = kSlowestSpeed, kMaxSpeed = kFastestSpeed;

// The fields given, as a row of the dialog's and the groups of it that were given.
struct Fields {
    PlaylistRow values{};
    DWORD given = 0; // kRowLoops, kRowSize, ... (playlist_row.h)

    bool any() const { return given != 0; }
    // Writes the given fields into item and returns their validMask bits.
    DWORD Apply(PlaybackItem &item) const { return RowToItem(values, item, given); }
};

// True when option names an entry field.
bool IsFieldOption(const wchar_t *option);
// Takes value for the field option; kDone, or the exit code after saying what was wrong.
int ParseField(const wchar_t *option, const wchar_t *value, Fields &fields);

// The fields the dialog's Add gives a new row: the Playlist Defaults of the settings,
// replaced by those given.
PlaybackItem NewEntry(const Settings &settings, const Fields &given);
