// Defaults, registry load with policy lookup, registry save, and the power scheme read.
#include "settings.h"

#include <shlobj.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "handles.h"
#include "mixer.h"
#include "value_limits.h"
#include "windows_version.h"

const wchar_t *const kColumnNames[kColumnCount] = {L"File",   L"Loops", L"Size", L"Bounce",
                                                   L"Volume", L"Style", L"Speed"};
const BounceSpeed kBounceSpeeds[kBounceSpeedCount] = {
    {1, 100}, {1, 50}, {1, 33}, {1, 25}, {1, 20}, {1, 17},
    {2, 29},  {2, 25}, {2, 22}, {2, 20}, {2, 18}, {2, 17}};

namespace {

constexpr wchar_t kRegistryKey[] = L"Software\\Halcyra\\Reelhaven";
constexpr wchar_t kProductSubkey[] = L"Halcyra\\Reelhaven";
constexpr wchar_t kColumnWidthsSubkey[] = L"Halcyra\\Reelhaven\\Playlist Column Widths";
constexpr wchar_t kDefaultsSubkey[] = L"Halcyra\\Reelhaven\\Playlist Defaults";
constexpr wchar_t kColumnWidthsKey[] = L"Playlist Column Widths";
constexpr wchar_t kDefaultsKey[] = L"Playlist Defaults";

template <size_t N>
void CopyText(wchar_t (&target)[N], const wchar_t *source)
{
    wcsncpy(target, source, N - 1);
    target[N - 1] = L'\0';
}

// ---- reading ----

bool ReadBool(const wchar_t *subkey, const wchar_t *name, bool &field)
{
    DWORD type = kRegBoolean;
    DWORD value = 0;
    if (ReadPolicyValue(subkey, name, &type, &value, sizeof(value), 1) != ERROR_SUCCESS)
        return false;
    field = value != 0;
    return true;
}

template <typename T>
bool ReadFixed(const wchar_t *subkey, const wchar_t *name, T &field)
{
    T value{};
    if (ReadPolicyValue(subkey, name, nullptr, &value, sizeof(value), sizeof(value)) != ERROR_SUCCESS)
        return false;
    field = value;
    return true;
}

// Reads text into a field of N characters; the result is always terminated in the field.
template <size_t N>
bool ReadText(const wchar_t *subkey, const wchar_t *name, wchar_t (&field)[N])
{
    wchar_t value[N] = {};
    if (ReadPolicyValue(subkey, name, nullptr, value, sizeof(value), sizeof(wchar_t)) != ERROR_SUCCESS)
        return false;
    value[N - 1] = L'\0';
    std::memcpy(field, value, sizeof(value));
    return true;
}

// Index of name in table, compared without regard to case; -1 when it is not there.
int FindName(const wchar_t *name, const wchar_t *const *table, int count)
{
    for (int i = 0; i < count; ++i) {
        if (_wcsicmp(name, table[i]) == 0)
            return i;
    }
    return -1;
}

// Decimal floating point: leading blanks, sign, digits, point, digits, exponent. Text
// without a number gives 0. Only this form is taken (no "inf", "nan" or hex numbers).
double ParseDecimal(const wchar_t *text)
{
    while (*text == L' ' || *text == L'\t' || *text == L'\n' || *text == L'\r' ||
           *text == L'\v' || *text == L'\f')
        ++text;
    std::string number;
    const wchar_t *p = text;
    if (*p == L'+' || *p == L'-')
        number += static_cast<char>(*p++);
    size_t digits = 0;
    while (*p >= L'0' && *p <= L'9') {
        number += static_cast<char>(*p++);
        ++digits;
    }
    if (*p == L'.') {
        number += '.';
        ++p;
        while (*p >= L'0' && *p <= L'9') {
            number += static_cast<char>(*p++);
            ++digits;
        }
    }
    if (digits == 0)
        return 0.0;
    if (*p == L'e' || *p == L'E') {
        std::string exponent = "e";
        const wchar_t *q = p + 1;
        if (*q == L'+' || *q == L'-')
            exponent += static_cast<char>(*q++);
        if (*q >= L'0' && *q <= L'9') {
            while (*q >= L'0' && *q <= L'9')
                exponent += static_cast<char>(*q++);
            number += exponent;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return std::isfinite(value) ? value : (value < 0 ? -HUGE_VAL : HUGE_VAL);
}

template <typename T>
T Clamp(T value, T low, T high)
{
    return value < low ? low : (value > high ? high : value);
}

// ---- writing ----

void WriteDword(HKEY key, const wchar_t *name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
}

void WriteBool(HKEY key, const wchar_t *name, bool value)
{
    WriteDword(key, name, value ? 1 : 0);
}

void WriteText(HKEY key, const wchar_t *name, DWORD type, const wchar_t *text)
{
    const DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE *>(text), bytes);
}

void WriteBinary(HKEY key, const wchar_t *name, const void *data, DWORD size)
{
    RegSetValueExW(key, name, 0, REG_BINARY, static_cast<const BYTE *>(data), size);
}

constexpr REGSAM kSaveAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

LONG CreateKey(HKEY parent, const wchar_t *name, RegKey &key)
{
    return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kSaveAccess, nullptr,
                           key.put(), nullptr);
}

void DocumentsFolder(wchar_t (&folder)[300])
{
    folder[0] = L'\0';
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list)) || list == nullptr)
        return;
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(list, path))
        CopyText(folder, path);
    CoTaskMemFree(list);
}

} // namespace

