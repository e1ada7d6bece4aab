// Local copies of videos and playlists that lie on network drives, so that playback does
// not depend on the network, the thread that makes those copies in the background, and the
// thread that removes copies nobody has read lately.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "handles.h"

struct Settings;

class VideoCache {
public:
    VideoCache() = default;
    VideoCache(const VideoCache &) = delete;
    VideoCache &operator=(const VideoCache &) = delete;
    ~VideoCache() { Stop(); }

    // Fills the record and starts the cleanup thread when one is due; the time of that
    // start goes into the settings, which the run saves with the always-saved values.
    void Start(const wchar_t *installFolder, Settings &settings);
    // The path that is to be played for source (a null source is the empty path). Never
    // copies on the calling thread: a missing or outdated copy is queued for the copy
    // thread and the source is played meanwhile.
    std::wstring Resolve(const wchar_t *source);
    // Cancels the copy in progress (its partial file removed), drops the queue, and stops
    // and joins the cleanup thread. Returns within a few seconds even when the copy
    // thread is stuck in the system; that thread is then left to the process's end.
    void Stop();
    // The cleanup thread's body; its argument is the cache.
    static DWORD WINAPI Cleanup(void *cache);

    const wchar_t *Folder() const { return folder_.c_str(); }

private:
    using VolumePathFunction = BOOL(WINAPI *)(LPCWSTR, LPWSTR, DWORD);
    struct Copier;

    // The file directly in the cache folder that holds this user's copy of the full source
    // path, or empty when no such file can be named within the classic path limit.
    std::wstring CopyPathFor(const std::wstring &fullSource) const;
    // Whether the file at path is a copy this run may play, replace or delete: a plain file
    // (no reparse point, no other links) that the running user owns or this run wrote.
    bool IsOwnCopy(HANDLE file) const;
    void DeleteIfOwnCopy(const std::wstring &path) const;

    bool IsOnNetworkDrive(const std::wstring &source) const;
    void QueueCopy(const std::wstring &source, const std::wstring &cached);
    void StopCopier();

    VolumePathFunction volumePath_ = nullptr;
    Settings *settings_ = nullptr;
    UniqueHandle cleanupThread_;
    std::atomic<LONG> running_{0};
    std::wstring folder_;
    // Held open for the run without delete sharing, so the folder checked at Start is the
    // one used until Stop; null when it is missing or is a reparse point (no cache then).
    UniqueHandle folderHandle_;
    // The running user's SID and the owner its new files get (the Administrators group
    // for an elevated administrator).
    std::vector<BYTE> user_, owner_;
    std::wstring userText_;  // the user's SID as text, part of every copy's name
    // Shared with the copy thread, which keeps it alive should Stop give up waiting.
    std::shared_ptr<Copier> copier_;
    UniqueHandle copyThread_;
};
