// Threads for tests that must never hang: a worker that can be waited for with a time-out,
// and a watchdog that ends the process when a deadlock outlives every bounded wait.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "handles.h"
#include "../support/test_kit.h"

// Runs a function on its own thread. Finished(ms) waits at most ms. A worker still running
// at destruction is a deadlock: the watchdog's rule applies (the process ends).
class Worker {
public:
    explicit Worker(std::function<void()> body) : body_(std::move(body))
    {
        thread_.reset(CreateThread(nullptr, 0, &Worker::Run, this, 0, nullptr));
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;
    ~Worker()
    {
        if (thread_ && !Finished(30000)) {
            fprintf(stderr, "worker thread hung: deadlock\n");
            fflush(stderr);
            ExitProcess(3);
        }
    }
    bool Finished(DWORD ms) { return WaitForSingleObject(thread_.get(), ms) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void *self)
    {
        static_cast<Worker *>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    UniqueHandle thread_;
};

// Ends the process with a message if the scope is not left within the limit.
class Watchdog {
public:
    Watchdog(DWORD ms, const char *what)
        : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), ms_(ms), what_(what)
    {
        thread_.reset(CreateThread(nullptr, 0, &Watchdog::Run, this, 0, nullptr));
    }
    ~Watchdog()
    {
        SetEvent(done_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }

private:
    static DWORD WINAPI Run(void *p)
    {
        auto *self = static_cast<Watchdog *>(p);
        if (WaitForSingleObject(self->done_.get(), self->ms_) == WAIT_TIMEOUT) {
            fprintf(stderr, "watchdog: %s did not finish within %lu ms (deadlock)\n", self->what_,
                    static_cast<unsigned long>(self->ms_));
            fflush(stderr);
            ExitProcess(2);
        }
        return 0;
    }
    UniqueHandle done_;
    DWORD ms_;
    const char *what_;
    UniqueHandle thread_;
};

inline bool IsSignalled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }
