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

bool ExactUtf8(const std::wstring &text, std::string &bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    // An unpaired surrogate, which a file name may hold, fails instead of becoming U+FFFD.
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return false;
    bytes.resize(length);
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                               bytes.data(), length, nullptr, nullptr) == length;
}

bool ExactAnsi(const std::wstring &text, std::string &bytes)
{
    // Where the system's code page is UTF-8 (Windows' "Use Unicode UTF-8" setting, or a
    // program manifest), WC_NO_BEST_FIT_CHARS and the lost-character flag are refused and
    // the conversion gives nothing at all.
    if (GetACP() == CP_UTF8)
        return ExactUtf8(text, bytes);
    bytes.clear();
    if (text.empty())
        return true;
    BOOL lost = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, &lost);
    if (length <= 0 || lost)
        return false;
    bytes.resize(length);
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                               bytes.data(), length, nullptr, &lost) == length &&
           !lost;
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
