#include "m3u.h"

#include <windows.h>

#include <string_view>

#include "console.h"
#include "exit_codes.h"
#include "files.h"
#include "text.h"

namespace {

constexpr size_t kLongestPath = 32767;  // what the system's long form takes
constexpr size_t kLongestName = 255;    // one folder or file name

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsDrivePath(const std::wstring &path)
{
    return path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]);
}

// A path split into the long form's prefix and the plain path it stands for:
// \\?\C:\x is C:\x, \\?\UNC\server\share\x is \\server\share\x.
struct Form {
    std::wstring prefix, plain;
};
Form SplitLongForm(const std::wstring &path)
{
    if (path.starts_with(L"\\\\?\\UNC\\"))
        return {L"\\\\?\\UNC\\", L"\\\\" + path.substr(8)};
    if (path.starts_with(L"\\\\?\\"))
        return {L"\\\\?\\", path.substr(4)};
    return {L"", path};
}
std::wstring JoinLongForm(const std::wstring &prefix, const std::wstring &plain)
{
    if (prefix.empty())
        return plain;
    return prefix.ends_with(L"UNC\\") ? prefix + plain.substr(2) : prefix + plain;
}

// Where a line from the root ("\videos\a.avi") starts: the drive ("C:") or the share
// ("\\server\share") of a plain path; empty for anything else.
std::wstring RootOf(const std::wstring &plain)
{
    if (plain.size() >= 2 && plain[1] == L':')
        return plain.substr(0, 2);
    if (plain.size() > 2 && IsSeparator(plain[0]) && IsSeparator(plain[1])) {
        const size_t server = plain.find_first_of(L"\\/", 2);
        if (server == std::wstring::npos)
            return plain;
        return plain.substr(0, plain.find_first_of(L"\\/", server + 1));
    }
    return {};
}

// The line as a full path. A relative one counts from the M3U's folder, one from the root
// from its drive or share; either keeps the M3U's long form, and ".." never climbs above
// the root. Full paths and network paths stay as they are, but for the same tidying.
std::wstring ResolvedPath(const std::wstring &line, const std::wstring &folder)
{
    const Form given = SplitLongForm(line);
    if (!given.prefix.empty())  // and never counted from the current folder
        return IsDrivePath(given.plain) || given.plain.starts_with(L"\\\\")
                   ? JoinLongForm(given.prefix, FullPath(given.plain))
                   : line;
    if (IsDrivePath(line) || (line.size() >= 2 && line[1] == L':') ||
        (line.size() >= 2 && IsSeparator(line[0]) && IsSeparator(line[1])))
        return FullPath(line);
    const Form m3u = SplitLongForm(folder);
    const std::wstring base = IsSeparator(line[0]) ? RootOf(m3u.plain) : m3u.plain;
    return JoinLongForm(m3u.prefix, FullPath(base + line));
}

// Why path can be no file's path, or empty when it can be.
std::wstring WhyNoFilePath(const std::wstring &path)
{
    if (path.size() >= kLongestPath)
        return L"longer than the 32,767 characters of any path";
    const std::wstring plain = SplitLongForm(path).plain;
    if (plain.starts_with(L"\\\\.\\") || plain.starts_with(L"\\\\?\\"))
        return L"a device, not a file";
    size_t start;
    if (IsDrivePath(plain))
        start = 3;
    else if (plain.starts_with(L"\\\\")) {
        const size_t server = plain.find(L'\\', 2);
        const size_t share = server == std::wstring::npos ? server : plain.find(L'\\', server + 1);
        if (server == 2 || share == std::wstring::npos || share == server + 1)
            return L"no server and share";
        start = 2;
    } else
        return L"on no drive or share";
    if (plain.back() == L'\\')
        return L"a folder, not a file";
    for (size_t name = start; name < plain.size();) {
        size_t end = plain.find(L'\\', name);
        if (end == std::wstring::npos)
            end = plain.size();
        if (end - name > kLongestName)
            return L"a name longer than 255 characters";
        for (size_t i = name; i < end; ++i) {
            if (plain[i] < 0x20 || wcschr(L"<>:\"|?*", plain[i])) {
                wchar_t why[48];
                swprintf(why, 48, L"the character U+%04X", static_cast<unsigned>(plain[i]));
                return why;
            }
        }
        name = end + 1;
    }
    return {};
}

// A line as a message shows it: printable, and cut when it is long.
std::wstring Shown(const std::wstring &line)
{
    constexpr size_t kShown = 60;
    std::wstring shown = line.substr(0, kShown);
    for (wchar_t &c : shown)
        if (c < 0x20)
            c = L'?';
    if (line.size() > kShown)
        shown += L"... (" + std::to_wstring(line.size()) + L" characters)";
    return shown;
}