int FindBounceSpeed(DWORD step, DWORD interval)
{
    for (int i = 0; i < kBounceSpeedCount; ++i) {
        if (kBounceSpeeds[i].step == step && kBounceSpeeds[i].interval == interval)
            return i;
    }
    return kBounceSpeedCount;
}

BounceSpeed DecodeBounceSpeed(LONG stored)
{
    if (stored >= 0 && stored <= 9)
        return kBounceSpeeds[0];
    if (stored >= 10 && stored <= 120)
        return kBounceSpeeds[stored / 10 - 1];
    return kBounceSpeeds[kBounceSpeedCount - 1];
}

DWORD EncodeBounceSpeed(DWORD step, DWORD interval)
{
    return static_cast<DWORD>(FindBounceSpeed(step, interval) + 1) * 10;
}

LONG ReadPolicyValue(const wchar_t *subkey, const wchar_t *valueName, DWORD *type, void *buffer,
                     DWORD size, DWORD minimum)
{
    static const struct {
        HKEY root;
        const wchar_t *prefix;
    } kPlaces[] = {
        {HKEY_LOCAL_MACHINE, L"Software\\Policies\\"},
        {HKEY_CURRENT_USER, L"Software\\Policies\\"},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\"},
        {HKEY_LOCAL_MACHINE, L"Software\\"},
        {HKEY_CURRENT_USER, L"Software\\"},
    };
    const bool boolean = type != nullptr && *type == kRegBoolean;
    // A failed attempt may scribble on its buffer; the caller's changes only on success.
    std::vector<BYTE> scratch(size);
    LONG result = ERROR_FILE_NOT_FOUND;
    for (const auto &place : kPlaces) {
        const std::wstring path = std::wstring(place.prefix) + subkey;
        RegKey key;
        result = RegOpenKeyExW(place.root, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
        if (result != ERROR_SUCCESS)
            continue;
        DWORD storedType = REG_NONE;
        DWORD bytes = size;
        std::fill(scratch.begin(), scratch.end(), BYTE{0});
        result = RegQueryValueExW(key.get(), valueName, nullptr, &storedType, scratch.data(), &bytes);
        if (result == ERROR_SUCCESS && bytes < minimum)
            result = ERROR_FILE_NOT_FOUND; // too short to be a value: as if missing here
        if (result != ERROR_SUCCESS)
            continue;

        if (type)
            *type = storedType;
        if (!boolean) {
            std::memcpy(buffer, scratch.data(), size);
            return ERROR_SUCCESS;
        }
        // A boolean is a DWORD not 0, or the text "1" (4 bytes hold one character).
        DWORD truth = 0;
        if (storedType == REG_SZ || storedType == REG_EXPAND_SZ) {
            wchar_t text[2] = {};
            std::memcpy(text, scratch.data(), bytes < sizeof(text) ? bytes : sizeof(text));
            truth = text[0] == L'1' && (bytes < sizeof(text) || text[1] == L'\0');
        } else {
            for (DWORD i = 0; i < bytes; ++i)
                truth |= scratch[i];
            truth = truth != 0;
        }
        std::memcpy(buffer, &truth, size < sizeof(truth) ? size : sizeof(truth));
        return ERROR_SUCCESS;
    }
    return result;
}

bool ReadPowerTimeouts(DWORD *idleTimeout, DWORD *videoTimeout, DWORD *spindownTimeout)
{
    for (DWORD *out : {idleTimeout, videoTimeout, spindownTimeout}) {
        if (out)
            *out = 0;
    }
    RegKey powerCfg;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\PowerCfg", 0, KEY_QUERY_VALUE,
                      powerCfg.put()) != ERROR_SUCCESS)
        return false;
    wchar_t scheme[21] = {}; // 40 bytes of text and a terminator that is always there
    DWORD bytes = 40;
    if (RegQueryValueExW(powerCfg.get(), L"CurrentPowerPolicy", nullptr, nullptr,
                         reinterpret_cast<BYTE *>(scheme), &bytes) != ERROR_SUCCESS)
        return false;

    const std::wstring path = std::wstring(L"PowerPolicies\\") + scheme;
    RegKey policy;
    if (RegOpenKeyExW(powerCfg.get(), path.c_str(), 0, KEY_QUERY_VALUE, policy.put()) !=
        ERROR_SUCCESS)
        return false;
    BYTE data[80] = {};
    bytes = sizeof(data);
    if (RegQueryValueExW(policy.get(), L"Policies", nullptr, nullptr, data, &bytes) != ERROR_SUCCESS)
        return false;
    // USER_POWER_POLICY: IdleTimeoutAc at 28, VideoTimeoutAc at 56, SpindownTimeoutAc at 64.
    // A value too short to hold them is no power scheme.
    if (bytes < 68)
        return false;
    const auto at = [&data](size_t offset) {
        DWORD value;
        std::memcpy(&value, data + offset, sizeof(value));
        return value;
    };
    if (idleTimeout)
        *idleTimeout = at(28);
    if (videoTimeout)
        *videoTimeout = at(56);
    if (spindownTimeout)
        *spindownTimeout = at(64);
    return true;
}

