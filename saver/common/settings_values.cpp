// Every registry value of the settings, in the order Save writes them (the always-saved
// ones first). One entry a line: the policy template check reads this table.
#include "settings_values.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

#include "monitor_choice.h"
#include "settings.h"

namespace {

#define FIELD(member) offsetof(Settings, member), sizeof(std::declval<Settings &>().member)

constexpr SettingValue kValues[] = {
    // key, name, field, form, registry type, saved, policy, limits, default
    {Key::Product, L"Show Path", FIELD(showPath), Form::Flag, REG_DWORD, Saved::Always, Policy::Offered, kNoLimits, false},
    {Key::Product, L"QuickStartShown", FIELD(quickStartShown), Form::Flag, REG_BINARY, Saved::IfSet, Policy::Never, kNoLimits, false},
    {Key::Product, L"CacheLastCleanup", FIELD(cacheLastCleanup), Form::Integer, REG_BINARY, Saved::Always, Policy::Never, kNoLimits, 0},
    {Key::ColumnWidths, L"File", FIELD(columnWidths[0]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Loops", FIELD(columnWidths[1]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Size", FIELD(columnWidths[2]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Bounce", FIELD(columnWidths[3]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Volume", FIELD(columnWidths[4]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Style", FIELD(columnWidths[5]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::ColumnWidths, L"Speed", FIELD(columnWidths[6]), Form::Integer, REG_DWORD, Saved::Always, Policy::Unoffered, kColumnWidthRange, 100},
    {Key::Product, L"Bounce Speed", FIELD(bounceStep), Form::BounceSpeed, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, 40},
    {Key::Product, L"Continue Where Stopped", FIELD(continueWhereStopped), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Keyboard Controls", FIELD(keyboardControls), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Video Directory", FIELD(videoDirectory), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, Source::DocumentsFolder},
    {Key::Product, L"Playlist Open Directory", FIELD(playlistOpenDirectory), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, Source::DocumentsFolder},
    {Key::Product, L"LastPlaylist", FIELD(lastPlaylist), Form::Text, REG_BINARY, Saved::All, Policy::Unoffered, kNoLimits, L""},
    {Key::Product, L"LastPos", FIELD(lastPosition), Form::Real, REG_BINARY, Saved::All, Policy::Unoffered, kPositionRange, 0},
    {Key::Product, L"Playlist Save Directory", FIELD(playlistSaveDirectory), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, Source::DocumentsFolder},
    {Key::Product, L"LastTrack", FIELD(lastTrack), Form::Integer, REG_BINARY, Saved::All, Policy::Unoffered, kTrackRange, 0},
    {Key::Product, L"Master Volume", FIELD(masterVolume), Form::Integer, REG_DWORD, Saved::All, Policy::Offered, kVolumeRange, Source::MasterVolume},
    {Key::Product, L"Ignore Mouse Movement", FIELD(ignoreMouseMovement), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Playlist", FIELD(playlist), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, L""},
    {Key::Defaults, L"Bounce", FIELD(playlistDefaults.bounce), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Defaults, L"Loops", FIELD(playlistDefaults.loops), Form::Integer, REG_DWORD, Saved::All, Policy::Offered, kLoopRange, 1},
    {Key::Defaults, L"Size", FIELD(playlistDefaults.sizeMode), Form::SizeName, REG_SZ, Saved::All, Policy::Offered, kNoLimits, 0},
    {Key::Defaults, L"Speed", FIELD(playlistDefaults.speed), Form::Speed, REG_SZ, Saved::All, Policy::Offered, kSpeedRange, 1.0},
    {Key::Defaults, L"Style", FIELD(playlistDefaults.displayStyle), Form::StyleName, REG_SZ, Saved::All, Policy::Offered, kNoLimits, 0},
    {Key::Defaults, L"Volume", FIELD(playlistDefaults.volume), Form::Integer, REG_DWORD, Saved::All, Policy::Offered, kVolumeRange, 100},
    {Key::Product, L"Random Order Playback", FIELD(randomOrderPlayback), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Video File Types", FIELD(videoFileTypes), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv"},
    {Key::Product, L"Focus Color", FIELD(focusColor), Form::Integer, REG_DWORD, Saved::All, Policy::Unoffered, kNoLimits, Source::FocusColour},
    {Key::Product, L"Use Classic Video Renderer", FIELD(useClassicVideoRenderer), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"UseSingleRendererDesktopMode", FIELD(useSingleRendererDesktopMode), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Each Monitor Own Video", FIELD(eachMonitorOwnVideo), Form::Flag, REG_DWORD, Saved::All, Policy::Offered, kNoLimits, false},
    {Key::Product, L"Monitors", FIELD(monitors), Form::Text, REG_SZ, Saved::All, Policy::Offered, kNoLimits, L""},
    {Key::Product, L"No Cache", FIELD(noCache), Form::Flag, REG_DWORD, Saved::Never, Policy::Offered, kNoLimits, true},
    {Key::Product, L"Cache Expiration Period", FIELD(cacheExpirationPeriod), Form::Integer, REG_DWORD, Saved::Never, Policy::Offered, kNoLimits, 10},
    {Key::Product, L"Cache Cleanup Interval", FIELD(cacheCleanupInterval), Form::Integer, REG_DWORD, Saved::Never, Policy::Offered, kNoLimits, 2},
};

#undef FIELD

// What the store's code relies on of each entry, checked when it compiles.
constexpr bool Consistent(const SettingValue &v)
{
    const bool text = v.initial.text != nullptr || v.initial.source == Source::DocumentsFolder;
    bool fits = false;
    switch (v.form) {
    case Form::Flag:
        fits = v.size == sizeof(bool) && (v.type == REG_DWORD || v.type == REG_BINARY);
        break;
    case Form::Integer:
        // Limits compare as a signed 32-bit number.
        fits = (v.size == 4 || (v.size == 8 && v.type == REG_BINARY && !v.limits.Bounded())) &&
               (v.type == REG_DWORD || v.type == REG_BINARY);
        break;
    case Form::Real:
        fits = v.size == sizeof(double) && v.type == REG_BINARY;
        break;
    case Form::Text:
        fits = v.size >= 2 * sizeof(wchar_t) && v.size % sizeof(wchar_t) == 0 &&
               (v.type == REG_SZ || v.type == REG_BINARY);
        break;
    case Form::SizeName:
    case Form::StyleName:
        fits = v.size == sizeof(LONG) && v.type == REG_SZ;
        break;
    case Form::Speed:
        fits = v.size == sizeof(float) && v.type == REG_SZ;
        break;
    case Form::BounceSpeed:
        fits = v.offset == offsetof(Settings, bounceStep) &&
               offsetof(Settings, bounceInterval) == v.offset + sizeof(DWORD) && v.type == REG_DWORD;
        break;
    }
    // The user's own key is read for exactly the bytes a save writes.
    const bool userKey = v.policy != Policy::Never ||
                         (v.key == Key::Product && v.size <= 8 &&
                          (v.form == Form::Integer || v.form == Form::Real ||
                           (v.form == Form::Flag && v.type == REG_BINARY)));
    return fits && userKey && text == (v.form == Form::Text) &&
           (v.saved != Saved::IfSet || v.form == Form::Flag) &&
           (!v.limits.Bounded() ||
            v.form == Form::Integer || v.form == Form::Real || v.form == Form::Speed);
}
static_assert(sizeof(Settings::monitors) == (kMonitorsChars + 1) * sizeof(wchar_t));
static_assert(std::all_of(std::begin(kValues), std::end(kValues), Consistent));

} // namespace

std::span<const SettingValue> SettingValues()
{
    return kValues;
}
