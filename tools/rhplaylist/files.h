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

// Makes a new, empty file beside path for its new contents and gives its name; empty, with
// the system error, when none can be made. The name was nobody's before.
std::wstring TemporaryBeside(const std::wstring &path, DWORD &error);
// Puts temporary in path's place in one step. An existing file keeps what is its own rather
// than its contents: owner, group, permissions and attributes; a read-only one is not
// replaced. On failure temporary is deleted (unless it is the only copy left) and the
// system error returned; ERROR_SUCCESS otherwise.
DWORD MoveIntoPlace(const std::wstring &temporary, const std::wstring &path);
// Writes bytes to path through a file beside it; ERROR_SUCCESS or the system error.
DWORD WriteOver(const std::wstring &path, const std::string &bytes);
