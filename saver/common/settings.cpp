// Defaults, registry load with policy lookup and registry save, all three driven by the
// value table of settings_values.cpp.
#include "settings.h"

#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "handles.h"
#include "mixer.h"
#include "settings_values.h"
#include "value_limits.h"
#include "windows_version.h"

const BounceSpeed kBounceSpeeds[kBounceSpeedCount] = {
    {1, 100}, {1, 50}, {1, 33}, {1, 25}, {1, 20}, {1, 17},
    {2, 29},  {2, 25}, {2, 22}, {2, 20}, {2, 18}, {2, 17}};

int FindBounceSpeed(DWORD step, DWORD interval)
{
    for (int i = 0; i < kBounceSpeedCount; ++i) {
        if (kBounceSpeeds[i].step == step && kBounceSpeeds[i].interval == interval)
            return i;
    }
    return kBounceSpeedCount;
}

namespace {

constexpr wchar_t kRegistryKey[] = L"Software\\Halcyra\\Reelhaven";

// Each key's path for the policy lookup (below "Software\" and the policy places) and its
// name below the product key, where Save creates it.
constexpr struct {
    const wchar_t *lookup;
    const wchar_t *below;
} kKeys[] = {
    {L"Halcyra\\Reelhaven", nullptr},
    {L"Halcyra\\Reelhaven\\Playlist Column Widths", L"Playlist Column Widths"},
    {L"Halcyra\\Reelhaven\\Playlist Defaults", L"Playlist Defaults"},
};

// Texts the names and the speed are read in.
constexpr DWORD kNameChars = 100;

// "Bounce Speed" registry coding.
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

constexpr REGSAM kSaveAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

LONG CreateKey(HKEY parent, const wchar_t *name, RegKey &key)
{
    return RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, kSaveAccess, nullptr,
                           key.put(), nullptr);
}

// At most chars - 1 characters of source, always terminated.
void CopyText(wchar_t *target, size_t chars, const wchar_t *source)
{
    wcsncpy(target, source, chars - 1);
    target[chars - 1] = L'\0';
}

void DocumentsFolder(wchar_t (&folder)[300])
{
    folder[0] = L'\0';
    LPITEMIDLIST list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list)) || list == nullptr)
        return;
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(list, path))
        CopyText(folder, std::size(folder), path);
    CoTaskMemFree(list);
}

template <typename T>
T &Field(Settings &settings, const SettingValue &value)
{
    return *reinterpret_cast<T *>(reinterpret_cast<BYTE *>(&settings) + value.offset);
}
template <typename T>
const T &Field(const Settings &settings, const SettingValue &value)
{
    return *reinterpret_cast<const T *>(reinterpret_cast<const BYTE *>(&settings) + value.offset);
}

void PutText(Settings &settings, const SettingValue &value, const wchar_t *text)
{
    CopyText(&Field<wchar_t>(settings, value), value.size / sizeof(wchar_t), text);
}

// A number into the field in its form: the table's defaults and what the system gives.
void PutNumber(Settings &settings, const SettingValue &value, double number)
{
    switch (value.form) {
    case Form::Flag:
        Field<bool>(settings, value) = number != 0;
        break;
    case Form::Integer:
        if (value.size == sizeof(LONGLONG))
            Field<LONGLONG>(settings, value) = static_cast<LONGLONG>(number);
        else
            Field<LONG>(settings, value) = static_cast<LONG>(number);
        break;
    case Form::Real:
        Field<double>(settings, value) = number;
        break;
    case Form::SizeName:
    case Form::StyleName:
        Field<LONG>(settings, value) = static_cast<LONG>(number);
        break;
    case Form::Speed:
        Field<float>(settings, value) = static_cast<float>(number);
        break;
    case Form::BounceSpeed: {
        const BounceSpeed pair = DecodeBounceSpeed(static_cast<LONG>(number));
        settings.bounceStep = pair.step;
        settings.bounceInterval = pair.interval;
        break;
    }
    case Form::Text:
        break;
    }
}

// A number as loaded, brought within the value's limits.
void Limit(Settings &settings, const SettingValue &value)
{
    if (!value.limits.Bounded())
        return;
    const Range<double> range{value.limits.low, value.limits.high};
    if (value.form == Form::Integer)
        Field<LONG>(settings, value) =
            static_cast<LONG>(range.Clamp(static_cast<double>(Field<LONG>(settings, value))));
    else if (value.form == Form::Real)
        Field<double>(settings, value) = range.Clamp(Field<double>(settings, value));
}

