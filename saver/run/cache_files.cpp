#include "cache_files.h"

#include <aclapi.h>
#include <sddl.h>

namespace cache_files {

LONGLONG AsInt64(const FILETIME &time)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                 time.dwLowDateTime);
}

LONGLONG Now()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return AsInt64(now);
}

// Whole days from then to now, truncated toward zero (negative when then lies ahead).
std::wstring FullPath(const std::wstring &path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // the size needed, terminator included
    }
    return {};
}

std::wstring ForFileApi(const std::wstring &full)
{
    if (full.size() < MAX_PATH || full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::vector<BYTE> TokenSid(TOKEN_INFORMATION_CLASS kind)
{
    UniqueHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return {};
    GetTokenInformation(token.get(), kind, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetTokenInformation(token.get(), kind, info.data(), size, &size))
        return {};
    const PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER *>(info.data())->User.Sid
                                       : reinterpret_cast<TOKEN_OWNER *>(info.data())->Owner;
    const BYTE *bytes = static_cast<const BYTE *>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

std::wstring SidText(const std::vector<BYTE> &sid)
{
    wchar_t *text = nullptr;
    if (sid.empty() || !ConvertSidToStringSidW(const_cast<BYTE *>(sid.data()), &text))
        return {};
    std::wstring result(text);
    LocalFree(text);
    return result;
}

bool IsPlainFile(HANDLE file, BY_HANDLE_FILE_INFORMATION &info)
{
    return GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
           info.nNumberOfLinks == 1;
}

bool OwnedBy(HANDLE file, const std::vector<BYTE> &user, const std::vector<BYTE> &owner)
{
    PSID fileOwner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &fileOwner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return false;
    const bool mine = fileOwner && ((!user.empty() && EqualSid(fileOwner, const_cast<BYTE *>(user.data()))) ||
                                    (!owner.empty() && EqualSid(fileOwner, const_cast<BYTE *>(owner.data()))));
    LocalFree(descriptor);
    return mine;
}

UniqueHandle OpenEntry(const std::wstring &path, DWORD access)
{
    return UniqueHandle(CreateFileW(ForFileApi(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool LastWriteTime(const std::wstring &path, FILETIME &written)
{
    UniqueHandle file(CreateFileW(ForFileApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileTime(file.get(), nullptr, nullptr, &written);
}

void EmptyAndDelete(HANDLE file)
{
    FILE_END_OF_FILE_INFO empty{};
    SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty);
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
}

void BreakOffIo(HANDLE thread)
{
    using CancelFunction = BOOL(WINAPI *)(HANDLE);
    static const auto cancel = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32");
        return kernel ? reinterpret_cast<CancelFunction>(
                            reinterpret_cast<void *>(GetProcAddress(kernel, "CancelSynchronousIo")))
                      : nullptr;
    }();
    if (cancel && thread)
        cancel(thread);
}

}  // namespace cache_files