void Settings::SetDefaults(LONG currentMasterVolume)
{
    playlistDefaults.path[0] = L'\0';
    playlistDefaults.name = playlistDefaults.path;
    playlistDefaults.error = S_OK;
    playlistDefaults.loops = 1;
    playlistDefaults.sizeMode = 0;
    playlistDefaults.displayStyle = 0;
    playlistDefaults.volume = 100;
    playlistDefaults.speed = 1.0f;
    playlistDefaults.bounce = false;

    masterVolume = kVolumeRange.Clamp(currentMasterVolume);
    bounceStep = 1;
    bounceInterval = 25;
    for (LONG &width : columnWidths)
        width = 100;
    CopyText(videoFileTypes, L"*.asf;*.avi;*.mov;*.mpg;*.mpeg;*.qt;*.vob;*.wmv");
    DocumentsFolder(playlistOpenDirectory);
    CopyText(playlistSaveDirectory, playlistOpenDirectory);
    CopyText(videoDirectory, playlistOpenDirectory);
    playlist[0] = L'\0';
    showPath = false;
    randomOrderPlayback = false;
    continueWhereStopped = false;
    ignoreMouseMovement = false;
    keyboardControls = false;
    lastPosition = 0.0;
    lastTrack = 0;
    lastPlaylist[0] = L'\0';
    focusColor = DefaultFocusColor();
    quickStartShown = false;
    noCache = true;
    cacheExpirationPeriod = 10;
    cacheCleanupInterval = 2;
    cacheLastCleanup = 0;
    useClassicVideoRenderer = false;
    useSingleRendererDesktopMode = false;
    registryKey = kRegistryKey;
}