// Reads the value through the policy lookup; a value not found leaves the field.
void LoadThroughPolicy(Settings &settings, const SettingValue &value)
{
    const wchar_t *subkey = kKeys[static_cast<int>(value.key)].lookup;
    void *field = &Field<BYTE>(settings, value);
    const DWORD size = static_cast<DWORD>(value.size);
    switch (value.form) {
    case Form::Flag: {
        DWORD type = kRegBoolean;
        DWORD truth = 0;
        if (ReadPolicyValue(subkey, value.name, &type, &truth, sizeof(truth), 1) == ERROR_SUCCESS)
            Field<bool>(settings, value) = truth != 0;
        break;
    }
    case Form::Integer:
    case Form::Real:
        if (ReadPolicyValue(subkey, value.name, nullptr, field, size, size) == ERROR_SUCCESS)
            Limit(settings, value);
        break;
    case Form::Text:
        if (ReadPolicyValue(subkey, value.name, nullptr, field, size, sizeof(wchar_t)) == ERROR_SUCCESS)
            (&Field<wchar_t>(settings, value))[size / sizeof(wchar_t) - 1] = L'\0';
        break;
    case Form::BounceSpeed: {
        LONG code = 0;
        if (ReadPolicyValue(subkey, value.name, nullptr, &code, sizeof(code), sizeof(code)) ==
            ERROR_SUCCESS)
            PutNumber(settings, value, code);
        break;
    }
    case Form::SizeName:
    case Form::StyleName:
    case Form::Speed: {
        wchar_t text[kNameChars] = {};
        if (ReadPolicyValue(subkey, value.name, nullptr, text, sizeof(text), sizeof(wchar_t)) !=
            ERROR_SUCCESS)
            return;
        text[kNameChars - 1] = L'\0';
        if (value.form == Form::Speed) {
            const Range<double> range{value.limits.low, value.limits.high};
            Field<float>(settings, value) = static_cast<float>(range.Clamp(ParseDecimal(text)));
            return;
        }
        // An unknown name leaves the field as it was.
        const bool sizes = value.form == Form::SizeName;
        const int index =
            FindName(text, sizes ? kSizeNames : kStyleNames, sizes ? kSizeModeCount : kStyleCount);
        if (index >= 0)
            Field<LONG>(settings, value) = index;
        break;
    }
    }
}

// Reads the value from the user's own key: exactly the bytes a save writes.
void LoadFromUserKey(HKEY key, Settings &settings, const SettingValue &value)
{
    BYTE data[8] = {};
    DWORD bytes = static_cast<DWORD>(value.size);
    if (RegQueryValueExW(key, value.name, nullptr, nullptr, data, &bytes) != ERROR_SUCCESS ||
        bytes != value.size)
        return;
    if (value.form == Form::Flag)
        Field<bool>(settings, value) = data[0] != 0;
    else
        std::memcpy(&Field<BYTE>(settings, value), data, value.size);
}

void Write(HKEY key, const wchar_t *name, DWORD type, const void *data, size_t size)
{
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), static_cast<DWORD>(size));
}

void WriteText(HKEY key, const SettingValue &value, const wchar_t *text)
{
    Write(key, value.name, value.type, text, (wcslen(text) + 1) * sizeof(wchar_t));
}

void WriteValue(HKEY key, const Settings &settings, const SettingValue &value)
{
    switch (value.form) {
    case Form::Flag:
        if (value.type == REG_DWORD) {
            const DWORD flag = Field<bool>(settings, value) ? 1 : 0;
            Write(key, value.name, value.type, &flag, sizeof(flag));
        } else {
            const BYTE flag = Field<bool>(settings, value) ? 1 : 0;
            Write(key, value.name, value.type, &flag, sizeof(flag));
        }
        break;
    case Form::Integer:
    case Form::Real:
        Write(key, value.name, value.type, &Field<BYTE>(settings, value), value.size);
        break;
    case Form::Text:
        WriteText(key, value, &Field<wchar_t>(settings, value));
        break;
    case Form::SizeName:
        WriteText(key, value,
                  kSizeNames[std::clamp<LONG>(Field<LONG>(settings, value), 0, kSizeModeCount - 1)]);
        break;
    case Form::StyleName:
        WriteText(key, value,
                  kStyleNames[std::clamp<LONG>(Field<LONG>(settings, value), 0, kStyleCount - 1)]);
        break;
    case Form::Speed: {
        wchar_t speed[32];
        swprintf(speed, std::size(speed), L"%04.2f",
                 static_cast<double>(Field<float>(settings, value)));
        WriteText(key, value, speed);
        break;
    }
    case Form::BounceSpeed: {
        const DWORD code = EncodeBounceSpeed(settings.bounceStep, settings.bounceInterval);
        Write(key, value.name, value.type, &code, sizeof(code));
        break;
    }
    }
}

