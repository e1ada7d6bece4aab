#include "console.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "text.h"

namespace {

void Print(FILE *stream, const wchar_t *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = _vscwprintf(format, copy);
    va_end(copy);
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0)
        _vsnwprintf(text.data(), text.size(), format, args);
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void PrintMessage(const wchar_t *format, va_list args)
{
    std::fputs("rhplaylist: ", stderr);
    Print(stderr, format, args);
    std::fputs("\n", stderr);
}

} // namespace

void Out(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    Print(stdout, format, args);
    va_end(args);
}

void Warn(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    PrintMessage(format, args);
    va_end(args);
}

int Fail(int code, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    PrintMessage(format, args);
    va_end(args);
    return code;
}

std::wstring SystemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    wchar_t code[32];
    swprintf(code, 32, L"error %lu", error);
    return message.empty() ? code : message;
}
