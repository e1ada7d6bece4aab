// Helpers the test programs and benchmarks share.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "handles.h"

// A result code as "0x8007000e": failures read as the codes the headers list.
inline std::string HrText(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(hr));
    return text;
}

// Compare result codes as text, so that a failure prints both in hexadecimal; gtest reports
// the line where the macro is used.
#define EXPECT_HR(expected, actual) EXPECT_EQ(HrText(expected), HrText(actual)) << #actual << ": "
#define ASSERT_HR(expected, actual) ASSERT_EQ(HrText(expected), HrText(actual)) << #actual << ": "

// A Unix path as Wine shows it (the Unix root is the Z: drive); other paths only get
// backslashes.
inline std::wstring WindowsPath(const std::wstring &unixPath)
{
    std::wstring path = (!unixPath.empty() && unixPath[0] == L'/' ? L"Z:" : L"") + unixPath;
    for (wchar_t &c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}
// Test paths (build and media folders) are ASCII.
inline std::wstring WindowsPath(const std::string &unixPath)
{
    return WindowsPath(std::wstring(unixPath.begin(), unixPath.end()));
}

// The product's settings key.
constexpr wchar_t kReelhavenKey[] = L"Software\\Halcyra\\Reelhaven";

// Sets a DWORD value under HKEY_CURRENT_USER\key (or removes it for nullptr) and puts back
// what was there at scope end.
class ScopedDword {
public:
    ScopedDword(const wchar_t *key, const wchar_t *name, const DWORD *value) : name_(name)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                            key_.put(), nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = sizeof old_;
        had_ = RegGetValueW(key_.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &old_, &size) == ERROR_SUCCESS;
        Write(value);
    }
    ScopedDword(const wchar_t *key, const wchar_t *name, DWORD value) : ScopedDword(key, name, &value) {}
    ~ScopedDword() { Write(had_ ? &old_ : nullptr); }
    ScopedDword(const ScopedDword &) = delete;
    ScopedDword &operator=(const ScopedDword &) = delete;

private:
    void Write(const DWORD *value) const
    {
        if (!key_)
            return;
        if (value != nullptr)
            RegSetValueExW(key_.get(), name_, 0, REG_DWORD, reinterpret_cast<const BYTE *>(value), sizeof *value);
        else
            RegDeleteValueW(key_.get(), name_);
    }
    RegKey key_;
    const wchar_t *name_;
    DWORD old_ = 0;
    bool had_ = false;
};

// Polls find() every 100 ms until it gives a window or timeout ms have passed.
template <typename Find>
HWND WaitForWindow(Find find, DWORD timeout)
{
    HWND window = nullptr;
    for (const DWORD start = GetTickCount(); !(window = find()) && GetTickCount() - start <= timeout;)
        Sleep(100);
    return window;
}

// The top-level property sheet: the dialog that holds a tab control.
inline HWND FindPropertySheet()
{
    HWND dialog = nullptr;
    while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) &&
           !FindWindowExW(dialog, nullptr, L"SysTabControl32", nullptr)) {
    }
    return dialog;
}
