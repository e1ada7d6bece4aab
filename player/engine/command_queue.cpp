#include "command_queue.h"

LONG ExpandCommand(LONG word)
{
    if (word & CMD_RENDERER)
        return word | CMD_RENDERER_ADDS;
    if (word & CMD_LOAD)
        return word | CMD_LOAD_ADDS;
    return word;
}

CommandQueue::CommandQueue() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void CommandQueue::Post(LONG word)
{
    CriticalSectionLock guard(lock_);
    words_.push_back(word);
    SetEvent(event_.get());
}

LONG CommandQueue::Take()
{
    CriticalSectionLock guard(lock_);
    if (words_.empty())
        return CMD_NONE;
    const LONG word = words_.front();
    words_.pop_front();
    // The reader waits again only after the queue ran dry; a stale signal would wake it
    // for nothing.
    if (words_.empty())
        ResetEvent(event_.get());
    return word;
}

SharedLock::SharedLock()
    : mutex_(CreateMutexW(nullptr, FALSE, nullptr)),
      noReaders_(CreateEventW(nullptr, TRUE, TRUE, nullptr))
{
}

void SharedLock::ReadLock()
{
    WaitForSingleObject(mutex_.get(), INFINITE);
    if (readers_ == 0)
        ResetEvent(noReaders_.get());
    ++readers_;
    ReleaseMutex(mutex_.get());
}

void SharedLock::ReadUnlock()
{
    WaitForSingleObject(mutex_.get(), INFINITE);
    if (--readers_ == 0)
        SetEvent(noReaders_.get());
    ReleaseMutex(mutex_.get());
}

void SharedLock::WriteLock()
{
    // Both at once: holding the mutex while waiting for the readers would keep them from
    // ever leaving, since ReadUnlock needs the mutex too.
    const HANDLE both[] = {mutex_.get(), noReaders_.get()};
    WaitForMultipleObjects(2, both, TRUE, INFINITE);
}

bool SharedLock::TryWriteLock(DWORD ms)
{
    const HANDLE both[] = {mutex_.get(), noReaders_.get()};
    const DWORD result = WaitForMultipleObjects(2, both, TRUE, ms);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED_0 || result == WAIT_ABANDONED_0 + 1;
}

void SharedLock::WriteUnlock() { ReleaseMutex(mutex_.get()); }
