// rhplaylist: makes and edits Reelhaven playlists (.plst) from scripts, through the installed
// player library's playlist object, the one code that knows the file format. New entries
// get the Playlist Defaults and the add-folder patterns from the settings the screen saver
// itself loads (policy values first), so a script adds what the dialog's Add would.
#include <windows.h>
#include <shlwapi.h>

#include <wrl/client.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "settings.h"

namespace {

const wchar_t kHelp[] =
    L"rhplaylist: makes and edits Reelhaven playlists (.plst) for deployment scripts.\n"
    L"\n"
    L"usage: rhplaylist COMMAND LIST.plst [ARGUMENTS]\n"
    L"\n"
    L"  create LIST [--force] [FIELDS] FILE...  a new playlist of these files; an existing\n"
    L"                                          LIST is only replaced with --force\n"
    L"  list LIST [--json]                      the entries, as text or as JSON\n"
    L"  add LIST [FIELDS] FILE...               appends files\n"
    L"  add-folder LIST [FIELDS] [--types P] FOLDER\n"
    L"                                          appends every video of FOLDER and its\n"
    L"                                          subfolders, making LIST if there is none: a\n"
    L"                                          folder's own files by name, then its\n"
    L"                                          subfolders by name. P is a list of patterns\n"
    L"                                          such as \"*.avi;*.mp4\"; the default is the\n"
    L"                                          \"Video File Types\" setting\n"
    L"  remove LIST INDEX                       removes an entry (a playlist keeps at least one)\n"
    L"  move LIST FROM TO                       moves an entry to another index\n"
    L"  set LIST INDEX FIELDS                   changes fields of an entry\n"
    L"  import LIST [FIELDS] SOURCE.m3u|.m3u8   appends the files of an M3U playlist (made\n"
    L"                                          when LIST does not exist); relative paths\n"
    L"                                          count from SOURCE's folder; .m3u8 and files\n"
    L"                                          with a UTF-8 mark are UTF-8, others ANSI\n"
    L"  export LIST TARGET.m3u|.m3u8            writes the entries as an M3U playlist; files\n"
    L"                                          in TARGET's folder or below as relative paths\n"
    L"\n"
    L"FIELDS (for new entries they replace the Playlist Defaults of the settings):\n"
    L"  --loops N        1 to 9999\n"
    L"  --size NAME      Maximized, \"Full Screen\", \"3/4 Screen\", \"1/2 Screen\", \"1/4 Screen\",\n"
    L"                   Original, \"Double Original\" (or their index 0 to 6)\n"
    L"  --bounce yes|no\n"
    L"  --volume N       percent, 0 to 100\n"
    L"  --style NAME     Monitor (a picture on every monitor) or Desktop (one across all)\n"
    L"  --speed X        0.25 to 4.00, 1.00 is normal speed\n"
    L"INDEX counts from 0. Paths are stored in full. --verbose prints timings to stderr.\n"
    L"\n"
    L"Exit codes: 0 done; 2 bad command line; 3 LIST not found; 4 LIST damaged or not a\n"
    L"playlist; 5 index out of range; 6 value out of range or not valid; 7 a file could not\n"
    L"be written (LIST is left as it was); 8 an input file or folder is missing or unreadable;\n"
    L"9 the player library is not installed.\n";

enum ExitCode {
    kDone = 0,
    kBadCommandLine = 2,
    kListMissing = 3,
    kListDamaged = 4,
    kIndexOutOfRange = 5,
    kBadValue = 6,
    kNotWritten = 7,
    kBadInput = 8,
    kNoLibrary = 9,
};

// The limits the configuration dialog enforces (Playlist Defaults dialog and the grid's
// editors) and the settings load clamps to: saver/startup/settings.cpp, Settings::Load.
constexpr LONG kMinLoops = 1, kMaxLoops = 9999;
constexpr LONG kMinVolume = 0, kMaxVolume = 100;
constexpr double kMinSpeed = 0.25, kMaxSpeed = 4.0;

// The size modes as the playlist stores them: scaleToScreen, keepAspect, scale.
struct SizeFields {
    BYTE scaleToScreen;
    BYTE keepAspect;
    float scale;
};
constexpr SizeFields kSizeModes[kSizeModeCount] = {{1, 1, 1.0f},  {1, 0, 1.0f}, {1, 1, 0.75f},
                                                   {1, 1, 0.5f},  {1, 1, 0.25f}, {0, 1, 1.0f},
                                                   {0, 1, 2.0f}};

int SizeModeOf(const PlaybackItem &item)
{
    for (int i = 0; i < kSizeModeCount; ++i) {
        const SizeFields &mode = kSizeModes[i];
        if (mode.scaleToScreen == item.scaleToScreen && mode.scale == item.scale &&
            (!mode.scaleToScreen || mode.scale != 1.0f || mode.keepAspect == item.keepAspect))
            return i;
    }
    return -1;
}

bool g_verbose = false;

std::string Utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    return out;
}

