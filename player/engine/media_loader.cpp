// Loader threads: one per load, each holding the library in memory until it has ended.
#include "media_loader.h"

#include <new>
#include <utility>

#include "render/renderer.h"
#include "server/module.h"

namespace {

// The longest a graph may take to show its first frame before it is played regardless.
constexpr DWORD kFirstFrameLimitMs = 10000;

void RunLoad(LoadJob &job)
{
    job.started = CounterNow();
    HRESULT hr = job.renderer->LoadMedia(true);
    if (SUCCEEDED(hr) && !job.abort) {
        // Seeking a paused graph would flush the frame it holds; seek before pausing.
        if (job.item.position != 0.0)
            job.renderer->Seek(job.item.position);
        job.seekedTo = job.item.position;
        (void)job.renderer->PauseOnFirstFrame(job.abort, kFirstFrameLimitMs);
    }
    job.loaded = CounterNow();
    std::unique_ptr<RHRenderer> ownerless;
    {
        CriticalSectionLock guard(job.lock);
        job.result = hr;
        job.finished = true;
        if (job.orphaned)
            ownerless = std::move(job.renderer);
        SetEvent(job.done.get());
    }
}

DWORD WINAPI LoaderMain(void *param)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&LoaderMain), &module);
    {
        std::shared_ptr<LoadJob> job = std::move(*static_cast<std::shared_ptr<LoadJob> *>(param));
        delete static_cast<std::shared_ptr<LoadJob> *>(param);
        ComApartment apartment(COINIT_MULTITHREADED);
        RunLoad(*job);
        // Anything freed here (an orphaned renderer, the last reference) goes while the
        // apartment is still joined.
        job.reset();
    }
    // The references StartLoad took for this thread: the object count keeps COM from
    // unloading the library, the module reference keeps the code until the thread is out.
    LibraryRelease();
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

} // namespace

LONGLONG CounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void StartLoad(const std::shared_ptr<LoadJob> &job)
{
    HMODULE module = nullptr;
    auto *param = new (std::nothrow) std::shared_ptr<LoadJob>(job);
    if (param && job->done &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&LoaderMain), &module)) {
        LibraryAddRef();
        HANDLE thread = CreateThread(nullptr, 0, &LoaderMain, param, 0, nullptr);
        if (thread) {
            CloseHandle(thread);
            return;
        }
        LibraryRelease();
        FreeLibrary(module);
    }
    delete param;
    RunLoad(*job); // no thread to be had: the old way, on this thread
}

bool LoadFinished(LoadJob &job)
{
    CriticalSectionLock guard(job.lock);
    return job.finished;
}

void AbandonLoad(const std::shared_ptr<LoadJob> &job, DWORD ms)
{
    if (!job)
        return;
    InterlockedExchange(&job->abort, 1);
    if (ms)
        WaitForSingleObject(job->done.get(), ms);
    std::unique_ptr<RHRenderer> renderer;
    {
        CriticalSectionLock guard(job->lock);
        if (job->finished)
            renderer = std::move(job->renderer);
        else
            job->orphaned = true;
    }
}
