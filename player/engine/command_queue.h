// The plumbing between the player object's methods and its two worker threads: command
// words, the queue that carries them and the reader/writer lock that guards what they
// share.
#pragma once

#include <windows.h>

#include <deque>

#include "handles.h"

// Command words are bit sets; one word may carry several commands.
enum : LONG {
    CMD_LOAD = 0x1,        // load the item's file into the renderer
    CMD_RENDERER = 0x2,    // build a new renderer for the item's style
    CMD_LAYOUT = 0x4,      // size and place the picture again
    CMD_VOLUME = 0x8,
    CMD_SEEK = 0x10,       // seek to the item's position
    CMD_RATE = 0x20,
    CMD_PREPARE = 0x40,    // open the item handed to PrepareNextItem ahead, hidden
    CMD_LOOPS = 0x80,      // reset the loop counter to the item's loops
    CMD_BOUNCE = 0x100,    // apply the bounce settings
    CMD_SINKS = 0x200,     // route input to the player window while OnInput sinks exist
    CMD_QUIT = 0x400,
    CMD_STOP = 0x800,      // stop and release the media graph
    CMD_PLAY = 0x1000,
    CMD_PAUSE = 0x2000,
};

// What a new renderer needs after it is built, and what a newly loaded file needs.
inline constexpr LONG CMD_RENDERER_ADDS = CMD_LOAD | CMD_LAYOUT | CMD_VOLUME | CMD_SEEK |
                                          CMD_RATE | CMD_LOOPS | CMD_BOUNCE | CMD_SINKS;
inline constexpr LONG CMD_LOAD_ADDS =
    CMD_LAYOUT | CMD_VOLUME | CMD_SEEK | CMD_RATE | CMD_LOOPS | CMD_BOUNCE;
static_assert(CMD_RENDERER_ADDS == 0x3bd && CMD_LOAD_ADDS == 0x1bc);

// Waits without time-out for one handle while still answering what other threads need from
// this one meanwhile: messages sent to its windows and, in a single-threaded apartment, the
// COM calls and releases marshalled to it. A thread that joins another one it shares windows
// or sinks with must wait this way. Answers as WaitForSingleObject does.
DWORD WaitAnswering(HANDLE handle);

// Take() answers this when nothing is queued.
inline constexpr LONG CMD_NONE = -1;

// A new renderer implies a load and everything after it; a load implies re-applying every
// setting of the picture and the graph.
LONG ExpandCommand(LONG word);

// First-in-first-out queue of command words. Any thread posts; one reader waits on
// WakeEvent() and then takes words until the queue answers CMD_NONE.
class CommandQueue {
public:
    CommandQueue();
    CommandQueue(const CommandQueue &) = delete;
    CommandQueue &operator=(const CommandQueue &) = delete;

    bool valid() const { return static_cast<bool>(event_); }
    // False when the word could not be queued (out of memory); nothing is queued then.
    // CMD_QUIT is never lost: without memory it is kept as a flag and taken first.
    bool Post(LONG word);
    LONG Take();
    // Auto-reset; signalled by Post, reset again when the last word has been taken.
    HANDLE WakeEvent() const { return event_.get(); }

private:
    CriticalSection lock_;
    std::deque<LONG> words_;
    bool quit_ = false;
    UniqueHandle event_;
};

// Reader/writer lock: any number of readers or one writer. Built from a mutex and a
// manual-reset event that is signalled while nobody reads; a writer takes both at once
// and keeps the mutex, so readers arriving meanwhile wait for it. The mutex is recursive,
// so the writing thread may also read (a sink called back on the playback thread may
// call GetItem while that thread writes).
class SharedLock {
public:
    SharedLock();
    SharedLock(const SharedLock &) = delete;
    SharedLock &operator=(const SharedLock &) = delete;

    bool valid() const { return mutex_ && noReaders_; }
    // answering: the wait answers sent messages and COM calls meanwhile (WaitAnswering).
    void ReadLock(bool answering = false);
    void ReadUnlock();
    void WriteLock();
    // WriteLock with a time-out; false when it ran out and nothing was taken.
    bool TryWriteLock(DWORD ms);
    void WriteUnlock();

private:
    UniqueHandle mutex_;
    UniqueHandle noReaders_;
    LONG readers_ = 0;
};

class ReadGuard {
public:
    explicit ReadGuard(SharedLock &lock, bool answering = false) : lock_(&lock)
    {
        lock_->ReadLock(answering);
    }
    ReadGuard(const ReadGuard &) = delete;
    ReadGuard &operator=(const ReadGuard &) = delete;
    ~ReadGuard() { Unlock(); }
    // Releases early; the destructor then does nothing.
    void Unlock()
    {
        if (lock_)
            lock_->ReadUnlock();
        lock_ = nullptr;
    }

private:
    SharedLock *lock_;
};

class WriteGuard {
public:
    explicit WriteGuard(SharedLock &lock) : lock_(&lock) { lock_->WriteLock(); }
    WriteGuard(const WriteGuard &) = delete;
    WriteGuard &operator=(const WriteGuard &) = delete;
    ~WriteGuard() { Unlock(); }
    void Unlock()
    {
        if (lock_)
            lock_->WriteUnlock();
        lock_ = nullptr;
    }

private:
    SharedLock *lock_;
};
