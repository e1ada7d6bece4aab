// Local copies of videos and playlists that lie on network drives, so that playback does
// not depend on the network, and the thread that removes copies nobody has read lately.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

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
    // The path that is to be played for source (a null source is the empty path).
    std::wstring Resolve(const wchar_t *source);
    // Puts into out the path that is to be played for source.
    void Resolve(const wchar_t *source, wchar_t (&out)[MAX_PATH]);
    // Stops and joins the cleanup thread, if one was started.
    void Stop();
    // The cleanup thread's body; its argument is the cache.
    static DWORD WINAPI Cleanup(void *cache);

    const wchar_t *Folder() const { return folder_; }

private:
    using VolumePathFunction = BOOL(WINAPI *)(LPCWSTR, LPWSTR, DWORD);

    bool IsOnNetworkDrive(const wchar_t *source) const;
    static bool CopyToCache(const wchar_t *source, const wchar_t *cached);

    VolumePathFunction volumePath_ = nullptr;
    Settings *settings_ = nullptr;
    UniqueHandle cleanupThread_;
    std::atomic<LONG> running_{0};
    wchar_t folder_[MAX_PATH] = {};
};
