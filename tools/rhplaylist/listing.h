// The list command's output: the entries as tab-separated text or as JSON.
#pragma once

#include <string>
#include <vector>

#include "playlist.h"

void PrintEntries(const std::vector<Entry> &entries, const std::wstring &path, bool json);