void Settings::SetDefaults()
{
    SetDefaults(MixerVolumeToPercent(GetMasterVolume()));
}

void Settings::Load()
{
    LONG bounceSpeed = 0;
    if (ReadFixed(kProductSubkey, L"Bounce Speed", bounceSpeed)) {
        const BounceSpeed pair = DecodeBounceSpeed(bounceSpeed);
        bounceStep = pair.step;
        bounceInterval = pair.interval;
    }
    ReadBool(kProductSubkey, L"Continue Where Stopped", continueWhereStopped);
    ReadBool(kProductSubkey, L"Keyboard Controls", keyboardControls);
    ReadText(kProductSubkey, L"Video Directory", videoDirectory);
    ReadText(kProductSubkey, L"Playlist Open Directory", playlistOpenDirectory);
    ReadText(kProductSubkey, L"LastPlaylist", lastPlaylist);
    // Negated tests also turn a stored NaN into 0.
    if (ReadFixed(kProductSubkey, L"LastPos", lastPosition) && !(lastPosition >= 0.0))
        lastPosition = 0.0;
    ReadText(kProductSubkey, L"Playlist Save Directory", playlistSaveDirectory);
    if (ReadFixed(kProductSubkey, L"LastTrack", lastTrack) && lastTrack < 0)
        lastTrack = 0;
    for (int i = 0; i < kColumnCount; ++i) {
        if (ReadFixed(kColumnWidthsSubkey, kColumnNames[i], columnWidths[i]))
            columnWidths[i] = kColumnWidthRange.Clamp(columnWidths[i]);
    }
    if (ReadFixed(kProductSubkey, L"Master Volume", masterVolume))
        masterVolume = kVolumeRange.Clamp(masterVolume);
    ReadBool(kProductSubkey, L"Ignore Mouse Movement", ignoreMouseMovement);
    ReadText(kProductSubkey, L"Playlist", playlist);

    ReadBool(kDefaultsSubkey, L"Bounce", playlistDefaults.bounce);
    if (ReadFixed(kDefaultsSubkey, L"Loops", playlistDefaults.loops))
        playlistDefaults.loops = kLoopRange.Clamp(playlistDefaults.loops);
    wchar_t text[100];
    if (ReadText(kDefaultsSubkey, L"Size", text)) {
        const int mode = FindName(text, kSizeNames, kSizeModeCount);
        if (mode >= 0)
            playlistDefaults.sizeMode = mode;
    }
    if (ReadText(kDefaultsSubkey, L"Speed", text))
        playlistDefaults.speed =
            static_cast<float>(Clamp<double>(ParseDecimal(text), kSlowestSpeed, kFastestSpeed));
    if (ReadText(kDefaultsSubkey, L"Style", text)) {
        const int style = FindName(text, kStyleNames, kStyleCount);
        if (style >= 0)
            playlistDefaults.displayStyle = style;
    }
    if (ReadFixed(kDefaultsSubkey, L"Volume", playlistDefaults.volume))
        playlistDefaults.volume = kVolumeRange.Clamp(playlistDefaults.volume);

    ReadBool(kProductSubkey, L"Random Order Playback", randomOrderPlayback);
    ReadBool(kProductSubkey, L"Show Path", showPath);
    ReadText(kProductSubkey, L"Video File Types", videoFileTypes);
    ReadFixed(kProductSubkey, L"Focus Color", focusColor);
    ReadBool(kProductSubkey, L"No Cache", noCache);
    ReadFixed(kProductSubkey, L"Cache Expiration Period", cacheExpirationPeriod);
    ReadFixed(kProductSubkey, L"Cache Cleanup Interval", cacheCleanupInterval);
    ReadBool(kProductSubkey, L"Use Classic Video Renderer", useClassicVideoRenderer);
    ReadBool(kProductSubkey, L"UseSingleRendererDesktopMode", useSingleRendererDesktopMode);

    // The program's own bookkeeping: the user's key only, never a policy.
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return;
    LONGLONG lastCleanup = 0;
    DWORD bytes = sizeof(lastCleanup);
    if (RegQueryValueExW(key.get(), L"CacheLastCleanup", nullptr, nullptr,
                         reinterpret_cast<BYTE *>(&lastCleanup), &bytes) == ERROR_SUCCESS &&
        bytes == sizeof(lastCleanup))
        cacheLastCleanup = lastCleanup;
    BYTE shown = 0;
    bytes = sizeof(shown);
    if (RegQueryValueExW(key.get(), L"QuickStartShown", nullptr, nullptr, &shown, &bytes) ==
            ERROR_SUCCESS &&
        bytes == sizeof(shown))
        quickStartShown = shown != 0;
}

