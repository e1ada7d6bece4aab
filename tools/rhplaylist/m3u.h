// M3U playlists: the file names of one, and one written from file names. A .m3u8 file
// is UTF-8; a .m3u file is in the system's code page unless it starts with the mark of
// UTF-8 or of UTF-16 (little- or big-endian), as Notepad's "Unicode" files do.
#pragma once

#include <string>
#include <vector>

// Appends the full paths of source's files, relative ones counted from source's folder and
// ones from the root ("\videos\a.avi") from its drive or share. Lines that name no file
// (comments, URLs) are skipped. kDone, or the exit code after saying what was wrong, and
// then nothing is appended.
int ReadM3u(const std::wstring &source, std::vector<std::wstring> &files);
// The same for the bytes of source (a full path, whose extension gives the encoding and
// whose folder the relative lines count from).
int ParseM3u(const std::string &bytes, const std::wstring &source, std::vector<std::wstring> &files);

// Writes files (full paths) to target; those in target's folder or below as relative
// paths. kDone, or the exit code after saying what was wrong; target is then as it was.
int WriteM3u(const std::wstring &target, const std::vector<std::wstring> &files);