void Print(FILE *stream, const wchar_t *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = _vscwprintf(format, copy);
    va_end(copy);
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0)
        _vsnwprintf(text.data(), text.size(), format, args);
    const std::string bytes = Utf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

void Out(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    Print(stdout, format, args);
    va_end(args);
}

void Warn(const wchar_t *format, ...)
{
    std::fputs("rhplaylist: ", stderr);
    va_list args;
    va_start(args, format);
    Print(stderr, format, args);
    va_end(args);
    std::fputs("\n", stderr);
}

// Prints "rhplaylist: message" to stderr and returns code, the process's exit code.
int Fail(int code, const wchar_t *format, ...)
{
    std::fputs("rhplaylist: ", stderr);
    va_list args;
    va_start(args, format);
    Print(stderr, format, args);
    va_end(args);
    std::fputs("\n", stderr);
    return code;
}

std::wstring SystemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    wchar_t code[32];
    swprintf(code, 32, L"error %lu", error);
    return message.empty() ? code : message;
}

std::wstring FullPath(const std::wstring &path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size);
    return full;
}

std::wstring FolderOf(const std::wstring &fullPath)
{
    const size_t slash = fullPath.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : fullPath.substr(0, slash + 1);
}

bool EndsWithNoCase(const std::wstring &text, const wchar_t *suffix)
{
    const size_t n = wcslen(suffix);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, suffix) == 0;
}

bool ParseInteger(const wchar_t *text, LONG &value)
{
    if (!*text)
        return false;
    wchar_t *end = nullptr;
    errno = 0;
    const long long parsed = wcstoll(text, &end, 10);
    if (*end || errno || parsed < LONG_MIN || parsed > LONG_MAX)
        return false;
    value = static_cast<LONG>(parsed);
    return true;
}

// ---- entry fields given on the command line ----

struct Fields {
    std::optional<LONG> loops, sizeMode, volume, style;
    std::optional<bool> bounce;
    std::optional<float> speed;

    bool any() const { return loops || sizeMode || volume || style || bounce || speed; }

    // Writes the given fields into item and returns their validMask bits.
    DWORD Apply(PlaybackItem &item) const
    {
        DWORD mask = 0;
        if (loops) {
            item.loops = *loops;
            mask |= ITEM_LOOPS;
        }
        if (sizeMode) {
            item.scaleToScreen = kSizeModes[*sizeMode].scaleToScreen;
            item.keepAspect = kSizeModes[*sizeMode].keepAspect;
            item.scale = kSizeModes[*sizeMode].scale;
            mask |= ITEM_SCALE | ITEM_SCALE_TO_SCREEN | ITEM_KEEP_ASPECT;
        }
        if (volume) {
            item.volume = *volume;
            mask |= ITEM_VOLUME;
        }
        if (style) {
            item.perMonitor = *style == 0 ? 1 : 0;
            mask |= ITEM_PER_MONITOR;
        }
        if (bounce) {
            item.bounce = *bounce ? 1 : 0;
            mask |= ITEM_BOUNCE;
        }
        if (speed) {
            item.rate = *speed;
            mask |= ITEM_RATE;
        }
        return mask;
    }
};