LONG Settings::Save(bool all)
{
    RegKey key;
    LONG result = CreateKey(HKEY_CURRENT_USER, kRegistryKey, key);
    if (result != ERROR_SUCCESS)
        return result;
    const HKEY main = key.get();

    WriteBool(main, L"Show Path", showPath);
    if (quickStartShown) {
        const BYTE shown = 1;
        WriteBinary(main, L"QuickStartShown", &shown, sizeof(shown));
    }
    WriteBinary(main, L"CacheLastCleanup", &cacheLastCleanup, sizeof(cacheLastCleanup));
    {
        RegKey widths;
        result = CreateKey(main, kColumnWidthsKey, widths);
        if (result == ERROR_SUCCESS) {
            for (int i = 0; i < kColumnCount; ++i)
                WriteDword(widths.get(), kColumnNames[i], static_cast<DWORD>(columnWidths[i]));
        }
    }
    if (!all)
        return result;

    WriteDword(main, L"Bounce Speed", EncodeBounceSpeed(bounceStep, bounceInterval));
    WriteBool(main, L"Continue Where Stopped", continueWhereStopped);
    WriteBool(main, L"Keyboard Controls", keyboardControls);
    WriteText(main, L"Video Directory", REG_SZ, videoDirectory);
    WriteText(main, L"Playlist Open Directory", REG_SZ, playlistOpenDirectory);
    WriteText(main, L"LastPlaylist", REG_BINARY, lastPlaylist);
    WriteBinary(main, L"LastPos", &lastPosition, sizeof(lastPosition));
    WriteText(main, L"Playlist Save Directory", REG_SZ, playlistSaveDirectory);
    WriteBinary(main, L"LastTrack", &lastTrack, sizeof(lastTrack));
    WriteDword(main, L"Master Volume", static_cast<DWORD>(masterVolume));
    WriteBool(main, L"Ignore Mouse Movement", ignoreMouseMovement);
    WriteText(main, L"Playlist", REG_SZ, playlist);
    {
        RegKey defaults;
        result = CreateKey(main, kDefaultsKey, defaults);
        if (result == ERROR_SUCCESS) {
            const HKEY d = defaults.get();
            WriteBool(d, L"Bounce", playlistDefaults.bounce);
            WriteDword(d, L"Loops", static_cast<DWORD>(playlistDefaults.loops));
            const LONG mode = Clamp<LONG>(playlistDefaults.sizeMode, 0, kSizeModeCount - 1);
            WriteText(d, L"Size", REG_SZ, kSizeNames[mode]);
            wchar_t speed[32];
            swprintf(speed, std::size(speed), L"%04.2f", static_cast<double>(playlistDefaults.speed));
            WriteText(d, L"Speed", REG_SZ, speed);
            const LONG style = Clamp<LONG>(playlistDefaults.displayStyle, 0, kStyleCount - 1);
            WriteText(d, L"Style", REG_SZ, kStyleNames[style]);
            WriteDword(d, L"Volume", static_cast<DWORD>(playlistDefaults.volume));
        }
    }
    WriteBool(main, L"Random Order Playback", randomOrderPlayback);
    WriteText(main, L"Video File Types", REG_SZ, videoFileTypes);
    WriteDword(main, L"Focus Color", focusColor);
    WriteBool(main, L"Use Classic Video Renderer", useClassicVideoRenderer);
    WriteBool(main, L"UseSingleRendererDesktopMode", useSingleRendererDesktopMode);
    return result;
}
