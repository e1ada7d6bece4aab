#include "command_line.h"

#include <cwchar>

HWND WindowFromCommandLine(const wchar_t *commandLine)
{
    if (wcslen(commandLine) < 4)
        return nullptr;
    const wchar_t *p = commandLine + 3;
    while (*p == L' ' || *p == L'\t')
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-')
        negative = *p++ == L'-';
    // Window handles carry 32 significant bits; more digits wrap like a 32-bit number.
    DWORD value = 0;
    while (*p >= L'0' && *p <= L'9')
        value = value * 10 + static_cast<DWORD>(*p++ - L'0');
    if (negative)
        value = 0u - value;
    // 64-bit Windows sign-extends a 32-bit handle value.
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
}

SaverCommand ParseCommandLine(const wchar_t *commandLine)
{
    const size_t length = commandLine ? wcslen(commandLine) : 0;
    if (length <= 1)
        return {SaverMode::Configure, nullptr, true};
    switch (commandLine[1]) {
    case L'C':
    case L'c':
        if (length >= 4)
            return {SaverMode::Configure, WindowFromCommandLine(commandLine), false};
        return {SaverMode::Configure, nullptr, true};
    case L'P':
    case L'p':
        return {SaverMode::Preview, WindowFromCommandLine(commandLine), false};
    case L'S':
    case L's':
        return {SaverMode::Run, nullptr, false};
    default:
        return {SaverMode::None, nullptr, false};
    }
}
