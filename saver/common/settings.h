// The program's one settings record and its registry store under
// HKEY_CURRENT_USER\Software\Halcyra\Reelhaven, with administrator policy overrides. Which
// values there are and how each is kept is the table of settings_values.cpp.
#pragma once

#include <windows.h>

#include "playlist_row.h"

enum { kColumnCount = 7, kBounceSpeedCount = 12 };

// The bounce-speed slider's 12 steps, slow to fast.
struct BounceSpeed {
    DWORD step;     // pixels per move
    DWORD interval; // milliseconds between moves
};
extern const BounceSpeed kBounceSpeeds[kBounceSpeedCount];

// Index of the first table pair equal to (step, interval), or kBounceSpeedCount (12).
int FindBounceSpeed(DWORD step, DWORD interval);

struct Settings {
    PlaylistRow playlistDefaults;
    LONG masterVolume;          // percent 0..100
    DWORD bounceStep;
    DWORD bounceInterval;
    LONG columnWidths[kColumnCount]; // File, Loops, Size, Bounce, Volume, Style, Speed
    wchar_t videoFileTypes[200];
    wchar_t playlistOpenDirectory[300];
    wchar_t playlistSaveDirectory[300];
    wchar_t videoDirectory[300];
    wchar_t playlist[300];
    bool showPath;
    bool randomOrderPlayback;
    bool continueWhereStopped;
    bool ignoreMouseMovement;
    bool keyboardControls;
    double lastPosition;
    LONG lastTrack;
    wchar_t lastPlaylist[300];
    COLORREF focusColor;
    bool quickStartShown;
    bool noCache;
    DWORD cacheExpirationPeriod; // days
    DWORD cacheCleanupInterval;  // days
    LONGLONG cacheLastCleanup;   // FILETIME, 100 ns units since 1601-01-01 UTC
    bool useClassicVideoRenderer;
    bool useSingleRendererDesktopMode;
    bool eachMonitorOwnVideo;    // a video of its own on each chosen monitor
    wchar_t monitors[1025];      // which monitors play, see ChooseMonitors; empty: all

    // Every default; the master volume is the system's current one, in percent.
    void SetDefaults();
    // Overwrites each field whose value is found (policy keys first).
    void Load();
    // Writes the always-saved values and, when all is true, every other one. Returns the
    // registry code of the last key opened or created.
    LONG Save(bool all);
    // Whether a policy forces the value kept in `field`, a member of this record: a policy
    // key or the machine's own key holds a value Load would take, so whatever the user saves
    // is not what is read. The dialogs show such values but do not let them be changed.
    bool ForcedByPolicy(const void *field) const;
};

// Type marker asking ReadPolicyValue for a boolean: the 4-byte buffer receives a DWORD
// 0 or 1 and the marker the stored type.
inline constexpr DWORD kRegBoolean = 100;

// Reads subkey\valueName from the first place that has it: Software\Policies\,
// Software\Microsoft\Windows\CurrentVersion\Policies\ and Software\, each under
// HKEY_LOCAL_MACHINE before HKEY_CURRENT_USER. type may be null. A value of fewer than
// `minimum` bytes counts as missing at its place. Returns 0 when a value was read, else the
// last registry error; the buffer is only changed by a successful read.
LONG ReadPolicyValue(const wchar_t *subkey, const wchar_t *valueName, DWORD *type, void *buffer,
                     DWORD size, DWORD minimum = 1);

// Whether a place ReadPolicyValue looks in before the user's own key holds the value with
// `minimum` to `size` bytes, so that it is read from there.
bool PolicyHoldsValue(const wchar_t *subkey, const wchar_t *valueName, DWORD minimum, DWORD size);

// Timeouts of the current power scheme (mains power, seconds). Each output may be null;
// all are 0 unless the scheme could be read, which the result says.
bool ReadPowerTimeouts(DWORD *idleTimeout, DWORD *videoTimeout, DWORD *spindownTimeout);
