// What the tool says: results on stdout, messages on stderr as "rhplaylist: ...", both in
// UTF-8 so that any file name comes through a pipe whole.
#pragma once

#include <windows.h>

#include <string>

void Out(const wchar_t *format, ...);
void Warn(const wchar_t *format, ...);
// Says what failed, like Warn, and returns code, the process's exit code.
int Fail(int code, const wchar_t *format, ...);

// The system's text for a Win32 error, without its closing full stop ("error N" if none).
std::wstring SystemMessage(DWORD error);
