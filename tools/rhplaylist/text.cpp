#include "text.h"

#include <cerrno>
#include <climits>
#include <cwchar>

std::string Utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    return out;
}

int FindName(const wchar_t *name, const wchar_t *const *table, int count)
{
    for (int i = 0; i < count; ++i) {
        if (_wcsicmp(name, table[i]) == 0)
            return i;
    }
    return -1;
}

bool ParseInteger(const wchar_t *text, LONG &value)
{
    if (!*text)
        return false;
    wchar_t *end = nullptr;
    errno = 0;
    const long long parsed = wcstoll(text, &end, 10);
    if (*end || errno || parsed < LONG_MIN || parsed > LONG_MAX)
        return false;
    value = static_cast<LONG>(parsed);
    return true;
}

bool EndsWithNoCase(const std::wstring &text, const wchar_t *suffix)
{
    const size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}