enum class Decoded { kText, kNulBytes, kOddUtf16, kNotInEncoding };

// The text of bytes: by its mark (UTF-8, UTF-16 little- or big-endian) if it has one,
// otherwise in codePage. NUL bytes without a UTF-16 mark are no text: UTF-16 without its
// mark, or no M3U at all; read as a code page they would make entries of garbage.
Decoded Decode(std::string_view bytes, UINT codePage, std::wstring &text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        codePage = CP_UTF8;
    } else if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool bigEndian = byte(0) == 0xFE;
        bytes.remove_prefix(2);
        if (bytes.size() % 2)
            return Decoded::kOddUtf16;
        text.resize(bytes.size() / 2);
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned first = byte(2 * i), second = byte(2 * i + 1);
            text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
        }
        return text.find(L'\0') == std::wstring::npos ? Decoded::kText : Decoded::kNulBytes;
    }
    if (bytes.find('\0') != std::string_view::npos)
        return Decoded::kNulBytes;
    if (bytes.empty())
        return Decoded::kText;
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0)
        return Decoded::kNotInEncoding;
    text.resize(length);
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        text.data(), length);
    return Decoded::kText;
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

} // namespace

int ReadM3u(const std::wstring &source, std::vector<std::wstring> &files)
{
    std::string bytes;
    DWORD error = 0;
    if (!ReadAll(source, bytes, error))
        return Fail(kBadInput, L"%ls: cannot be read (%ls)", source.c_str(),
                    SystemMessage(error).c_str());
    return ParseM3u(bytes, source, files);
}

int ParseM3u(const std::string &bytes, const std::wstring &source, std::vector<std::wstring> &files)
{
    const bool utf8 = EndsWithNoCase(source, L".m3u8");
    std::wstring text;
    switch (Decode(bytes, utf8 ? CP_UTF8 : CP_ACP, text)) {
    case Decoded::kText:
        break;
    case Decoded::kNulBytes:
        return Fail(kListDamaged, L"%ls: not an M3U playlist (NUL characters, and no mark of UTF-16 text)",
                    source.c_str());
    case Decoded::kOddUtf16:
        return Fail(kListDamaged, L"%ls: damaged UTF-16 text (an odd number of bytes)", source.c_str());
    case Decoded::kNotInEncoding:
        return Fail(kListDamaged, L"%ls: not valid %ls text", source.c_str(),
                    utf8 ? L"UTF-8" : L"system code page");
    }
    const std::wstring folder = FolderOf(source);
    std::vector<std::wstring> found;
    size_t start = 0;
    for (size_t number = 1; start < text.size(); ++number) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        size_t first = start, last = end;
        start = end + 1;
        while (first < last && (text[first] == L' ' || text[first] == L'\t'))
            ++first;
        while (last > first && (text[last - 1] == L'\r' || text[last - 1] == L' ' || text[last - 1] == L'\t'))
            --last;
        if (first == last || text[first] == L'#')
            continue;
        const std::wstring line = text.substr(first, last - first);
        if (line.find(L"://") != std::wstring::npos) {
            Warn(L"%ls: skipped %ls (not a file)", source.c_str(), Shown(line).c_str());
            continue;
        }
        // Measured before it is resolved: the system's path functions count in 16 bits.
        const std::wstring path = line.size() < kLongestPath ? ResolvedPath(line, folder) : line;
        const std::wstring why = WhyNoFilePath(path);
        if (!why.empty())
            return Fail(kBadValue, L"%ls, line %zu: %ls is no file's path (%ls)", source.c_str(), number,
                        Shown(line).c_str(), why.c_str());
        found.push_back(path);
    }
    files.insert(files.end(), found.begin(), found.end());
    return kDone;
}

int WriteM3u(const std::wstring &target, const std::vector<std::wstring> &files)
{
    const bool utf8 = EndsWithNoCase(target, L".m3u8");
    const std::wstring folder = FolderOf(target);
    std::string bytes = "#EXTM3U\r\n";
    for (const std::wstring &file : files) {
        std::string line;
        if (!(utf8 ? ExactUtf8(M3uPath(file, folder), line) : ExactAnsi(M3uPath(file, folder), line)))
            return Fail(kBadValue,
                        utf8 ? L"%ls cannot be written in UTF-8 (it holds a lone UTF-16 surrogate); "
                               L"the M3U is unchanged"
                             : L"%ls cannot be written in this system's code page; the M3U is "
                               L"unchanged (export to a .m3u8 file instead)",
                        file.c_str());
        bytes += line;
        bytes += "\r\n";
    }
    const DWORD error = WriteOver(target, bytes);
    if (error != ERROR_SUCCESS)
        return Fail(kNotWritten, L"%ls: cannot be written (%ls)", target.c_str(),
                    SystemMessage(error).c_str());
    return kDone;
}
