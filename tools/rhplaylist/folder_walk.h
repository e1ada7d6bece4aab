// The videos of a folder tree, in the order add-folder appends them.
#pragma once

#include <string>
#include <vector>

// "*.avi; *.mp4" as its patterns, blanks around each taken off, empty ones left out.
std::vector<std::wstring> SplitPatterns(const std::wstring &text);

// Appends to files the full paths of folder's files that match a pattern, by name, then
// those of each subfolder the same way, by name. folder ends with a backslash. Linked
// folders (reparse points) are not entered, so a loop of links cannot hold the walk.
void WalkFolder(const std::wstring &folder, const std::vector<std::wstring> &patterns,
                std::vector<std::wstring> &files);
