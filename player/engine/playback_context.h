// What the playback thread's files share: the thread's own copy of the item and the
// renderer lock taken as writer there.
#pragma once

#include <windows.h>

#include <string>

#include "player_object.h"

// The playback thread's own copy of the item; the renderer reads it at every layout and
// load, so it lives at one address for the thread's lifetime.
struct Framewheel::PlaybackContext {
    PlaybackItem item = DefaultPlaybackItem();
    std::wstring fileName;
    UniqueWindow window;
    UniqueHandle timerThread;
    LONG loopCounter = 0;

    PlaybackContext() { item.fileName = const_cast<wchar_t *>(fileName.c_str()); }
};

// The renderer lock as writer, taken on the playback thread. A reader (the bounce timer's
// Step, GetItem's position) may be inside a video window call that sends a message to a
// window of this thread and waits for it; so while waiting, this thread answers sent
// messages instead of sleeping through them.
class RendererWriteGuard {
public:
    explicit RendererWriteGuard(SharedLock &lock) : lock_(lock)
    {
        while (!lock_.TryWriteLock(5)) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    RendererWriteGuard(const RendererWriteGuard &) = delete;
    RendererWriteGuard &operator=(const RendererWriteGuard &) = delete;
    ~RendererWriteGuard() { lock_.WriteUnlock(); }

private:
    SharedLock &lock_;
};
