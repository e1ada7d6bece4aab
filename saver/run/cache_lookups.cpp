#include "cache_workers.h"

#include <chrono>

#include "cache_files.h"

using namespace cache_files;

namespace {

constexpr size_t kMaxQueuedLookups = 16;   // further sources are looked at by a later Resolve

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
