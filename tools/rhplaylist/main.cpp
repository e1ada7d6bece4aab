// rhplaylist: makes and edits Reelhaven playlists (.plst) from scripts, through the installed
// player library's playlist object, the one code that knows the file format. New entries
// get the Playlist Defaults and the add-folder patterns from the settings the screen saver
// itself loads (policy values first), so a script adds what the dialog's Add would.
// This file runs the command that command_line.cpp has read and checked.
#include <windows.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "console.h"
#include "exit_codes.h"
#include "files.h"
#include "folder_walk.h"
#include "handles.h"
#include "listing.h"
#include "m3u.h"
#include "playlist.h"
#include "settings.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

// Appends files as new entries and saves.
int AddAndSave(Playlist &list, const CommandLine &line, const std::vector<std::wstring> &files,
               const Settings &settings)
{
    if (int code = list.Append(files, NewEntry(settings, line.fields)))
        return code;
    return list.SaveOver(line.path);
}

int Create(Playlist &list, const CommandLine &line, const Settings &settings)
{
    if (!line.force && GetFileAttributesW(line.path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return Fail(kNotWritten, L"%ls already exists (--force replaces it)", line.path.c_str());
    return AddAndSave(list, line, line.operands, settings);
}

int AddFolder(Playlist &list, const CommandLine &line, const Settings &settings)
{
    std::wstring folder = FullPath(line.operands[0]);
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(kBadInput, L"%ls: no such folder", folder.c_str());
    const wchar_t *types = line.types.empty() ? settings.videoFileTypes : line.types.c_str();
    const std::vector<std::wstring> patterns = SplitPatterns(types);
    if (patterns.empty())
        return Fail(kBadValue, L"no file name patterns to look for (--types, or the "
                               L"\"Video File Types\" setting)");
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    std::vector<std::wstring> files;
    WalkFolder(folder, patterns, files);
    QueryPerformanceCounter(&t1);
    if (files.empty())
        return Fail(kBadInput, L"%ls: no files of the types %ls", folder.c_str(), types);
    const int code = AddAndSave(list, line, files, settings);
    QueryPerformanceCounter(&t2);
    if (line.verbose)
        Warn(L"%zu files: folder walk %.1f ms, adding and saving %.1f ms", files.size(),
             Milliseconds(t0, t1), Milliseconds(t1, t2));
    if (code == kDone)
        Out(L"%zu file(s) added to %ls\n", files.size(), line.path.c_str());
    return code;
}

int Import(Playlist &list, const CommandLine &line, const Settings &settings)
{
    std::vector<std::wstring> files;
    if (int code = ReadM3u(FullPath(line.operands[0]), files))
        return code;
    if (files.empty())
        return Fail(kBadInput, L"%ls: no files in it", line.operands[0].c_str());
    return AddAndSave(list, line, files, settings);
}

int Export(Playlist &list, const CommandLine &line)
{
    std::vector<std::wstring> files;
    for (const Entry &entry : list.Entries())
        files.push_back(entry.file);
    return WriteM3u(FullPath(line.operands[0]), files);
}

int Remove(Playlist &list, const CommandLine &line)
{
    LONG index = 0;
    if (int code = list.CheckIndex(line.operands[0].c_str(), index))
        return code;
    if (list.Count() == 1)
        return Fail(kBadValue, L"%ls: a playlist keeps at least one entry (delete the file "
                               L"instead)",
                    line.path.c_str());
    list.Remove(index);
    return list.SaveOver(line.path);
}

int Set(Playlist &list, const CommandLine &line)
{
    LONG index = 0;
    if (int code = list.CheckIndex(line.operands[0].c_str(), index))
        return code;
    list.SetFields(index, line.fields);
    return list.SaveOver(line.path);
}

int Move(Playlist &list, const CommandLine &line)
{
    LONG from = 0, to = 0;
    if (int code = list.CheckIndex(line.operands[0].c_str(), from))
        return code;
    if (int code = list.CheckIndex(line.operands[1].c_str(), to))
        return code;
    if (int code = list.Move(from, to))
        return code;
    return list.SaveOver(line.path);
}

int Run(int argc, wchar_t **argv)
{
    CommandLine line;
    if (const std::optional<int> code = ParseCommandLine(argc, argv, line))
        return *code;

    ComApartment apartment(COINIT_APARTMENTTHREADED);
    Playlist list;
    if (int code = list.Create())
        return code;
    Settings settings;
    settings.SetDefaults();
    settings.Load();

    if (line.command == Command::kCreate)
        return Create(list, line, settings);
    // import and add-folder make the list they are given when there is none yet.
    const bool fresh = (line.command == Command::kImport || line.command == Command::kAddFolder) &&
                       GetFileAttributesW(line.path.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!fresh) {
        if (int code = list.Load(line.path))
            return code;
    }
    switch (line.command) {
    case Command::kList:
        PrintEntries(list.Entries(), line.path, line.json);
        return kDone;
    case Command::kExport:
        return Export(list, line);
    case Command::kAdd:
        return AddAndSave(list, line, line.operands, settings);
    case Command::kAddFolder:
        return AddFolder(list, line, settings);
    case Command::kImport:
        return Import(list, line, settings);
    case Command::kRemove:
        return Remove(list, line);
    case Command::kSet:
        return Set(list, line);
    case Command::kMove:
        return Move(list, line);
    case Command::kCreate:  // run above, before any list is loaded
        break;
    }
    return kDone;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    return Run(argc, argv);
}
