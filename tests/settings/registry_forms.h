// Registry values as "type:bytes", the one form the settings and configuration tests both
// write values in and compare stored ones with, so that a wrong type shows as plainly as
// wrong bytes.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "test_kit.h"

constexpr wchar_t kDefaultsKey[] = L"Software\\Halcyra\\Reelhaven\\Playlist Defaults";
constexpr wchar_t kWidthsKey[] = L"Software\\Halcyra\\Reelhaven\\Playlist Column Widths";
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Halcyra\\Reelhaven";

inline std::string Form(DWORD type, const void *data, size_t size)
{
    return std::to_string(type) + ":" + std::string(static_cast<const char *>(data), size);
}
inline std::string Dword(LONG value) { return Form(REG_DWORD, &value, 4); }
inline std::string Text(const std::wstring &text, DWORD type = REG_SZ)
{
    return Form(type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

inline void Put(const wchar_t *key, const wchar_t *name, const std::string &form, HKEY root = HKEY_CURRENT_USER)
{
    const size_t colon = form.find(':');
    ASSERT_EQ(RegSetKeyValueW(root, key, name, std::stoul(form.substr(0, colon)), form.data() + colon + 1,
                              DWORD(form.size() - colon - 1)),
              ERROR_SUCCESS)
        << "putting " << testing::PrintToString(std::wstring(name));
}

// A stored value's form, or "missing".
inline std::string Get(const wchar_t *key, const wchar_t *name, HKEY root = HKEY_CURRENT_USER)
{
    char buffer[1024];
    DWORD size = sizeof(buffer), type = 0;
    if (RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size))
        return "missing";
    return Form(type, buffer, size);
}

// The product's keys and policies gone, as every case starts and ends.
inline void ClearProductKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halcyra");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Halcyra");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Policies\\Halcyra");
}
