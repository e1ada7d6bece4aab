// What a test play of a file says: the filter graph's result for it, with the partial
// successes that would leave the user without picture or sound counted as the failures
// they amount to, and the reason shown for a failure.
#pragma once

#include <windows.h>

#include <string>

// Builds a graph for `path` and stores the mapped result; false when no filter graph
// could be made at all.
bool TestPlay(const wchar_t *path, HRESULT *result);

// A rendering result with its partial successes mapped to failures.
HRESULT PlayResultOf(HRESULT rendered);

// "<path>:\n\n<reason>" for a failed play, the reason from the program's string table.
std::wstring PlayFailureMessage(HINSTANCE instance, const wchar_t *path, HRESULT failure);
