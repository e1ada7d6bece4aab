// The two registry reads beside the value table: the policy lookup every setting goes
// through, and the current power scheme's timeouts, which the run's standby uses.
#include "settings.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "handles.h"

namespace {

// Where a setting is looked for, first to last; the last is the user's own key.
const struct {
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

} // namespace

LONG ReadPolicyValue(const wchar_t *subkey, const wchar_t *valueName, DWORD *type, void *buffer,
                     DWORD size, DWORD minimum)
{
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

bool PolicyHoldsValue(const wchar_t *subkey, const wchar_t *valueName, DWORD minimum, DWORD size)
{
    for (size_t i = 0; i + 1 < std::size(kPlaces); ++i) {
        const std::wstring path = std::wstring(kPlaces[i].prefix) + subkey;
        RegKey key;
        DWORD bytes = 0;
        if (RegOpenKeyExW(kPlaces[i].root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
            RegQueryValueExW(key.get(), valueName, nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS &&
            bytes >= minimum && bytes <= size)
            return true;
    }
    return false;
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
