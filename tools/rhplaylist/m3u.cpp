#include "m3u.h"

#include <windows.h>

#include "console.h"
#include "exit_codes.h"
#include "files.h"
#include "text.h"

namespace {

bool IsAbsolute(const std::wstring &path)
{
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' ||
                                                                       path[0] == L'/'));
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

// The line as an absolute path: a relative one counts from folder, and one from the root
// ("\videos\a.avi") is on folder's drive. Network paths ("\\server\...") stay as they are.
std::wstring ResolvedPath(std::wstring line, const std::wstring &folder)
{
    if (!IsAbsolute(line))
        line = folder + line;
    else if (line[0] == L'\\' || line[0] == L'/') {
        if (!(line.size() > 1 && (line[1] == L'\\' || line[1] == L'/')))
            line = folder.substr(0, 2) + line;
    }
    return FullPath(line);
}

} // namespace

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
        files.push_back(ResolvedPath(line, folder));
    }
    return kDone;
}

int WriteM3u(const std::wstring &target, const std::vector<std::wstring> &files)
{
    const bool utf8 = EndsWithNoCase(target, L".m3u8");
    const std::wstring folder = FolderOf(target);
    std::string bytes = "#EXTM3U\r\n";
    for (const std::wstring &file : files) {
        const std::wstring line = M3uPath(file, folder);
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
                            file.c_str());
            std::string ansi(length, '\0');
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, line.c_str(),
                                static_cast<int>(line.size()), ansi.data(), length, nullptr,
                                nullptr);
            bytes += ansi;
        }
        bytes += "\r\n";
    }
    const DWORD error = WriteOver(target, bytes);
    if (error != ERROR_SUCCESS)
        return Fail(kNotWritten, L"%ls: cannot be written (%ls)", target.c_str(),
                    SystemMessage(error).c_str());
    return kDone;
}