int FindName(const wchar_t *name, const wchar_t *const *table, int count)
{
    for (int i = 0; i < count; ++i) {
        if (_wcsicmp(name, table[i]) == 0)
            return i;
    }
    return -1;
}

// Takes argv[i] (and its value) when it is a field option. Returns true when taken; code
// is then set to a failure exit code when the value was not valid.
bool TakeField(int argc, wchar_t **argv, int &i, Fields &fields, int &code)
{
    static const wchar_t *const kNames[] = {L"--loops", L"--size",  L"--bounce",
                                            L"--volume", L"--style", L"--speed"};
    const wchar_t *option = argv[i];
    if (FindName(option, kNames, 6) < 0)
        return false;
    if (i + 1 >= argc) {
        code = Fail(kBadCommandLine, L"%ls needs a value", option);
        return true;
    }
    const wchar_t *value = argv[++i];
    LONG number = 0;
    if (_wcsicmp(option, L"--loops") == 0) {
        if (!ParseInteger(value, number) || number < kMinLoops || number > kMaxLoops)
            code = Fail(kBadValue, L"--loops %ls: valid values for Loops are %ld to %ld", value,
                        kMinLoops, kMaxLoops);
        else
            fields.loops = number;
    } else if (_wcsicmp(option, L"--volume") == 0) {
        if (!ParseInteger(value, number) || number < kMinVolume || number > kMaxVolume)
            code = Fail(kBadValue, L"--volume %ls: valid values for Volume are %ld to %ld", value,
                        kMinVolume, kMaxVolume);
        else
            fields.volume = number;
    } else if (_wcsicmp(option, L"--size") == 0) {
        int mode = FindName(value, kSizeNames, kSizeModeCount);
        if (mode < 0 && ParseInteger(value, number) && number >= 0 && number < kSizeModeCount)
            mode = number;
        if (mode < 0)
            code = Fail(kBadValue, L"--size %ls: the sizes are Maximized, Full Screen, 3/4 Screen, "
                                   L"1/2 Screen, 1/4 Screen, Original, Double Original (or 0 to 6)",
                        value);
        else
            fields.sizeMode = mode;
    } else if (_wcsicmp(option, L"--style") == 0) {
        const int style = FindName(value, kStyleNames, kStyleCount);
        if (style < 0)
            code = Fail(kBadValue, L"--style %ls: the styles are Monitor and Desktop", value);
        else
            fields.style = style;
    } else if (_wcsicmp(option, L"--bounce") == 0) {
        if (_wcsicmp(value, L"yes") == 0)
            fields.bounce = true;
        else if (_wcsicmp(value, L"no") == 0)
            fields.bounce = false;
        else
            code = Fail(kBadValue, L"--bounce %ls: say yes or no", value);
    } else {
        wchar_t *end = nullptr;
        const double speed = wcstod(value, &end);
        if (!*value || *end || !std::isfinite(speed) || speed < kMinSpeed || speed > kMaxSpeed)
            code = Fail(kBadValue, L"--speed %ls: valid values for Speed are 0.25 to 4.00", value);
        else
            fields.speed = static_cast<float>(speed);
    }
    return true;
}

// ---- the playlist object ----

