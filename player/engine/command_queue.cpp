#include "command_queue.h"

#include <objbase.h>

#include <new>

LONG ExpandCommand(LONG word)
{
    if (word & CMD_RENDERER)
        return word | CMD_RENDERER_ADDS;
    if (word & CMD_LOAD)
        return word | CMD_LOAD_ADDS;
    return word;
}

DWORD WaitAnswering(HANDLE handle)
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (SUCCEEDED(CoGetApartmentType(&type, &qualifier)) &&
        (type == APTTYPE_STA || type == APTTYPE_MAINSTA)) {
        // COM's own modal loop: it serves incoming calls and sent messages, nothing else.
        DWORD index = 0;
        const HRESULT hr = CoWaitForMultipleHandles(0, INFINITE, 1, &handle, &index);
        return SUCCEEDED(hr) ? WAIT_OBJECT_0 + index : WAIT_FAILED;
    }
    for (;;) {
        // Sent messages are handled inside PeekMessage; posted ones stay queued.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_SENDMESSAGE, 0);
        if (woken != WAIT_OBJECT_0 + 1)
            return woken;
    }
}

CommandQueue::CommandQueue() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

bool CommandQueue::Post(LONG word)
{
    CriticalSectionLock guard(lock_);
    try {
        words_.push_back(word);
    } catch (const std::bad_alloc &) {
        if (!(word & CMD_QUIT))
            return false;
        quit_ = true;
    }
    SetEvent(event_.get());
    return true;
}

LONG CommandQueue::Take()
{
    CriticalSectionLock guard(lock_);
    if (quit_) {
        quit_ = false;
        if (words_.empty())
            ResetEvent(event_.get());
        return CMD_QUIT;
    }
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

void SharedLock::ReadLock(bool answering)
{
    if (answering)
        WaitAnswering(mutex_.get());
    else
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
