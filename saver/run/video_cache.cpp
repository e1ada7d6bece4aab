#include "video_cache.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <deque>
#include <mutex>
#include <set>
#include <utility>

#include "settings.h"

namespace {

constexpr LONGLONG kDay = 864000000000LL;  // FILETIME units per day
constexpr size_t kMaxQueuedCopies = 16;    // further requests wait for a later Resolve
// The copy looks at the stop flag once per chunk: 1 MB, less where a read of it takes
// longer than kChunkMs (a slow share), down to 64 KB.
constexpr DWORD kCopyChunk = 1 << 20;
constexpr DWORD kMinCopyChunk = 64 << 10;
constexpr ULONGLONG kChunkMs = 40;
// The copy is flushed to the disk every 16 MB: a copy faster than the disk (a share faster
// than it, or one on the same machine) would otherwise pile up gigabytes of unwritten data,
// and any flush of a file on that disk waits until they are written: the playlist's save
// as the run ends took a second or two longer here. Wine ignores FILE_FLAG_WRITE_THROUGH.
constexpr ULONGLONG kFlushBytes = 16 << 20;
constexpr size_t kMaxQueuedLookups = 16;   // further sources are looked at by a later Resolve
constexpr DWORD kStopWaitMs = 3000;        // how long Stop waits for the copy thread
// A look-up leaves nothing behind to clean up, so a stuck one is not waited for long.
constexpr DWORD kLookupStopWaitMs = 100;
// The longest name a copy gets: the file systems take 255 characters, and the temporary
// file beside it adds a dot, eight hex digits and ".part".
constexpr size_t kMaxName = 255 - 16;
// Put there by the installation so the folder is never empty (an empty one could be made a
// junction); the cleanup leaves it, also for an administrator whose files it might own.
constexpr wchar_t kKeeperName[] = L"ReadMe.txt";

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

// The running account's SID of one kind (TokenUser, or TokenOwner: the owner its new files
// get), as bytes; empty when the token cannot be read.
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

// A file that is itself, once: no directory, no reparse point (a link or junction to
// somewhere else), no second name elsewhere.
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

// Opens a name in the cache as itself: a reparse point is never followed.
UniqueHandle OpenEntry(const std::wstring &path, DWORD access)
{
    return UniqueHandle(CreateFileW(ForFileApi(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

enum class FolderState { kMissing, kPlain, kUnsafe };

// The cache folder, opened as itself and held without delete sharing, so that it can be
// neither replaced nor re-pointed while the run uses it. A reparse point in its place
// (another user's junction to their own files, say) is left alone. Windows reports one
// by the attributes of the name and of the handle; Wine, for a symbolic link, only by the
// name's. The trailing backslash is left off: with it, the name would be followed.
FolderState OpenFolder(const std::wstring &folder, UniqueHandle &handle)
{
    const std::wstring name = ForFileApi(folder.substr(0, folder.size() - 1));
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FolderState::kMissing;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return FolderState::kUnsafe;
    handle.reset(CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!handle || !GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        handle.reset();
        return FolderState::kUnsafe;
    }
    return FolderState::kPlain;
}

// Delete sharing too, so a look at the copy never keeps the copy thread from replacing it.
bool LastWriteTime(const std::wstring &path, FILETIME &written)
{
    UniqueHandle file(CreateFileW(ForFileApi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileTime(file.get(), nullptr, nullptr, &written);
}

// 64-bit FNV-1a of the user and the path folded to upper case, as 16 hex digits: paths
// that name the same file in another case share a copy, other paths and other users get
// their own (one user never plays, replaces or deletes another's copy).
std::wstring PathDigest(const std::wstring &user, const std::wstring &full)
{
    const std::wstring keyed = user + L"|" + full;
    std::wstring folded(keyed);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, keyed.c_str(), static_cast<int>(keyed.size()), folded.data(),
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

// The name a copy of one version of a source is made under: the copy's name, a dot, 8 hex
// digits of the source's last-write time and size, ".part". A copy that is broken off is
// kept under it and continued by the next copy of the same version: a video that takes
// longer to copy than a run lasts is copied across runs, and a run that ends never waits
// for gigabytes to be freed.
std::wstring PartialName(const std::wstring &cached, const FILETIME &written, LONGLONG size)
{
    ULONGLONG hash = 14695981039346656037ULL;
    for (ULONGLONG value : {ULONGLONG(AsInt64(written)), ULONGLONG(size)})
        for (int i = 0; i < 8; ++i)
            hash = (hash ^ ((value >> (8 * i)) & 0xff)) * 1099511628211ULL;
    wchar_t suffix[16];
    swprintf(suffix, 16, L".%08lx.part", static_cast<unsigned long>((hash ^ (hash >> 32)) & 0xffffffffu));
    return cached + suffix;
}

// Deletes a file through an open handle, emptied first, so that freeing gigabytes takes
// the time of this thread only: under Wine the deletion itself happens in the server, which
// every thread of the session waits on.
void EmptyAndDelete(HANDLE file)
{
    FILE_END_OF_FILE_INFO empty{};
    SetFileInformationByHandle(file, FileEndOfFileInfo, &empty, sizeof empty);
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
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

// Vista and later can break off a thread's read or open on a share that stopped answering.
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

// Starts a worker that holds its own reference to state, so a thread that Stop stopped
// waiting for never touches freed memory.
template <typename State>
HANDLE StartWorker(const std::shared_ptr<State> &state)
{
    auto *owner = new std::shared_ptr<State>(state);
    const HANDLE thread = CreateThread(nullptr, 0, &State::Run, owner, 0, nullptr);
    if (!thread)
        delete owner;
    return thread;
}

}  // namespace

// The queue of copies to make and the one thread that makes them.
struct VideoCache::Copier : std::enable_shared_from_this<Copier> {
    struct Job {
        std::wstring source, cached;  // both full paths
    };
    enum class CopyState { kMissing, kOwn, kForeign };
    using FileId = std::pair<DWORD, ULONGLONG>;  // volume serial number, file index

    std::mutex lock;
    std::condition_variable wake;
    std::deque<Job> jobs;
    std::set<FileId> madeHere;  // the copies this run put in place
    std::atomic<bool> stopping{false};
    std::vector<BYTE> user, owner;  // whose copies count as this run's, set before the thread starts
    UniqueHandle thread;            // started with the first copy

    static DWORD WINAPI Run(void *owner);
    void Queue(const std::wstring &source, const std::wstring &cached);
    void Cancel();
    // Whether cached holds a copy of this run's user (then its last-write time), is free,
    // or holds something else: another account's file, a link, a folder, a name that
    // cannot be opened. Only the first is ever played or replaced.
    CopyState Inspect(const std::wstring &cached, FILETIME &written);
    enum class CopyEnd { kWhole, kStopped, kReadFailed, kWriteFailed };
    bool Copy(const Job &job);
    CopyEnd CopyData(HANDLE in, HANDLE out);
    // Removes this user's partial copies of other versions of the source behind cached.
    void DropOtherPartials(const std::wstring &cached, const std::wstring &keep);
};

// The sources to look at and the one thread that looks at them: whether a source without a
// copy lies on a network drive, whether one with a copy changed since. Either queues the
// copy. A source that does not answer holds up only this thread, never the one that asked.
struct VideoCache::Lookups : std::enable_shared_from_this<Lookups> {
    struct Request {
        std::wstring source, cached;  // both full paths
        bool haveCopy = false;        // compare with copyWritten; otherwise test the drive
        FILETIME copyWritten{};
        bool done = false, changed = false;  // answered; the source's time differs from the copy's
    };

    std::mutex lock;
    std::condition_variable wake, answered;
    std::deque<std::shared_ptr<Request>> queue;
    std::set<std::wstring> outstanding;  // the copies whose source is queued or being looked at
    std::atomic<bool> stopping{false};
    VolumePathFunction volumePath = nullptr;
    std::shared_ptr<Copier> copier;
    UniqueHandle thread;  // started with the first look-up

    static DWORD WINAPI Run(void *owner);
    // The request, queued; null when the source is being looked at already, the queue is
    // full or no thread can look.
    std::shared_ptr<Request> Post(Request request);
    // Whether the request was answered within milliseconds.
    bool Await(Request &request, DWORD milliseconds);
    void LookUp(Request &request);
    void Cancel();
};

namespace {

bool IsOnNetworkDrive(BOOL(WINAPI *volumePath)(LPCWSTR, LPWSTR, DWORD), const std::wstring &source)
{
    std::wstring root(source.size() + 2, L'\0');
    if (volumePath && volumePath(source.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
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

}  // namespace

std::shared_ptr<VideoCache::Lookups::Request> VideoCache::Lookups::Post(Request request)
{
    auto queued = std::make_shared<Request>(std::move(request));
    std::lock_guard<std::mutex> hold(lock);
    if (stopping || queue.size() >= kMaxQueuedLookups || outstanding.count(queued->cached))
        return nullptr;
    if (!thread)
        thread.reset(StartWorker(shared_from_this()));
    if (!thread)
        return nullptr;
    outstanding.insert(queued->cached);
    queue.push_back(queued);
    wake.notify_one();
    return queued;
}

bool VideoCache::Lookups::Await(Request &request, DWORD milliseconds)
{
    std::unique_lock<std::mutex> hold(lock);
    answered.wait_for(hold, std::chrono::milliseconds(milliseconds), [&] { return request.done || stopping.load(); });
    return request.done;
}

void VideoCache::Lookups::LookUp(Request &request)
{
    if (request.haveCopy) {
        // An unreachable source leaves the copy as it is.
        FILETIME sourceWritten;
        request.changed = LastWriteTime(request.source, sourceWritten) &&
                          CompareFileTime(&sourceWritten, &request.copyWritten) != 0;
        if (request.changed)
            copier->Queue(request.source, request.cached);
    } else if (IsOnNetworkDrive(volumePath, request.source)) {
        copier->Queue(request.source, request.cached);
    }
}

DWORD WINAPI VideoCache::Lookups::Run(void *argument)
{
    std::unique_ptr<std::shared_ptr<Lookups>> owner(static_cast<std::shared_ptr<Lookups> *>(argument));
    Lookups &lookups = **owner;
    try {
        for (;;) {
            std::shared_ptr<Request> request;
            {
                std::unique_lock<std::mutex> hold(lookups.lock);
                lookups.wake.wait(hold, [&] { return lookups.stopping.load() || !lookups.queue.empty(); });
                if (lookups.stopping)
                    return 0;
                request = std::move(lookups.queue.front());
                lookups.queue.pop_front();
            }
            // The copy is queued before the answer is given, as if it had been asked on the spot.
            lookups.LookUp(*request);
            {
                std::lock_guard<std::mutex> hold(lookups.lock);
                request->done = true;
                lookups.outstanding.erase(request->cached);
            }
            lookups.answered.notify_all();
        }
    } catch (...) {
        // Out of memory: no more look-ups this run; the sources are played.
    }
    return 0;
}

void VideoCache::Lookups::Cancel()
{
    HANDLE worker;
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
        queue.clear();
        worker = thread.get();  // no thread starts once stopping is set
    }
    wake.notify_all();
    answered.notify_all();
    BreakOffIo(worker);
}

VideoCache::Copier::CopyState VideoCache::Copier::Inspect(const std::wstring &cached, FILETIME &lastWrite)
{
    const UniqueHandle file = OpenEntry(cached, GENERIC_READ | READ_CONTROL);
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CopyState::kMissing
                                                                              : CopyState::kForeign;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsPlainFile(file.get(), info))
        return CopyState::kForeign;
    bool wroteIt;
    {
        std::lock_guard<std::mutex> hold(lock);
        wroteIt = madeHere.count({info.dwVolumeSerialNumber,
                                 (ULONGLONG(info.nFileIndexHigh) << 32) | info.nFileIndexLow}) != 0;
    }
    // The run's own writes count even where the file system keeps no owner.
    if (!wroteIt && !OwnedBy(file.get(), user, owner))
        return CopyState::kForeign;
    lastWrite = info.ftLastWriteTime;
    return CopyState::kOwn;
}

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
            }
            copier.Copy(job);
        }
    } catch (...) {
        // Out of memory: no more copies this run; the sources are played.
    }
    return 0;
}

// Copies into a partial file beside the copy, from where an earlier copy of the same
// version of the source stopped, and renames it into place, so the copy's name only ever
// holds a whole file with the source's last-write time.
bool VideoCache::Copier::Copy(const Job &job)
{
    // Read sharing only: a source that someone is writing is copied another time.
    UniqueHandle in(CreateFileW(ForFileApi(job.source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILETIME written;
    if (!in || !GetFileTime(in.get(), nullptr, nullptr, &written))
        return false;
    FILETIME copyWritten;
    switch (Inspect(job.cached, copyWritten)) {
    case CopyState::kForeign:
        return false;  // not this run's to replace
    case CopyState::kOwn:
        if (CompareFileTime(&written, &copyWritten) == 0)
            return true;
        break;
    case CopyState::kMissing:
        break;
    }

    LARGE_INTEGER size;
    if (!GetFileSizeEx(in.get(), &size))
        return false;
    const std::wstring temp = PartialName(job.cached, written, size.QuadPart);
    DropOtherPartials(job.cached, temp);

    // Opened as itself, never through a link, and written only when it is new or this
    // user's own plain file: whatever another user put under the name is left alone.
    const auto open = [&](DWORD disposition) {
        return UniqueHandle(CreateFileW(ForFileApi(temp).c_str(),
                                        GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | DELETE, 0, nullptr,
                                        disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
    };
    UniqueHandle out = open(CREATE_NEW);
    const bool existed = !out && GetLastError() == ERROR_FILE_EXISTS;
    if (existed)
        out = open(OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!out || !IsPlainFile(out.get(), info) || (existed && !OwnedBy(out.get(), user, owner)))
        return false;
    // Continued where an earlier copy of this version stopped.
    LARGE_INTEGER at{.QuadPart = (LONGLONG(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
    const bool longer = at.QuadPart > size.QuadPart;  // of no version of this size: start over
    if (longer)
        at.QuadPart = 0;
    if (!SetFilePointerEx(in.get(), at, nullptr, FILE_BEGIN) || !SetFilePointerEx(out.get(), at, nullptr, FILE_BEGIN) ||
        (longer && !SetEndOfFile(out.get())))
        return false;

    const CopyEnd end = CopyData(in.get(), out.get());
    const bool whole = end == CopyEnd::kWhole && SetFileTime(out.get(), nullptr, nullptr, &written) &&
                       GetFileInformationByHandle(out.get(), &info);
    // Kept for the next copy when the run ends or the share goes away; removed when it
    // cannot be written, a full disk among the reasons.
    if (end == CopyEnd::kWriteFailed)
        EmptyAndDelete(out.get());
    out.reset();
    in.reset();
    if (!whole || stopping || !ReplaceWith(temp, job.cached))
        return false;
    std::lock_guard<std::mutex> hold(lock);
    madeHere.insert({info.dwVolumeSerialNumber, (ULONGLONG(info.nFileIndexHigh) << 32) | info.nFileIndexLow});
    return true;
}

void VideoCache::Copier::DropOtherPartials(const std::wstring &cached, const std::wstring &keep)
{
    const std::wstring folder = cached.substr(0, cached.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(ForFileApi(cached + L".*.part").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring path = folder + found.cFileName;
        if (_wcsicmp(path.c_str(), keep.c_str()) == 0 || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const UniqueHandle file = OpenEntry(path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_WRITE_DATA);
        BY_HANDLE_FILE_INFORMATION info;
        if (file && IsPlainFile(file.get(), info) && OwnedBy(file.get(), user, owner))
            EmptyAndDelete(file.get());
    } while (!stopping && FindNextFileW(listing, &found));
    FindClose(listing);
}

// A loop of its own rather than CopyFileExW: Wine's ignores both the cancel flag and the
// progress routine, and a copy of gigabytes must stop when the run ends.
VideoCache::Copier::CopyEnd VideoCache::Copier::CopyData(HANDLE in, HANDLE out)
{
    VirtualBuffer buffer(kCopyChunk);
    if (!buffer.data)
        return CopyEnd::kReadFailed;  // the partial copy stays for another try
    DWORD chunk = kCopyChunk;
    ULONGLONG unflushed = 0;
    for (;;) {
        if (stopping)
            return CopyEnd::kStopped;
        if (unflushed >= kFlushBytes) {
            if (!FlushFileBuffers(out))
                return stopping ? CopyEnd::kStopped : CopyEnd::kWriteFailed;
            unflushed = 0;
        }
        DWORD got = 0, put = 0;
        const ULONGLONG reading = GetTickCount64();
        if (!ReadFile(in, buffer.data, chunk, &got, nullptr))
            return stopping ? CopyEnd::kStopped : CopyEnd::kReadFailed;
        const ULONGLONG took = GetTickCount64() - reading;
        if (got == 0)
            return CopyEnd::kWhole;
        // Stop may break off the write too; what it wrote is the source's, where it belongs.
        if (!WriteFile(out, buffer.data, got, &put, nullptr) || put != got)
            return stopping ? CopyEnd::kStopped : CopyEnd::kWriteFailed;
        unflushed += got;
        if (took > kChunkMs && chunk > kMinCopyChunk)
            chunk /= 2;
        else if (took < kChunkMs / 4 && chunk < kCopyChunk)
            chunk *= 2;
    }
}

void VideoCache::Start(const wchar_t *installFolder, Settings &settings)
{
    Stop();
    settings_ = &settings;
    running_ = 1;
    copier_ = std::make_shared<Copier>();
    lookups_ = std::make_shared<Lookups>();
    lookups_->copier = copier_;

    // Looked up by name because systems older than Windows 2000 lack it; a 64-bit build
    // always finds it. Where it is missing or fails, IsOnNetworkDrive finds the root by hand.
    if (HMODULE kernel = GetModuleHandleW(L"kernel32"))
        lookups_->volumePath = reinterpret_cast<VolumePathFunction>(
            reinterpret_cast<void *>(GetProcAddress(kernel, "GetVolumePathNameW")));

    std::wstring folder = installFolder ? installFolder : L"";
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    folder_ = FullPath(folder + L"Cache\\");

    user_ = TokenSid(TokenUser);
    owner_ = TokenSid(TokenOwner);
    userText_ = SidText(user_);
    copier_->user = user_;
    copier_->owner = owner_;

    // A folder that is not itself (a junction or link in its place) is left alone: no
    // copies, no cleanup, every file played from where it is.
    if (folder_.empty() || OpenFolder(folder_, folderHandle_) == FolderState::kUnsafe) {
        folder_.clear();
        return;
    }

    const LONGLONG now = Now();
    const LONGLONG days = DaysSince(settings.cacheLastCleanup, now);
    if (days < 0 || days < static_cast<LONGLONG>(settings.cacheCleanupInterval))
        return;
    cleanupThread_.reset(CreateThread(nullptr, 0, &VideoCache::Cleanup, this, 0, nullptr));
    if (cleanupThread_)
        settings.cacheLastCleanup = now;
}

void VideoCache::Cancel()
{
    if (lookups_)
        lookups_->Cancel();
    if (copier_)
        copier_->Cancel();
}

void VideoCache::Stop()
{
    StopWorkers();
    if (!cleanupThread_) {
        folderHandle_.reset();
        return;
    }
    running_.fetch_sub(1);
    WaitForSingleObject(cleanupThread_.get(), INFINITE);
    cleanupThread_.reset();
    folderHandle_.reset();
}

void VideoCache::StopWorkers()
{
    Cancel();
    // The workers' states stay, stopped: a Resolve under way on another thread may still use
    // them. Each thread is waited for once; past its limit it is left to the end of the
    // process, and it owns its state. The copy thread gets the longer limit: it closes its
    // partial file (or removes one it could not write) before it ends.
    const auto take = [](auto &state) {
        std::lock_guard<std::mutex> hold(state.lock);  // no thread starts once stopping is set
        return std::move(state.thread);
    };
    const ULONGLONG start = GetTickCount64();
    if (lookups_)
        if (const UniqueHandle thread = take(*lookups_))
            WaitForSingleObject(thread.get(), kLookupStopWaitMs);
    if (copier_)
        if (const UniqueHandle thread = take(*copier_)) {
            const ULONGLONG spent = GetTickCount64() - start;
            WaitForSingleObject(thread.get(), spent < kStopWaitMs ? static_cast<DWORD>(kStopWaitMs - spent) : 0);
        }
}

DWORD WINAPI VideoCache::Cleanup(void *argument)
{
    auto *cache = static_cast<VideoCache *>(argument);
    const LONGLONG now = Now();
    const LONGLONG expiration = cache->settings_->cacheExpirationPeriod;

    // Old copies named by the file name alone, copies named with their source's digest
    // and partial files of an interrupted process all age out alike, as long as they are
    // this user's own plain files.
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(ForFileApi(cache->folder_ + L"*.*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    // Running is looked at once per entry, so Stop waits for one entry at most.
    for (BOOL more = TRUE; more && cache->running_.load() != 0; more = FindNextFileW(listing, &found)) {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            _wcsicmp(found.cFileName, kKeeperName) == 0)
            continue;
        const LONGLONG accessed = AsInt64(found.ftLastAccessTime);
        if (accessed == 0)
            continue;
        const LONGLONG age = DaysSince(accessed, now);
        if (age < 0 || age < expiration)
            continue;
        cache->DeleteIfOwnCopy(cache->folder_ + found.cFileName);
    }
    FindClose(listing);
    return 0;
}

// Checked and deleted through one handle, so the file checked is the file deleted.
void VideoCache::DeleteIfOwnCopy(const std::wstring &path) const
{
    const UniqueHandle file = OpenEntry(path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !IsPlainFile(file.get(), info) || !OwnedBy(file.get(), user_, owner_))
        return;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};  // times of 0 stay as they are
        basic.FileAttributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
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

    Lookups::Request request{full, cached};
    switch (copier_ ? copier_->Inspect(cached, request.copyWritten) : Copier::CopyState::kForeign) {
    case Copier::CopyState::kOwn: {
        // The copy is played unless the source answers in time that it changed; then the
        // source is played while the copy is refreshed.
        request.haveCopy = true;
        const std::shared_ptr<Lookups::Request> asked = lookups_->Post(std::move(request));
        return asked && lookups_->Await(*asked, kLookupWaitMs) && asked->changed ? source : cached;
    }
    case Copier::CopyState::kForeign:
        return source;  // somebody else's file under this user's name: neither played nor replaced
    case Copier::CopyState::kMissing:
        break;
    }
    // Copied if it lies on a network drive; played from where it is until then.
    lookups_->Post(std::move(request));
    return source;
}

// The source's file name, cut to fit if it must, a dash and the digest of the whole path,
// then the extension, which the media framework goes by: N:\a\clip.avi and N:\b\clip.avi
// get copies of their own. The whole path stays below MAX_PATH: the player is handed it
// as it is, and the media framework's file source opens no longer path (nor is it known to
// take the long form), so a copy that cannot be named that short is not made at all.
std::wstring VideoCache::CopyPathFor(const std::wstring &fullSource) const
{
    if (folder_.size() >= MAX_PATH - 1)
        return {};
    const size_t maxName = std::min(kMaxName, MAX_PATH - 1 - folder_.size());
    const size_t separator = fullSource.find_last_of(L"\\/");
    const std::wstring name = separator == std::wstring::npos ? fullSource : fullSource.substr(separator + 1);
    if (!IsPlainName(name))
        return {};
    const size_t dot = name.rfind(L'.');
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    std::wstring stem = name.substr(0, name.size() - extension.size());
    const std::wstring tag = L"-" + PathDigest(userText_, fullSource);
    if (extension.size() + tag.size() > maxName)
        return {};
    if (stem.size() > maxName - extension.size() - tag.size()) {
        stem.resize(maxName - extension.size() - tag.size());
        if (!stem.empty() && IS_HIGH_SURROGATE(stem.back()))
            stem.pop_back();
    }
    const std::wstring cached = folder_ + stem + tag + extension;
    // Whatever the name holds, the copy's full path must be the cache folder and the name.
    if (FullPath(cached) != cached)
        return {};
    return cached;
}

void VideoCache::Copier::Queue(const std::wstring &source, const std::wstring &cached)
{
    std::lock_guard<std::mutex> hold(lock);
    // The copy being made may be asked for again: the source may have changed since that
    // copy read it, and if not, the job finds the copy current and ends at once.
    if (stopping || jobs.size() >= kMaxQueuedCopies)
        return;
    for (const Job &job : jobs)
        if (job.cached == cached)
            return;
    if (!thread)
        thread.reset(StartWorker(shared_from_this()));
    if (!thread)
        return;
    jobs.push_back({source, cached});
    wake.notify_one();
}

void VideoCache::Copier::Cancel()
{
    HANDLE worker;
    {
        std::lock_guard<std::mutex> hold(lock);
        stopping = true;
        jobs.clear();
        worker = thread.get();  // no thread starts once stopping is set
    }
    wake.notify_all();
    BreakOffIo(worker);
}
