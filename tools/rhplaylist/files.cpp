#include "files.h"

#include <cwchar>

#include "handles.h"

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

// The process id keeps two tools working on one folder apart; the ending marks the file
// as the tool's own if a crash leaves it behind.
std::wstring TemporaryBeside(const std::wstring &path)
{
    wchar_t suffix[40];
    swprintf(suffix, 40, L".%lu.rhtmp", GetCurrentProcessId());
    return path + suffix;
}

DWORD MoveIntoPlace(const std::wstring &temporary, const std::wstring &path)
{
    if (MoveFileExW(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    return error;
}

DWORD WriteOver(const std::wstring &path, const std::string &bytes)
{
    const std::wstring temporary = TemporaryBeside(path);
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
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        return error;
    }
    return MoveIntoPlace(temporary, path);
}
