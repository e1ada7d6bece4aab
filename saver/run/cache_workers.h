// The video cache's two workers: the thread that looks at sources and the thread that
// copies them. Private to the cache; each is shared with its thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

#include "video_cache.h"

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
