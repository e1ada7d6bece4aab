// Local copies of videos and playlists that lie on network drives, so that playback does
// not depend on the network, the thread that looks at the sources, the thread that makes
// those copies in the background, and the thread that removes copies nobody has read lately.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"

struct Settings;

// How long Resolve waits for a source to answer whether it changed since its copy was made:
// a share that answers in time is treated as if it were asked on the spot.
constexpr DWORD kLookupWaitMs = 150;

class VideoCache {
public:
    VideoCache() = default;
    VideoCache(const VideoCache &) = delete;
    VideoCache &operator=(const VideoCache &) = delete;
    ~VideoCache() { Stop(); }

    // Fills the record and starts the cleanup thread when one is due; the time of that
    // start goes into the settings, which the run saves with the always-saved values.
    void Start(const wchar_t *installFolder, Settings &settings);
    // The path that is to be played for source (a null source is the empty path). Touches
    // no source on the calling thread, which may be the one that answers input: the look-up
    // thread finds whether the source is on a network drive or changed and queues its copy.
    // An own copy is played unless its source answers within kLookupWaitMs that it changed
    // (then the source is played while the copy is refreshed); without a copy the source
    // is played. A source whose look-up is still outstanding is not waited for again.
    std::wstring Resolve(const wchar_t *source);
    // How long Resolve waits for a source with a copy to answer whether it changed
    // (kLookupWaitMs unless set; a test on a busy machine gives its share longer).
    void SetLookupWait(DWORD milliseconds) { lookupWaitMs_ = milliseconds; }
    // Breaks off the look-ups and the copy in progress without waiting for them, so that
    // they stop while the run ends; Stop waits for them. Safe from any thread.
    void Cancel();
    // Cancel, then waits for the copy thread (its partial file closed and kept for the next
    // run) and the look-up thread, and stops and joins the cleanup thread. Returns within a
    // few seconds even when either thread is stuck in the system; it is then left to the
    // process's end. Resolve goes on answering afterwards, without looking or copying.
    void Stop();
    // The cleanup thread's body; its argument is the cache.
    static DWORD WINAPI Cleanup(void *cache);

    const wchar_t *Folder() const { return folder_.c_str(); }

private:
    using VolumePathFunction = BOOL(WINAPI *)(LPCWSTR, LPWSTR, DWORD);
    struct Copier;
    struct Lookups;

    // The file directly in the cache folder that holds this user's copy of the full source
    // path, or empty when no such file can be named within the classic path limit.
    std::wstring CopyPathFor(const std::wstring &fullSource) const;
    // Whether the file at path is a copy this run may play, replace or delete: a plain file
    // (no reparse point, no other links) that the running user owns or this run wrote.
    bool IsOwnCopy(HANDLE file) const;
    void DeleteIfOwnCopy(const std::wstring &path) const;

    void StopWorkers();

    Settings *settings_ = nullptr;
    UniqueHandle cleanupThread_;
    std::atomic<LONG> running_{0};
    DWORD lookupWaitMs_ = kLookupWaitMs;
    std::wstring folder_;
    // Held open for the run without delete sharing, so the folder checked at Start is the
    // one used until Stop; null when it is missing or is a reparse point (no cache then).
    UniqueHandle folderHandle_;
    // The running user's SID and the owner its new files get (the Administrators group
    // for an elevated administrator).
    std::vector<BYTE> user_, owner_;
    std::wstring userText_;  // the user's SID as text, part of every copy's name
    // Each shared with its thread, which keeps it alive should Stop give up waiting.
    std::shared_ptr<Copier> copier_;
    std::shared_ptr<Lookups> lookups_;
};