class Playlist {
public:
    // 0, or the exit code after saying what failed.
    int Create()
    {
        const HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IHCYFWPlaylist,
                                            reinterpret_cast<void **>(list_.GetAddressOf()));
        if (FAILED(hr))
            return Fail(kNoLibrary, L"the Reelhaven player library is not available (0x%08lx); "
                                    L"is Reelhaven installed?",
                        static_cast<unsigned long>(hr));
        return kDone;
    }

    int Load(const std::wstring &path)
    {
        const HRESULT hr = list_->Load(path.c_str());
        if (hr == STG_E_FILENOTFOUND || (hr == E_FAIL && GetFileAttributesW(path.c_str()) ==
                                                             INVALID_FILE_ATTRIBUTES))
            return Fail(kListMissing, L"%ls: no such playlist", path.c_str());
        if (hr == STG_E_INVALIDHEADER)
            return Fail(kListDamaged, L"%ls: not a Reelhaven playlist, or damaged", path.c_str());
        if (hr == STG_E_SHAREVIOLATION)
            return Fail(kBadInput, L"%ls: in use by another program", path.c_str());
        if (FAILED(hr))
            return Fail(kBadInput, L"%ls: cannot be read (0x%08lx)", path.c_str(),
                        static_cast<unsigned long>(hr));
        return kDone;
    }

    LONG Count() const
    {
        LONG count = 0;
        list_->GetCount(&count);
        return count;
    }

    // Makes entry index current (the object only steps one entry at a time).
    void Select(LONG index)
    {
        list_->First();
        for (LONG i = 0; i < index; ++i)
            list_->Next();
    }

    // 0, or the exit code: index must name an entry.
    int CheckIndex(const wchar_t *text, LONG &index) const
    {
        const LONG count = Count();
        if (!ParseInteger(text, index))
            return Fail(kBadCommandLine, L"%ls: an index is a whole number", text);
        if (index < 0 || index >= count)
            return Fail(kIndexOutOfRange, L"index %ls is out of range: the playlist has %ld "
                                          L"entr%ls (0 to %ld)",
                        text, count, count == 1 ? L"y" : L"ies", count - 1);
        return kDone;
    }

    HRESULT Insert(PlaybackItem &item, LONG index) { return list_->Insert(&item, index); }

    IHCYFWPlaylist *get() const { return list_.Get(); }

    // Writes the playlist beside path under a passing name, then puts it in path's place in
    // one step, so a failure leaves the file that was there as it was.
    int SaveOver(const std::wstring &path)
    {
        if (Count() == 0)
            return Fail(kBadValue, L"%ls: a playlist cannot be empty", path.c_str());
        wchar_t suffix[40];
        swprintf(suffix, 40, L".%lu.rhtmp", GetCurrentProcessId());
        const std::wstring temporary = path + suffix;
        HRESULT hr = list_->Save(temporary.c_str(), FALSE);
        if (FAILED(hr)) {
            DeleteFileW(temporary.c_str());
            return Fail(kNotWritten, L"%ls: cannot be written (0x%08lx); the playlist is unchanged",
                        path.c_str(), static_cast<unsigned long>(hr));
        }
        if (!MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            DeleteFileW(temporary.c_str());
            return Fail(kNotWritten, L"%ls: cannot be written (%ls); the playlist is unchanged",
                        path.c_str(), SystemMessage(error).c_str());
        }
        return kDone;
    }

private:
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> list_;
};

// The fields the dialog's Add gives a new row: the Playlist Defaults, then the options.
PlaybackItem NewEntry(const Settings &settings, const Fields &fields)
{
    // As the configuration dialog hands entries over: the fields it does not set are 0.
    PlaybackItem item{};
    const PlaylistRow &defaults = settings.playlistDefaults;
    Fields base;
    base.loops = defaults.loops;
    base.sizeMode = std::clamp<LONG>(defaults.sizeMode, 0, kSizeModeCount - 1);
    base.volume = defaults.volume;
    base.style = defaults.style;
    base.bounce = defaults.bounce;
    base.speed = defaults.speed;
    base.Apply(item);
    fields.Apply(item);
    return item;
}

int AddFiles(Playlist &list, const std::vector<std::wstring> &files, const Settings &settings,
             const Fields &fields)
{
    PlaybackItem item = NewEntry(settings, fields);
    for (const std::wstring &file : files) {
        const std::wstring full = FullPath(file);
        item.fileName = const_cast<wchar_t *>(full.c_str());
        const HRESULT hr = list.Insert(item, -1);
        if (FAILED(hr))
            return Fail(kBadInput, L"%ls: cannot be added (0x%08lx)", full.c_str(),
                        static_cast<unsigned long>(hr));
    }
    return kDone;
}

// ---- folders ----

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};

std::vector<std::wstring> SplitPatterns(const std::wstring &text)
{
    std::vector<std::wstring> patterns;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring pattern = text.substr(start, end - start);
        while (!pattern.empty() && pattern.front() == L' ')
            pattern.erase(pattern.begin());
        while (!pattern.empty() && pattern.back() == L' ')
            pattern.pop_back();
        if (!pattern.empty())
            patterns.push_back(pattern);
        start = end + 1;
    }
    return patterns;
}

