// Loader threads: one per load, each holding the library in memory until it has ended.
#include "media_loader.h"

#include <mmsystem.h>

#include <new>
#include <utility>

#include "render/graph_turn.h"
#include "render/renderer.h"
#include "server/module.h"

namespace {

void RunLoad(LoadJob &job)
{
    job.started = CounterNow();
    if (job.loads)
        job.loads->Enter(job);
    // The build takes the graph turn (graph_turn.h), as every free of the graph does.
    const HRESULT hr = job.renderer->LoadMedia(true);
    if (SUCCEEDED(hr) && !job.abort) {
        // Seeking a paused graph would flush the frame it holds; seek before pausing.
        const double position = job.item.fields.position;
        if (position != 0.0)
            job.renderer->Seek(position);
        job.seekedTo = position;
        // The first frame shares the open's bound; a graph that holds none in time is
        // played regardless, before the bound ends the item.
        const auto limit = [&job] {
            constexpr DWORD kMargin = 500;
            const DWORD spent = GetTickCount() - job.startTick;
            return spent + kMargin < kOpenLimitMs ? kOpenLimitMs - kMargin - spent : 0;
        };
        if (job.renderer->PauseOnFirstFrame(job.abort, limit()) && position == 0.0)
            (void)job.renderer->StartAtFirstFrame(job.abort, limit());
    }
    job.loaded = CounterNow();
    // Unlisted before it is finished: from then on the renderer may go.
    if (job.loads)
        job.loads->Leave(job);
    std::unique_ptr<RHRenderer> ownerless;
    {
        CriticalSectionLock guard(job.lock);
        job.result = hr;
        job.finished = true;
        if (job.orphaned)
            ownerless = std::move(job.renderer);
        SetEvent(job.done.get());
    }
    ownerless.reset();
}

// Stopped first, so that its streams end before its filters go; all under the turn. Its
// filters are taken out one by one before it is let go: under Wine a graph stopped after a
// read held by the system keeps a reference to itself for ever, and with it its filters, whose
// streaming threads then crash the process at its end.
void FreeGraph(Microsoft::WRL::ComPtr<IGraphBuilder> &graph)
{
    GraphTurn turn;
    Microsoft::WRL::ComPtr<IMediaControl> control;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(control.GetAddressOf()))))
        (void)control->Stop();
    control.Reset();
    for (;;) {
        Microsoft::WRL::ComPtr<IEnumFilters> filters;
        Microsoft::WRL::ComPtr<IBaseFilter> filter;
        if (FAILED(graph->EnumFilters(filters.GetAddressOf())) ||
            filters->Next(1, filter.GetAddressOf(), nullptr) != S_OK || FAILED(graph->RemoveFilter(filter.Get())))
            break;
    }
    graph.Reset();
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

DWORD WINAPI FreerMain(void *param)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&FreerMain), &module);
    {
        ComApartment apartment(COINIT_MULTITHREADED);
        Microsoft::WRL::ComPtr<IGraphBuilder> graph;
        graph.Attach(static_cast<IGraphBuilder *>(param));
        FreeGraph(graph);
    }
    LibraryRelease();
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Two graphs built at once (an item and the next one, prepared) both ask the sound library
// for its devices. Wine's fills its device list on first use without a lock, so the second
// can read the list half made and crash; filled once, before any loader runs, it is whole.
BOOL CALLBACK FillSoundDeviceList(INIT_ONCE *, void *, void **)
{
    (void)waveOutGetNumDevs();
    (void)waveInGetNumDevs();
    return TRUE;
}

} // namespace

void LoadsUnderWay::BreakOff(LoadJob &job)
{
    InterlockedExchange(&job.abort, 1);
    job.renderer->AbortBuild();
}

void LoadsUnderWay::BreakOff()
{
    CriticalSectionLock guard(lock_);
    brokenOff_ = true;
    for (LoadJob *job : jobs_)
        BreakOff(*job);
}

void LoadsUnderWay::Enter(LoadJob &job)
{
    CriticalSectionLock guard(lock_);
    if (brokenOff_) {
        BreakOff(job);
        return;
    }
    try {
        jobs_.push_back(&job);
    } catch (const std::bad_alloc &) {
        // Unlisted, the load only runs its course.
    }
}

void LoadsUnderWay::Leave(LoadJob &job)
{
    CriticalSectionLock guard(lock_);
    std::erase(jobs_, &job);
}

LONGLONG CounterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void StartLoad(const std::shared_ptr<LoadJob> &job)
{
    static INIT_ONCE soundDevices = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&soundDevices, FillSoundDeviceList, nullptr, nullptr);
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

void FreeGraphAway(Microsoft::WRL::ComPtr<IGraphBuilder> graph)
{
    if (!graph)
        return;
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&FreerMain), &module)) {
        LibraryAddRef();
        IGraphBuilder *raw = graph.Get();
        HANDLE thread = CreateThread(nullptr, 0, &FreerMain, raw, 0, nullptr);
        if (thread) {
            (void)graph.Detach(); // the thread's now
            CloseHandle(thread);
            return;
        }
        LibraryRelease();
        FreeLibrary(module);
    }
    FreeGraph(graph);
}
