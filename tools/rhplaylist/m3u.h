// M3U playlists: the file names of one, and one written from file names. A .m3u8 file
// is UTF-8; a .m3u file is ANSI unless it starts with a UTF-8 mark.
#pragma once

#include <string>
#include <vector>

// Appends the full paths of source's files, relative ones counted from source's folder.
// Lines that name no file (comments, URLs) are skipped. kDone, or the exit code after
// saying what was wrong.
int ReadM3u(const std::wstring &source, std::vector<std::wstring> &files);

// Writes files (full paths) to target; those in target's folder or below as relative
// paths. kDone, or the exit code after saying what was wrong; target is then as it was.
int WriteM3u(const std::wstring &target, const std::vector<std::wstring> &files);