bool NameLess(const std::wstring &a, const std::wstring &b)
{
    const int order = CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE);
    return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
}

// A folder's matching files by name, then each subfolder the same way, by name. The
// patterns are matched against the long names (FindFirstFileW's own matching would also
// take short names, so "*.mpe" would find .mpeg files).
void WalkFolder(const std::wstring &folder, const std::vector<std::wstring> &patterns,
                std::vector<std::wstring> &files)
{
    std::vector<std::wstring> names, subfolders;
    WIN32_FIND_DATAW data;
    const UniqueResource<FindTraits> find(FindFirstFileExW((folder + L"*").c_str(),
                                                           FindExInfoBasic, &data,
                                                           FindExSearchNameMatch, nullptr,
                                                           FIND_FIRST_EX_LARGE_FETCH));
    if (!find)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L".." &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                subfolders.push_back(name);
            continue;
        }
        for (const std::wstring &pattern : patterns) {
            if (PathMatchSpecW(name.c_str(), pattern.c_str())) {
                names.push_back(name);
                break;
            }
        }
    } while (FindNextFileW(find.get(), &data));
    std::sort(names.begin(), names.end(), NameLess);
    std::sort(subfolders.begin(), subfolders.end(), NameLess);
    for (const std::wstring &name : names)
        files.push_back(folder + name);
    for (const std::wstring &name : subfolders)
        WalkFolder(folder + name + L"\\", patterns, files);
}

// ---- M3U ----

// Reads a whole file; false with the system error when it cannot.
bool ReadAll(const std::wstring &path, std::string &bytes, DWORD &error)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
        error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        error = GetLastError();
        return false;
    }
    return true;
}

bool IsAbsolute(const std::wstring &path)
{
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' ||
                                                                       path[0] == L'/'));
}

int ReadM3u(const std::wstring &source, std::vector<std::wstring> &files)
{
    std::string bytes;
    DWORD error = 0;
    if (!ReadAll(source, bytes, error))
        return Fail(kBadInput, L"%ls: cannot be read (%ls)", source.c_str(),
                    SystemMessage(error).c_str());
    UINT codePage = EndsWithNoCase(source, L".m3u8") ? CP_UTF8 : CP_ACP;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
        codePage = CP_UTF8;
    }
    std::wstring text;
    if (!bytes.empty()) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int length = MultiByteToWideChar(codePage, flags, bytes.data(),
                                               static_cast<int>(bytes.size()), nullptr, 0);
        if (length <= 0)
            return Fail(kBadInput, L"%ls: not valid UTF-8 text", source.c_str());
        text.resize(length);
        MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                            text.data(), length);
    }
    const std::wstring folder = FolderOf(source);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ' || line.back() == L'\t'))
            line.pop_back();
        while (!line.empty() && (line.front() == L' ' || line.front() == L'\t'))
            line.erase(line.begin());
        if (line.empty() || line[0] == L'#')
            continue;
        if (line.find(L"://") != std::wstring::npos) {
            Warn(L"%ls: skipped %ls (not a file)", source.c_str(), line.c_str());
            continue;
        }
        // A path from the root ("\videos\a.avi") is on the list's own drive.
        if (!IsAbsolute(line))
            line = folder + line;
        else if (line[0] == L'\\' || line[0] == L'/') {
            if (!(line.size() > 1 && (line[1] == L'\\' || line[1] == L'/')))
                line = folder.substr(0, 2) + line;
        }
        files.push_back(FullPath(line));
    }
    return kDone;
}

// Writes bytes to path through a file beside it, so a failure leaves path as it was.
int WriteOver(const std::wstring &path, const std::string &bytes)
{
    wchar_t suffix[40];
    swprintf(suffix, 40, L".%lu.rhtmp", GetCurrentProcessId());
    const std::wstring temporary = path + suffix;
    DWORD error = ERROR_SUCCESS;
    {
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file)
            error = GetLastError();
        else if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) ||
                 written != bytes.size())
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        return Fail(kNotWritten, L"%ls: cannot be written (%ls)", path.c_str(),
                    SystemMessage(error).c_str());
    }
    return kDone;
}

