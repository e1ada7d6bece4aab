#include "video_cache.h"

#include <condition_variable>
#include <cwchar>
#include <deque>
#include <mutex>

#include "settings.h"

namespace {

constexpr LONGLONG kDay = 864000000000LL;  // FILETIME units per day
constexpr size_t kMaxQueuedCopies = 16;    // further requests wait for a later Resolve
constexpr DWORD kCopyChunk = 1 << 20;      // the copy looks at the stop flag once per chunk
constexpr DWORD kStopWaitMs = 3000;        // how long Stop waits for the copy thread
// The longest name a copy gets: the file systems take 255 characters, and the temporary
// file beside it adds a dot, a process number and ".part".
constexpr size_t kMaxName = 255 - 16;

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

// Full paths longer than the classic limit reach the file functions in their long form.
std::wstring ForFileApi(const std::wstring &full)
{
    if (full.size() < MAX_PATH || full.starts_with(L"\\\\?\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Delete sharing too, so a look at the copy never keeps the copy thread from replacing it.
bool LastWriteTime(const std::wstring &path, FILETIME &written)
{
    UniqueHandle file(CreateFileW(ForFileApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileTime(file.get(), nullptr, nullptr, &written);
}

// 64-bit FNV-1a of the path folded to upper case, as 16 hex digits: paths that name the
// same file in another case share a copy, other paths get their own.
std::wstring PathDigest(const std::wstring &full)
{
    std::wstring folded(full);
    if (!full.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(full.size()), folded.data(),
                     static_cast<int>(folded.size()));
    ULONGLONG hash = 14695981039346656037ULL;
    for (wchar_t unit : folded) {
        hash = (hash ^ (unit & 0xff)) * 1099511628211ULL;
        hash = (hash ^ (unit >> 8)) * 1099511628211ULL;
    }
    wchar_t text[17];
    swprintf(text, 17, L"%016llx", hash);
    return text;
}

// A name that the file system stores as it is, so that the copy stays in the folder it is
// made in: no separators, stream or device syntax, wildcards, or trailing dots or spaces.
bool IsPlainName(const std::wstring &name)
{
    if (name.empty() || name == L"." || name == L".." || name.back() == L'.' || name.back() == L' ')
        return false;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"<>:\"/\\|?*", c))
            return false;
    return true;
}

bool ReplaceWith(const std::wstring &temp, const std::wstring &cached)
{
    const DWORD attributes = GetFileAttributesW(ForFileApi(cached).c_str());
    const bool cleared = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (cleared)
        SetFileAttributesW(ForFileApi(cached).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    const bool moved =
        MoveFileExW(ForFileApi(temp).c_str(), ForFileApi(cached).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (cleared)
        SetFileAttributesW(ForFileApi(cached).c_str(), attributes);
    return moved;
}

struct VirtualBuffer {
    explicit VirtualBuffer(SIZE_T size) : data(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    VirtualBuffer(const VirtualBuffer &) = delete;
    VirtualBuffer &operator=(const VirtualBuffer &) = delete;
    ~VirtualBuffer()
    {
        if (data)
            VirtualFree(data, 0, MEM_RELEASE);
    }
    void *data;
};

}  // namespace

// The queue of copies to make and the one thread that makes them. The thread holds its own
// reference, so a thread that Stop stopped waiting for never touches freed memory.
struct VideoCache::Copier {
    struct Job {
        std::wstring source, cached;  // both full paths
    };

    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::wstring busy;  // the copy being made
    std::atomic<bool> stopping{false};

    static DWORD WINAPI Run(void *owner);
    bool Copy(const Job &job);
    bool CopyData(HANDLE in, HANDLE out);
};

DWORD WINAPI VideoCache::Copier::Run(void *argument)
{
    std::unique_ptr<std::shared_ptr<Copier>> owner(static_cast<std::shared_ptr<Copier> *>(argument));
    Copier &copier = **owner;
    try {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> hold(copier.lock);
                copier.wake.wait(hold, [&] { return copier.stopping.load() || !copier.jobs.empty(); });
                if (copier.stopping)
                    return 0;
                job = std::move(copier.jobs.front());
                copier.jobs.pop_front();
                copier.busy = job.cached;
            }
            copier.Copy(job);
            std::lock_guard<std::mutex> hold(copier.lock);
            copier.busy.clear();
        }
    } catch (...) {
        // Out of memory: no more copies this run; the sources are played.
    }
    return 0;
}

// Copies into a temporary file beside the copy and renames it into place, so the copy's
// name only ever holds a whole file with the source's last-write time.
bool VideoCache::Copier::Copy(const Job &job)
{
    // Read sharing only: a source that someone is writing is copied another time.
    UniqueHandle in(CreateFileW(ForFileApi(job.source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILETIME written;
    if (!in || !GetFileTime(in.get(), nullptr, nullptr, &written))
        return false;
    FILETIME copyWritten;
    if (LastWriteTime(job.cached, copyWritten) && CompareFileTime(&written, &copyWritten) == 0)
        return true;

    const std::wstring temp = job.cached + L"." + std::to_wstring(GetCurrentProcessId()) + L".part";
    bool done;
    {
        UniqueHandle out(CreateFileW(ForFileApi(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!out)
            return false;
        done = CopyData(in.get(), out.get()) && SetFileTime(out.get(), nullptr, nullptr, &written);
    }
    in.reset();
    done = done && !stopping && ReplaceWith(temp, job.cached);
    if (!done)
        DeleteFileW(ForFileApi(temp).c_str());
    return done;
}

// A loop of its own rather than CopyFileExW: Wine's ignores both the cancel flag and the
// progress routine, and a copy of gigabytes must stop when the run ends.
bool VideoCache::Copier::CopyData(HANDLE in, HANDLE out)
{
    VirtualBuffer buffer(kCopyChunk);
    if (!buffer.data)
        return false;
    for (;;) {
        if (stopping)
            return false;
        DWORD got = 0, put = 0;
        if (!ReadFile(in, buffer.data, kCopyChunk, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteFile(out, buffer.data, got, &put, nullptr) || put != got)
            return false;
    }
}

void VideoCache::Start(const wchar_t *installFolder, Settings &settings)
{
    Stop();
    settings_ = &settings;
    running_ = 1;
    copier_ = std::make_shared<Copier>();

    // Looked up by name because systems older than Windows 2000 lack it; a 64-bit build
    // always finds it. Where it is missing or fails, IsOnNetworkDrive finds the root by hand.
    if (HMODULE kernel = GetModuleHandleW(L"kernel32"))
        volumePath_ = reinterpret_cast<VolumePathFunction>(
            reinterpret_cast<void *>(GetProcAddress(kernel, "GetVolumePathNameW")));

    std::wstring folder = installFolder ? installFolder : L"";
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    folder_ = FullPath(folder + L"Cache\\");

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
    StopCopier();
    if (!cleanupThread_)
        return;
    running_.fetch_sub(1);
    WaitForSingleObject(cleanupThread_.get(), INFINITE);
    cleanupThread_.reset();
}

void VideoCache::StopCopier()
{
    if (!copier_)
        return;
    {
        std::lock_guard<std::mutex> hold(copier_->lock);
        copier_->stopping = true;
        copier_->jobs.clear();
    }
    copier_->wake.notify_all();
    if (copyThread_) {
        // A read from a share that stopped answering can block for long; Vista and later
        // can break it off.
        using CancelFunction = BOOL(WINAPI *)(HANDLE);
        if (HMODULE kernel = GetModuleHandleW(L"kernel32"))
            if (auto cancel = reinterpret_cast<CancelFunction>(
                    reinterpret_cast<void *>(GetProcAddress(kernel, "CancelSynchronousIo"))))
                cancel(copyThread_.get());
        // Past the limit the thread is left to the end of the process; it owns its state.
        WaitForSingleObject(copyThread_.get(), kStopWaitMs);
        copyThread_.reset();
    }
    copier_.reset();
}

DWORD WINAPI VideoCache::Cleanup(void *argument)
{
    auto *cache = static_cast<VideoCache *>(argument);
    const LONGLONG now = Now();
    const LONGLONG expiration = cache->settings_->cacheExpirationPeriod;

    // Old copies named by the file name alone, copies named with their source's digest
    // and partial files of an interrupted process all age out alike.
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(ForFileApi(cache->folder_ + L"*.*").c_str(), &found);
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
        const std::wstring path = ForFileApi(cache->folder_ + found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        DeleteFileW(path.c_str());
    }
    FindClose(listing);
    return 0;
}

std::wstring VideoCache::Resolve(const wchar_t *source)
{
    if (!source)
        return {};
    if (!settings_ || settings_->noCache || folder_.empty())
        return source;
    const std::wstring full = FullPath(source);
    const std::wstring cached = full.empty() ? std::wstring() : CopyPathFor(full);
    if (cached.empty())
        return source;  // no copy can be named for it inside the cache folder

    FILETIME copyWritten;
    if (LastWriteTime(cached, copyWritten)) {
        // The copy is played unless the source is reachable and changed; then the source
        // is played while the copy is refreshed.
        FILETIME sourceWritten;
        if (!LastWriteTime(full, sourceWritten) || CompareFileTime(&sourceWritten, &copyWritten) == 0)
            return cached;
        QueueCopy(full, cached);
        return source;
    }
    if (IsOnNetworkDrive(full))
        QueueCopy(full, cached);
    return source;
}

// The source's file name, cut to fit if it must, a dash and the digest of the whole path,
// then the extension, which the media framework goes by: N:\a\clip.avi and N:\b\clip.avi
// get copies of their own.
std::wstring VideoCache::CopyPathFor(const std::wstring &fullSource) const
{
    const size_t separator = fullSource.find_last_of(L"\\/");
    const std::wstring name = separator == std::wstring::npos ? fullSource : fullSource.substr(separator + 1);
    if (!IsPlainName(name))
        return {};
    const size_t dot = name.rfind(L'.');
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    std::wstring stem = name.substr(0, name.size() - extension.size());
    const std::wstring tag = L"-" + PathDigest(fullSource);
    if (extension.size() + tag.size() > kMaxName)
        return {};
    if (stem.size() > kMaxName - extension.size() - tag.size()) {
        stem.resize(kMaxName - extension.size() - tag.size());
        if (!stem.empty() && IS_HIGH_SURROGATE(stem.back()))
            stem.pop_back();
    }
    const std::wstring cached = folder_ + stem + tag + extension;
    // Whatever the name holds, the copy's full path must be the cache folder and the name.
    if (FullPath(cached) != cached)
        return {};
    return cached;
}

bool VideoCache::IsOnNetworkDrive(const std::wstring &source) const
{
    std::wstring root(source.size() + 2, L'\0');
    if (volumePath_ && volumePath_(source.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        root.resize(wcslen(root.c_str()));
    } else {
        // By hand: \\server\share\ for a share, the drive's "X:\" otherwise.
        const int wanted = source[0] == L'\\' ? 4 : 1;
        int seen = 0;
        size_t i = 0;
        while (i < source.size() && !(source[i] == L'\\' && ++seen == wanted))
            ++i;
        root = source.substr(0, i + 1);
    }
    return GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

void VideoCache::QueueCopy(const std::wstring &source, const std::wstring &cached)
{
    if (!copier_)
        return;
    std::lock_guard<std::mutex> hold(copier_->lock);
    if (copier_->stopping || copier_->jobs.size() >= kMaxQueuedCopies || copier_->busy == cached)
        return;
    for (const Copier::Job &job : copier_->jobs)
        if (job.cached == cached)
            return;
    if (!copyThread_) {
        auto *owner = new std::shared_ptr<Copier>(copier_);
        copyThread_.reset(CreateThread(nullptr, 0, &Copier::Run, owner, 0, nullptr));
        if (!copyThread_) {
            delete owner;
            return;
        }
    }
    copier_->jobs.push_back({source, cached});
    copier_->wake.notify_one();
}
