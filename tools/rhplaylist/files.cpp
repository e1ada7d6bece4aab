#include "files.h"

#include <aclapi.h>

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
// as the tool's own if a crash leaves it behind. Made with CREATE_NEW, so that whatever
// someone else left under the name (a link to another file, say) is never written through.
std::wstring TemporaryBeside(const std::wstring &path, DWORD &error)
{
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        wchar_t suffix[48];
        swprintf(suffix, 48, attempt ? L".%lu-%u.rhtmp" : L".%lu.rhtmp", GetCurrentProcessId(), attempt);
        const std::wstring name = path + suffix;
        UniqueHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return name;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    return {};
}

namespace {

// The owner, group and permissions of from, given to to before it takes from's place:
// ReplaceFileW keeps the permissions on Windows, but not the owner, and Wine's keeps
// neither. Setting another account as owner takes the restore privilege, which an
// elevated administrator holds; without it the file belongs to whoever wrote it, as a new
// file would.
void CopySecurity(const std::wstring &from, const std::wstring &to)
{
    static const bool restoring = [] {
        UniqueHandle token;
        TOKEN_PRIVILEGES privileges{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        return OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) &&
               LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &privileges.Privileges[0].Luid) &&
               AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
               GetLastError() == ERROR_SUCCESS;
    }();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                  DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    // The permissions exactly as they were, inherited entries and protection included
    // (SetNamedSecurityInfoW would work the inherited ones out afresh).
    SetFileSecurityW(to.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    SetFileSecurityW(to.c_str(), GROUP_SECURITY_INFORMATION | (restoring ? OWNER_SECURITY_INFORMATION : 0),
                     descriptor);
    LocalFree(descriptor);
}

} // namespace

// As the library saves a playlist: ReplaceFileW, or a replacing rename where the file
// system has no ReplaceFileW (but not where it found the file in use or not ours to
// replace, since a rename would only meet the same obstacle).
DWORD MoveIntoPlace(const std::wstring &temporary, const std::wstring &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    DWORD error = ERROR_SUCCESS;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A new file gets the rights its folder gives new files.
        if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = GetLastError();
    } else if (attributes & FILE_ATTRIBUTE_READONLY) {
        error = ERROR_FILE_READ_ONLY;  // Windows refuses to replace it too; Wine would not
    } else {
        CopySecurity(path, temporary);
        if (!ReplaceFileW(path.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                          nullptr, nullptr)) {
            error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_UNABLE_TO_REMOVE_REPLACED &&
                error != ERROR_ACCESS_DENIED)
                error = MoveFileExW(temporary.c_str(), path.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                            ? ERROR_SUCCESS
                            : GetLastError();
        }
        // The rename and Wine's ReplaceFileW leave the new file's attributes.
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (error == ERROR_SUCCESS && (GetFileAttributesW(path.c_str()) & kKept) != (attributes & kKept))
            SetFileAttributesW(path.c_str(), (attributes & kKept) ? (attributes & kKept) : FILE_ATTRIBUTE_NORMAL);
    }
    // Should a replaced file be gone after all, the new one is the only copy left and stays.
    if (error != ERROR_SUCCESS &&
        (attributes == INVALID_FILE_ATTRIBUTES || GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES))
        DeleteFileW(temporary.c_str());
    return error;
}

DWORD WriteOver(const std::wstring &path, const std::string &bytes)
{
    DWORD error = ERROR_SUCCESS;
    const std::wstring temporary = TemporaryBeside(path, error);
    if (temporary.empty())
        return error;
    {
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
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
