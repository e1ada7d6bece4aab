// Small text helpers shared by the command line, the M3U files and the output.
#pragma once

#include <windows.h>

#include <string>

std::string Utf8(const std::wstring &text);
// text, every character as itself, in UTF-8 or in the system's code page (no best fit, no
// default character); false when some character cannot be written so.
bool ExactUtf8(const std::wstring &text, std::string &bytes);
bool ExactAnsi(const std::wstring &text, std::string &bytes);

// Index of name in table, compared without regard to case; -1 when it is not there.
int FindName(const wchar_t *name, const wchar_t *const *table, int count);

// A whole decimal number that fits a LONG, and nothing else (no blanks, no empty text).
bool ParseInteger(const wchar_t *text, LONG &value);

bool EndsWithNoCase(const std::wstring &text, const wchar_t *suffix);
