#include "folder_walk.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>

#include "handles.h"

namespace {

// By name without regard to case; names equal but for case in a fixed order all the same.
bool NameLess(const std::wstring &a, const std::wstring &b)
{
    const int order = CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE);
    return order == CSTR_LESS_THAN || (order == CSTR_EQUAL && a < b);
}

} // namespace

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

// The patterns are matched against the long names: FindFirstFileW's own matching would
// also take short names, so "*.mpe" would find .mpeg files.
void WalkFolder(const std::wstring &folder, const std::vector<std::wstring> &patterns,
                std::vector<std::wstring> &files)
{
    std::vector<std::wstring> names, subfolders;
    WIN32_FIND_DATAW data;
    const UniqueFind find(FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data,
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