// The path as the M3U shows it: relative when it lies in the list's folder or below.
std::wstring M3uPath(const std::wstring &path, const std::wstring &folder)
{
    if (!folder.empty() && path.size() > folder.size() &&
        CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                             static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL)
        return path.substr(folder.size());
    return path;
}

// ---- commands ----

struct Entry {
    std::wstring file;
    PlaybackItem item;
    HRESULT result;
};

std::vector<Entry> ReadEntries(Playlist &list)
{
    std::vector<Entry> entries;
    const LONG count = list.Count();
    list.Select(0);
    for (LONG i = 0; i < count; ++i) {
        Entry entry{};
        if (SUCCEEDED(list.get()->GetCurrentItem(&entry.item))) {
            CoTaskString name(entry.item.fileName);
            entry.file = entry.item.fileName ? entry.item.fileName : L"";
            entry.item.fileName = nullptr;
        }
        PlaylistPosition position{};
        list.get()->GetPosition(&position);
        entry.result = position.playResult;
        entries.push_back(std::move(entry));
        list.get()->Next();
    }
    return entries;
}

std::wstring SizeText(const PlaybackItem &item)
{
    const int mode = SizeModeOf(item);
    if (mode >= 0)
        return kSizeNames[mode];
    wchar_t text[64];
    swprintf(text, 64, L"%ls x%g", item.scaleToScreen ? L"screen" : L"original",
             static_cast<double>(item.scale));
    return text;
}

std::wstring JsonText(const std::wstring &text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t escape[8];
            swprintf(escape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

// A damaged file can carry a speed that is no number; JSON has no word for that.
std::wstring JsonNumber(float value)
{
    if (!std::isfinite(value))
        return L"null";
    wchar_t text[64];
    swprintf(text, 64, L"%.2f", static_cast<double>(value));
    return text;
}

void List(Playlist &list, const std::wstring &path, bool json)
{
    const std::vector<Entry> entries = ReadEntries(list);
    if (json) {
        Out(L"{\"playlist\": %ls, \"entries\": [", JsonText(path).c_str());
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry &e = entries[i];
            Out(L"%ls\n  {\"index\": %zu, \"file\": %ls, \"loops\": %ld, \"size\": %ls, "
                L"\"bounce\": %ls, \"volume\": %ld, \"style\": \"%ls\", \"speed\": %ls, "
                L"\"result\": %ld}",
                i ? L"," : L"", i, JsonText(e.file).c_str(), e.item.loops,
                JsonText(SizeText(e.item)).c_str(), e.item.bounce ? L"true" : L"false",
                e.item.volume, kStyleNames[e.item.perMonitor ? 0 : 1],
                JsonNumber(e.item.rate).c_str(), static_cast<long>(e.result));
        }
        Out(L"%ls]}\n", entries.empty() ? L"" : L"\n");
        return;
    }
    Out(L"index\tloops\tsize\tbounce\tvolume\tstyle\tspeed\tfile\n");
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        Out(L"%zu\t%ld\t%ls\t%ls\t%ld%%\t%ls\t%.2f\t%ls", i, e.item.loops,
            SizeText(e.item).c_str(), e.item.bounce ? L"yes" : L"no", e.item.volume,
            kStyleNames[e.item.perMonitor ? 0 : 1], static_cast<double>(e.item.rate),
            e.file.c_str());
        if (e.result < 0)
            Out(L"\t(last play failed: 0x%08lx)", static_cast<unsigned long>(e.result));
        Out(L"\n");
    }
}

