// Paths and whole files: full paths, a path's folder, reading a file, and replacing one
// in a single step so that a failure leaves the old file as it was.
#pragma once

#include <windows.h>

#include <string>

std::wstring FullPath(const std::wstring &path);
// The folder part of a full path, with its closing backslash ("" when there is none).
std::wstring FolderOf(const std::wstring &fullPath);

// Reads a whole file of at most 64 MiB; false with the system error when it cannot.
bool ReadAll(const std::wstring &path, std::string &bytes, DWORD &error);

// A passing name beside path for its new contents.
std::wstring TemporaryBeside(const std::wstring &path);
// Puts temporary in path's place in one step. On failure temporary is deleted and the
// system error returned; ERROR_SUCCESS otherwise.
DWORD MoveIntoPlace(const std::wstring &temporary, const std::wstring &path);
// Writes bytes to path through a file beside it; ERROR_SUCCESS or the system error.
DWORD WriteOver(const std::wstring &path, const std::string &bytes);