bool SavedNow(const Settings &settings, const SettingValue &value, bool all)
{
    switch (value.saved) {
    case Saved::Always:
        return true;
    case Saved::IfSet:
        return Field<bool>(settings, value);
    case Saved::All:
        return all;
    case Saved::Never:
        break;
    }
    return false;
}

} // namespace

void Settings::SetDefaults()
{
    playlistDefaults.path[0] = L'\0';
    playlistDefaults.name = playlistDefaults.path;
    playlistDefaults.error = S_OK;
    wchar_t documents[300];
    DocumentsFolder(documents);
    for (const SettingValue &value : SettingValues()) {
        switch (value.initial.source) {
        case Source::Table:
            if (value.initial.text)
                PutText(*this, value, value.initial.text);
            else
                PutNumber(*this, value, value.initial.number);
            break;
        case Source::MasterVolume:
            PutNumber(*this, value, kVolumeRange.Clamp(MixerVolumeToPercent(GetMasterVolume())));
            break;
        case Source::DocumentsFolder:
            PutText(*this, value, documents);
            break;
        case Source::FocusColour:
            PutNumber(*this, value, DefaultFocusColor());
            break;
        }
    }
}

void Settings::Load()
{
    for (const SettingValue &value : SettingValues()) {
        if (value.policy != Policy::Never)
            LoadThroughPolicy(*this, value);
    }
    // The program's own bookkeeping: the user's key only, never a policy.
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return;
    for (const SettingValue &value : SettingValues()) {
        if (value.policy == Policy::Never)
            LoadFromUserKey(key.get(), *this, value);
    }
}

bool Settings::ForcedByPolicy(const void *field) const
{
    const size_t offset = static_cast<size_t>(static_cast<const BYTE *>(field) -
                                              reinterpret_cast<const BYTE *>(this));
    for (const SettingValue &value : SettingValues()) {
        if (value.offset != offset || value.policy == Policy::Never)
            continue;
        // The sizes LoadThroughPolicy reads each form with.
        DWORD minimum = sizeof(wchar_t), size = static_cast<DWORD>(value.size);
        switch (value.form) {
        case Form::Flag:
            minimum = 1, size = sizeof(DWORD);
            break;
        case Form::Integer:
        case Form::Real:
            minimum = size;
            break;
        case Form::BounceSpeed:
            minimum = size = sizeof(LONG);
            break;
        case Form::SizeName:
        case Form::StyleName:
        case Form::Speed:
            size = kNameChars * sizeof(wchar_t);
            break;
        case Form::Text:
            break;
        }
        return PolicyHoldsValue(kKeys[static_cast<int>(value.key)].lookup, value.name, minimum, size);
    }
    return false;
}

LONG Settings::Save(bool all)
{
    RegKey main;
    LONG result = CreateKey(HKEY_CURRENT_USER, kRegistryKey, main);
    if (result != ERROR_SUCCESS)
        return result;
    // A subkey is created when its first value is written; one that cannot be loses its
    // values and the rest are written.
    Key open = Key::Product;
    RegKey subkey;
    for (const SettingValue &value : SettingValues()) {
        if (!SavedNow(*this, value, all))
            continue;
        if (value.key != open) {
            open = value.key;
            subkey.reset();
            if (open != Key::Product)
                result = CreateKey(main.get(), kKeys[static_cast<int>(open)].below, subkey);
        }
        const HKEY target = open == Key::Product ? main.get() : subkey.get();
        if (target)
            WriteValue(target, *this, value);
    }
    return result;
}
