#include "video_cache.h"

#include <cwchar>

#include "settings.h"

namespace {

constexpr LONGLONG kDay = 864000000000LL;  // FILETIME units per day

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
LONGLONG DaysSince(LONGLONG then, LONGLONG now) { return (now - then) / kDay; }

void CopyPath(wchar_t (&out)[MAX_PATH], const wchar_t *path)
{
    wcsncpy(out, path ? path : L"", MAX_PATH - 1);
    out[MAX_PATH - 1] = L'\0';
}

bool LastWriteTime(const wchar_t *path, FILETIME &written)
{
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileTime(file.get(), nullptr, nullptr, &written);
}

}  // namespace

void VideoCache::Start(const wchar_t *installFolder, Settings &settings)
{
    Stop();
    settings_ = &settings;
    running_ = 1;

    // Missing before Windows 2000; the drive root is then found by hand.
    if (HMODULE kernel = GetModuleHandleW(L"kernel32"))
        volumePath_ = reinterpret_cast<VolumePathFunction>(
            reinterpret_cast<void *>(GetProcAddress(kernel, "GetVolumePathNameW")));

    folder_[0] = L'\0';
    size_t length = wcslen(installFolder);
    const bool needsSlash = length == 0 || installFolder[length - 1] != L'\\';
    if (length + (needsSlash ? 1 : 0) + 6 < MAX_PATH)
        swprintf(folder_, MAX_PATH, L"%ls%lsCache\\", installFolder, needsSlash ? L"\\" : L"");

    const LONGLONG now = Now();
    const LONGLONG days = DaysSince(settings.cacheLastCleanup, now);
    if (days < 0 || days < static_cast<LONGLONG>(settings.cacheCleanupInterval))
        return;
    cleanupThread_.reset(CreateThread(nullptr, 0, &VideoCache::Cleanup, this, 0, nullptr));
    if (cleanupThread_)
        settings.cacheLastCleanup = now;
}

void VideoCache::Stop()
{
    if (!cleanupThread_)
        return;
    running_.fetch_sub(1);
    WaitForSingleObject(cleanupThread_.get(), INFINITE);
    cleanupThread_.reset();
}

DWORD WINAPI VideoCache::Cleanup(void *argument)
{
    auto *cache = static_cast<VideoCache *>(argument);
    const LONGLONG now = Now();
    const LONGLONG expiration = cache->settings_->cacheExpirationPeriod;

    wchar_t pattern[MAX_PATH];
    if (swprintf(pattern, MAX_PATH, L"%ls*.*", cache->folder_) < 0)
        return 0;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(pattern, &found);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    // Running is looked at once per entry, so Stop waits for one entry at most.
    for (BOOL more = TRUE; more && cache->running_.load() != 0; more = FindNextFileW(listing, &found)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const LONGLONG accessed = AsInt64(found.ftLastAccessTime);
        if (accessed == 0)
            continue;
        const LONGLONG age = DaysSince(accessed, now);
        if (age < 0 || age < expiration)
            continue;
        wchar_t path[MAX_PATH];
        if (swprintf(path, MAX_PATH, L"%ls%ls", cache->folder_, found.cFileName) < 0)
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path, found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        DeleteFileW(path);
    }
    FindClose(listing);
    return 0;
}

std::wstring VideoCache::Resolve(const wchar_t *source)
{
    wchar_t out[MAX_PATH];
    Resolve(source, out);
    return out;
}

void VideoCache::Resolve(const wchar_t *source, wchar_t (&out)[MAX_PATH])
{
    if (!source)
        source = L"";
    if (!settings_ || settings_->noCache || folder_[0] == L'\0') {
        CopyPath(out, source);
        return;
    }

    // Copies are named by the source's file name alone.
    const wchar_t *slash = wcsrchr(source, L'\\');
    const wchar_t *name = slash ? slash + 1 : source;
    wchar_t cached[MAX_PATH];
    if (*name == L'\0' || wcslen(folder_) + wcslen(name) >= MAX_PATH) {
        // No name, or the copy's path would not fit: play the source where it is.
        CopyPath(out, source);
        return;
    }
    swprintf(cached, MAX_PATH, L"%ls%ls", folder_, name);

    FILETIME copyWritten;
    if (LastWriteTime(cached, copyWritten)) {
        // The copy is played; it is refreshed when the source is reachable and changed.
        FILETIME sourceWritten;
        if (LastWriteTime(source, sourceWritten) && CompareFileTime(&sourceWritten, &copyWritten) != 0)
            CopyToCache(source, cached);
        CopyPath(out, cached);
        return;
    }
    if (IsOnNetworkDrive(source) && CopyToCache(source, cached))
        CopyPath(out, cached);
    else
        CopyPath(out, source);
}

bool VideoCache::IsOnNetworkDrive(const wchar_t *source) const
{
    wchar_t root[MAX_PATH] = {};
    if (!volumePath_ || !volumePath_(source, root, MAX_PATH)) {
        // By hand: \\server\share\ for a share, the drive's "X:\" otherwise.
        const int wanted = source[0] == L'\\' ? 4 : 1;
        int seen = 0;
        size_t i = 0;
        for (; source[i] != L'\0' && i < MAX_PATH - 1; ++i) {
            root[i] = source[i];
            if (source[i] == L'\\' && ++seen == wanted) {
                ++i;
                break;
            }
        }
        root[i] = L'\0';
    }
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

bool VideoCache::CopyToCache(const wchar_t *source, const wchar_t *cached)
{
    const DWORD attributes = GetFileAttributesW(cached);
    const bool cleared = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (cleared)
        SetFileAttributesW(cached, attributes & ~FILE_ATTRIBUTE_READONLY);
    // CopyFileW keeps the source's last-write time, which the next Resolve compares.
    const bool copied = CopyFileW(source, cached, FALSE) != FALSE;
    if (cleared)
        SetFileAttributesW(cached, attributes);
    return copied;
}