int Export(Playlist &list, const std::wstring &target)
{
    const bool utf8 = EndsWithNoCase(target, L".m3u8");
    const std::wstring folder = FolderOf(target);
    std::string bytes = "#EXTM3U\r\n";
    for (const Entry &entry : ReadEntries(list)) {
        const std::wstring line = M3uPath(entry.file, folder);
        if (utf8) {
            bytes += Utf8(line);
        } else {
            BOOL lost = FALSE;
            const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, line.c_str(),
                                                   static_cast<int>(line.size()), nullptr, 0,
                                                   nullptr, &lost);
            if (lost)
                return Fail(kBadValue, L"%ls cannot be written in this system's code page; "
                                       L"export to a .m3u8 file instead",
                            entry.file.c_str());
            std::string ansi(length, '\0');
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, line.c_str(),
                                static_cast<int>(line.size()), ansi.data(), length, nullptr,
                                nullptr);
            bytes += ansi;
        }
        bytes += "\r\n";
    }
    return WriteOver(target, bytes);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

int Run(int argc, wchar_t **argv)
{
    std::vector<wchar_t *> args;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"--verbose") == 0)
            g_verbose = true;
        else
            args.push_back(argv[i]);
    }
    if (args.empty() || _wcsicmp(args[0], L"--help") == 0 || _wcsicmp(args[0], L"-h") == 0 ||
        _wcsicmp(args[0], L"/?") == 0 || _wcsicmp(args[0], L"help") == 0) {
        Out(L"%ls", kHelp);
        return args.empty() ? kBadCommandLine : kDone;
    }
    const std::wstring command = args[0];
    static const wchar_t *const kCommands[] = {L"create", L"list",   L"add",    L"add-folder",
                                               L"remove", L"move",   L"set",    L"import",
                                               L"export"};
    if (FindName(command.c_str(), kCommands, 9) < 0)
        return Fail(kBadCommandLine, L"%ls: no such command (rhplaylist --help lists them)",
                    command.c_str());
    if (args.size() < 2)
        return Fail(kBadCommandLine, L"%ls: which playlist? (rhplaylist --help)", command.c_str());
    const std::wstring path = FullPath(args[1]);

    // The rest: field options, flags and the operands, in any order.
    Fields fields;
    bool json = false, force = false;
    std::wstring types;
    std::vector<std::wstring> operands;
    int argCount = static_cast<int>(args.size());
    for (int i = 2; i < argCount; ++i) {
        int code = kDone;
        if (TakeField(argCount, args.data(), i, fields, code)) {
            if (code != kDone)
                return code;
        } else if (_wcsicmp(args[i], L"--json") == 0 && command == L"list") {
            json = true;
        } else if (_wcsicmp(args[i], L"--force") == 0 && command == L"create") {
            force = true;
        } else if (_wcsicmp(args[i], L"--types") == 0 && command == L"add-folder") {
            if (++i >= argCount)
                return Fail(kBadCommandLine, L"--types needs a value");
            types = args[i];
        } else if (args[i][0] == L'-' && args[i][1] == L'-') {
            return Fail(kBadCommandLine, L"%ls: not an option of %ls (rhplaylist --help)", args[i],
                        command.c_str());
        } else {
            operands.push_back(args[i]);
        }
    }
    const bool takesFields = command == L"create" || command == L"add" ||
                             command == L"add-folder" || command == L"set" || command == L"import";
    if (fields.any() && !takesFields)
        return Fail(kBadCommandLine, L"%ls takes no entry fields", command.c_str());
    struct Arity {
        const wchar_t *command;
        size_t least, most;
        const wchar_t *what;
    };
    static const Arity kArity[] = {
        {L"create", 1, SIZE_MAX, L"one or more files"}, {L"list", 0, 0, L"nothing more"},
        {L"add", 1, SIZE_MAX, L"one or more files"},    {L"add-folder", 1, 1, L"one folder"},
        {L"remove", 1, 1, L"an index"},                 {L"move", 2, 2, L"two indexes"},
        {L"set", 1, 1, L"an index and fields"},         {L"import", 1, 1, L"one M3U file"},
        {L"export", 1, 1, L"one M3U file"}};
    for (const Arity &arity : kArity) {
        if (command == arity.command &&
            (operands.size() < arity.least || operands.size() > arity.most))
            return Fail(kBadCommandLine, L"%ls LIST takes %ls", command.c_str(), arity.what);
    }
    if (command == L"set" && !fields.any())
        return Fail(kBadCommandLine, L"set: which fields? (--loops, --size, --bounce, --volume, "
                                     L"--style, --speed)");

    ComApartment apartment(COINIT_APARTMENTTHREADED);
    Playlist list;
    if (int code = list.Create())
        return code;

    Settings settings;
    settings.SetDefaults();
    settings.Load();

    if (command == L"create") {
        if (!force && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return Fail(kNotWritten, L"%ls already exists (--force replaces it)", path.c_str());
        if (int code = AddFiles(list, operands, settings, fields))
            return code;
        return list.SaveOver(path);
    }

    // import and add-folder make the list they are given when there is none yet.
    const bool fresh = (command == L"import" || command == L"add-folder") &&
                       GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!fresh) {
        if (int code = list.Load(path))
            return code;
    }

    if (command == L"list") {
        List(list, path, json);
        return kDone;
    }
    if (command == L"export")
        return Export(list, FullPath(operands[0]));
    if (command == L"add") {
        if (int code = AddFiles(list, operands, settings, fields))
            return code;
        return list.SaveOver(path);
    }
    if (command == L"add-folder") {
        std::wstring folder = FullPath(operands[0]);
        if (folder.back() != L'\\')
            folder += L'\\';
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Fail(kBadInput, L"%ls: no such folder", folder.c_str());
        const std::vector<std::wstring> patterns =
            SplitPatterns(types.empty() ? settings.videoFileTypes : types);
        if (patterns.empty())
            return Fail(kBadValue, L"no file name patterns to look for (--types, or the "
                                   L"\"Video File Types\" setting)");
        LARGE_INTEGER t0, t1, t2;
        QueryPerformanceCounter(&t0);
        std::vector<std::wstring> files;
        WalkFolder(folder, patterns, files);
        QueryPerformanceCounter(&t1);
        if (files.empty())
            return Fail(kBadInput, L"%ls: no files of the types %ls", folder.c_str(),
                        types.empty() ? settings.videoFileTypes : types.c_str());
        int code = AddFiles(list, files, settings, fields);
        if (code == kDone)
            code = list.SaveOver(path);
        QueryPerformanceCounter(&t2);
        if (g_verbose)
            Warn(L"%zu files: folder walk %.1f ms, adding and saving %.1f ms", files.size(),
                 Milliseconds(t0, t1), Milliseconds(t1, t2));
        if (code == kDone)
            Out(L"%zu file(s) added to %ls\n", files.size(), path.c_str());
        return code;
    }
    if (command == L"import") {
        std::vector<std::wstring> files;
        if (int code = ReadM3u(FullPath(operands[0]), files))
            return code;
        if (files.empty())
            return Fail(kBadInput, L"%ls: no files in it", operands[0].c_str());
        if (int code = AddFiles(list, files, settings, fields))
            return code;
        return list.SaveOver(path);
    }

    LONG index = 0;
    if (int code = list.CheckIndex(operands[0].c_str(), index))
        return code;
    if (command == L"remove") {
        if (list.Count() == 1)
            return Fail(kBadValue, L"%ls: a playlist keeps at least one entry (delete the file "
                                   L"instead)",
                        path.c_str());
        list.get()->Remove(index);
        return list.SaveOver(path);
    }
    list.Select(index);
    if (command == L"set") {
        PlaybackItem item{};
        item.validMask = fields.Apply(item);
        list.get()->SetCurrentItem(&item);
        return list.SaveOver(path);
    }
    // move: taken out and put in again, with every field and its last play result.
    LONG target = 0;
    if (int code = list.CheckIndex(operands[1].c_str(), target))
        return code;
    PlaybackItem item{};
    HRESULT hr = list.get()->GetCurrentItem(&item);
    if (FAILED(hr))
        return Fail(kBadInput, L"entry %ld cannot be read (0x%08lx)", index,
                    static_cast<unsigned long>(hr));
    CoTaskString name(item.fileName);
    PlaylistPosition position{};
    list.get()->GetPosition(&position);
    list.get()->Remove(index);
    list.Insert(item, target);
    position.index = target;
    list.get()->SetPosition(&position, POSITION_RESULT);
    return list.SaveOver(path);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    return Run(argc, argv);
}
