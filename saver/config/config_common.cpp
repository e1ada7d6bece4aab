#include "config_common.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdarg>
#include <cwchar>

#include "value_limits.h"

int ShowMessage(HWND owner, const wchar_t *text, UINT style)
{
    return MessageBoxW(owner, text, kMessageCaption, style);
}

std::wstring LoadResourceString(HINSTANCE instance, UINT id)
{
    const wchar_t *text = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

std::wstring Format(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = _vscwprintf(format, copy);
    va_end(copy);
    std::wstring text;
    if (length > 0) {
        text.resize(length + 1);
        _vsnwprintf(text.data(), text.size(), format, args);
        text.resize(length);
    }
    va_end(args);
    return text;
}

bool IsXpOrLater()
{
    WindowsVersion version = GetWindowsVersion();
    return version.major >= 6 || (version.major == 5 && version.minor >= 1);
}

bool IsVistaOrLater()
{
    return GetWindowsVersion().major >= 6;
}

bool IsThemedPlatform()
{
    WindowsVersion version = GetWindowsVersion();
    return version.major > 5 || (version.major == 5 && version.minor > 0);
}

void ShellOpen(HWND owner, const wchar_t *target, int show)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpFile = target;
    info.nShow = show;
    ShellExecuteExW(&info);
}

void CopyText(wchar_t *destination, size_t size, const wchar_t *source)
{
    if (!size)
        return;
    size_t n = 0;
    for (; source && source[n] && n + 1 < size; ++n)
        destination[n] = source[n];
    destination[n] = L'\0';
}

void SetPercentLabel(HWND dialog, int id, int percent)
{
    wchar_t text[16];
    swprintf(text, 16, L"%d%%", percent);
    SetDlgItemTextW(dialog, id, text);
}

void SetVolumeRange(HWND dialog, int id)
{
    SendDlgItemMessageW(dialog, id, TBM_SETRANGE, FALSE, MAKELPARAM(kVolumeRange.low, kVolumeRange.high));
}

int SliderPosition(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0));
}
