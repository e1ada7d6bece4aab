#include "cache_workers.h"

#include <utility>

#include "cache_files.h"

using namespace cache_files;

namespace {

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
