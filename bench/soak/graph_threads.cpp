// What bare media graphs leave behind, and when they show their frames: builds, runs, stops
// and releases a filter graph for a clip N times on one thread and prints the process's thread
// count and working set every 5 rounds, then the threads still alive grouped by the module
// their start address lies in (--list). Variants say how the graph is timed, started and
// stopped, and how the audio renderer is had:
//   plain     the graph picks it (RenderFile alone)
//   dsound    a DirectSound renderer added before RenderFile, new every round
//   waveout   the waveOut renderer (CLSID_AudioRender) added likewise
//   kept      one DirectSound renderer for the whole run, moved from graph to graph
//             (added before RenderFile, removed after Stop, before the graph goes)
//   device    one IDirectSound8 held open for the whole run, the graph as in plain
//   volume    as plain, with a volume set through IBasicAudio
//   clock     as plain, every graph timed by one system clock kept for the whole run
//   early     as clock, stopped once the position reaches the clip's end, before the end
//             event
//   startnow  as clock, started through the graph's IMediaFilter::Run with the stream
//             starting now (Wine's IMediaControl::Run starts it 200 ms after the call);
//             Wine's graph then reports a position at the end from the start
//   classic   as clock, with the classic Video Renderer added before RenderFile, as the
//             player builds its graphs when its classic renderer setting is on
//   ahead     as classic, but each graph is built and paused while the one before plays,
//             and run once that one's end event came; the one before goes then (as the
//             player changes to a prepared item)
//   overlap   as ahead, but each graph runs, muted, once the one before has reached its
//             end by position; that one runs on to its end event (two graphs run at once
//             at every change)
// Usage: graph_threads.exe CLIP [ROUNDS] [VARIANT] [--list | --times]
// --times prints each round's build time and when, counted from Run, the colour at the video
// window's centre last changed, the position reached the clip's end and the end event came,
// with the colour shown at those two moments (COLORREF). A clip whose last part has another
// colour tells late frames from a late end event. Under Wine 8 the end event follows the last
// frame within a frame's time; the position runs 200 ms (MS Video 1) to 330 ms (H.264 720p)
// ahead of the frames, so an item ended at its position's end loses its last frames.
// Under Wine 8 every DirectSound renderer starts a system clock whose advise thread outlives
// it: "plain" grows one thread a round, "kept" stays flat after the first.
#include <windows.h>
#include <dshow.h>
#include <dsound.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

const CLSID kFilterGraph = {0xe436ebb3, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const CLSID kDSoundRender = {0x79376820, 0x07d0, 0x11cf, {0xa2, 0x4d, 0x00, 0x20, 0xaf, 0xd7, 0x97, 0x67}};
const CLSID kSystemClock = {0xe436ebb1, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
const CLSID kVideoRenderer = {0x70e102b0, 0x5556, 0x11ce, {0x97, 0xc0, 0x00, 0xaa, 0x00, 0x55, 0x59, 0x5a}};
const CLSID kWaveOutRender = {0xe30629d1, 0x27e5, 0x11ce, {0x87, 0x5d, 0x00, 0x60, 0x8c, 0xb7, 0x80, 0x66}};

template <typename T>
HRESULT Query(IUnknown *from, REFIID iid, ComPtr<T> &to)
{
    return from->QueryInterface(iid, reinterpret_cast<void **>(to.ReleaseAndGetAddressOf()));
}

HANDLE Snapshot()
{
    return CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
}

int CountThreads()
{
    HANDLE snap = Snapshot();
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snap);
    return count;
}

// Threads of this process by the module of their start address (ThreadQuerySetWin32StartAddress).
void ListThreads()
{
    using QueryThread = LONG(NTAPI *)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    std::map<std::wstring, int> byModule;
    HANDLE snap = Snapshot();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        std::wstring name = L"?";
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        void *start = nullptr;
        if (thread && query && query(thread, 9, &start, sizeof(start), nullptr) == 0 && start) {
            HMODULE module = nullptr;
            wchar_t path[MAX_PATH] = L"";
            if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   static_cast<LPCWSTR>(start), &module) &&
                GetModuleFileNameW(module, path, MAX_PATH)) {
                const wchar_t *slash = wcsrchr(path, L'\\');
                wchar_t offset[32];
                swprintf(offset, 32, L"+0x%llx",
                         static_cast<unsigned long long>(static_cast<char *>(start) -
                                                         reinterpret_cast<char *>(module)));
                name = std::wstring(slash ? slash + 1 : path) + offset;
            } else {
                wchar_t text[32];
                swprintf(text, 32, L"%p", start);
                name = text;
            }
        }
        if (thread)
            CloseHandle(thread);
        ++byModule[name];
    }
    CloseHandle(snap);
    for (const auto &[name, count] : byModule)
        wprintf(L"  %4d  %ls\n", count, name.c_str());
}

HRESULT AddNew(IGraphBuilder *graph, REFCLSID clsid, ComPtr<IBaseFilter> &filter)
{
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void **>(filter.ReleaseAndGetAddressOf()));
    return SUCCEEDED(hr) ? graph->AddFilter(filter.Get(), nullptr) : hr;
}

// The working set: Wine reports no private bytes for a process.
SIZE_T WorkingKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize / 1024;
}

// Takes the graph's queued events; true when its end was among them.
bool TookEnd(IMediaEvent *events)
{
    bool ended = false;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (!ended && events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
        ended = code == EC_COMPLETE;
        (void)events->FreeEventParams(code, param1, param2);
    }
    return ended;
}

// Answers the video window's messages (it belongs to this thread) until until() holds or 3 s
// pass, looking every pollMs or when the graph's event is set; false on the time limit.
template <typename Until>
bool PumpUntil(HANDLE wait, DWORD pollMs, Until until)
{
    const DWORD start = GetTickCount();
    while (!until()) {
        if (GetTickCount() - start >= 3000)
            return false;
        (void)MsgWaitForMultipleObjects(wait ? 1 : 0, &wait, FALSE, pollMs, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return true;
}

// Runs the graph with its stream starting now, through its own IMediaFilter, instead of the
// later start IMediaControl::Run picks to give filters time. Under Wine the graph's own
// position then counts from a start only IMediaControl::Run or a seek sets, so --times shows
// it at the end at once; and a seek of the paused graph before this run (to set that start)
// leaves a graph with sound without its end event.
void RunFromNow(IGraphBuilder *graph, IMediaControl *control, IReferenceClock *clock)
{
    ComPtr<IMediaFilter> filter;
    OAFilterState state = 0;
    REFERENCE_TIME now = 0;
    (void)control->Pause();
    (void)control->GetState(5000, &state);
    if (SUCCEEDED(Query(graph, IID_IMediaFilter, filter)) && SUCCEEDED(clock->GetTime(&now)))
        (void)filter->Run(now + 10 * 10000);
}

// What --times sees of one round, in ms from Run: when the colour at the video window's
// centre last changed before the end event, and when the position reached the clip's end and
// the end event came, with the colour (COLORREF) shown at those two moments.
class RoundTimes {
public:
    RoundTimes(IGraphBuilder *graph, DWORD built) : built_(built)
    {
        ComPtr<IVideoWindow> window;
        if (SUCCEEDED(Query(graph, IID_IVideoWindow, window))) {
            long left = 0, top = 0, width = 0, height = 0;
            (void)window->GetWindowPosition(&left, &top, &width, &height);
            centre_ = {left + width / 2, top + height / 2};
        }
    }
    void Started() { start_ = GetTickCount(); }
    void Look()
    {
        if (endEvent_)
            return;
        const unsigned long now = Shown();
        if (now != last_)
            changedAt_ = Since();
        last_ = now;
    }
    void AtEnd() { atEnd_ = Since(), shownAtEnd_ = Shown(); }
    void AtEvent() { endEvent_ = Since(), shownAtEvent_ = Shown(); }
    void Print() const
    {
        wprintf(L"  built in %lu ms; from Run: last colour from %lu ms, position at the end %lu ms "
                L"(showing %06lx), end event %lu ms (%06lx)\n",
                static_cast<unsigned long>(built_), static_cast<unsigned long>(changedAt_),
                static_cast<unsigned long>(atEnd_), shownAtEnd_, static_cast<unsigned long>(endEvent_),
                shownAtEvent_);
    }

private:
    DWORD Since() const { return GetTickCount() - start_; }
    unsigned long Shown() const
    {
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, centre_.x, centre_.y);
        ReleaseDC(nullptr, screen);
        return colour;
    }

    POINT centre_{-1, -1};
    DWORD built_ = 0, start_ = 0, changedAt_ = 0, atEnd_ = 0, endEvent_ = 0;
    unsigned long last_ = 0, shownAtEnd_ = 0, shownAtEvent_ = 0;
};

// One round: the graph built, run to its end (or 3 s), stopped and released.
HRESULT Round(const wchar_t *clip, const std::wstring &variant, IBaseFilter *kept,
              IReferenceClock *clock, int &completed, bool times)
{
    const DWORD building = GetTickCount();
    ComPtr<IGraphBuilder> graph;
    HRESULT hr = CoCreateInstance(kFilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void **>(graph.GetAddressOf()));
    if (FAILED(hr))
        return hr;
    // A renderer added before RenderFile is the one the file is rendered to.
    ComPtr<IBaseFilter> added;
    if (variant == L"dsound" || variant == L"waveout" || variant == L"classic") {
        const CLSID &clsid = variant == L"dsound"    ? kDSoundRender
                             : variant == L"waveout" ? kWaveOutRender
                                                     : kVideoRenderer;
        if (FAILED(hr = AddNew(graph.Get(), clsid, added)))
            return hr;
    }
    if (kept)
        (void)graph->AddFilter(kept, L"audio");
    hr = graph->RenderFile(clip, nullptr);
    if (FAILED(hr))
        return hr;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaPosition> position;
    (void)Query(graph.Get(), IID_IMediaControl, control);
    (void)Query(graph.Get(), IID_IMediaEvent, events);
    const bool early = variant == L"early";
    REFTIME length = 0.0;
    if ((early || times) && SUCCEEDED(Query(graph.Get(), IID_IMediaPosition, position)))
        (void)position->get_Duration(&length);
    if (clock) {
        ComPtr<IMediaFilter> filter;
        if (SUCCEEDED(Query(graph.Get(), IID_IMediaFilter, filter)))
            (void)filter->SetSyncSource(clock);
    }
    if (variant == L"volume") {
        ComPtr<IBasicAudio> audio;
        if (SUCCEEDED(Query(graph.Get(), IID_IBasicAudio, audio)))
            (void)audio->put_Volume(-600);
    }
    std::optional<RoundTimes> seen;
    if (times)
        seen.emplace(graph.Get(), GetTickCount() - building);
    if (variant == L"startnow" && clock)
        RunFromNow(graph.Get(), control.Get(), clock);
    else
        (void)control->Run();
    OAEVENT handle = 0;
    (void)events->GetEventHandle(&handle);
    if (seen)
        seen->Started();
    bool atEnd = false, ended = false;
    if (PumpUntil(reinterpret_cast<HANDLE>(handle), early || times ? 5 : 50, [&] {
            ended = TookEnd(events.Get());
            if (seen) {
                seen->Look();
                if (ended)
                    seen->AtEvent();
            }
            REFTIME now = 0.0;
            if (!atEnd && length > 0.0 && SUCCEEDED(position->get_CurrentPosition(&now)) && now >= length) {
                atEnd = true;
                if (seen)
                    seen->AtEnd();
                ended = ended || early;
            }
            return ended;
        }))
        ++completed;
    if (seen)
        seen->Print();
    (void)control->Stop();
    if (kept)
        (void)graph->RemoveFilter(kept);
    return S_OK;
}

// A graph of the ahead and overlap variants, paused and ready to run.
struct Ready {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaPosition> position;
    REFTIME length = 0.0;
};

HRESULT BuildPaused(const wchar_t *clip, IReferenceClock *clock, Ready &ready)
{
    ready = {};
    HRESULT hr = CoCreateInstance(kFilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void **>(ready.graph.GetAddressOf()));
    ComPtr<IBaseFilter> video;
    if (FAILED(hr) || FAILED(hr = AddNew(ready.graph.Get(), kVideoRenderer, video)) ||
        FAILED(hr = ready.graph->RenderFile(clip, nullptr)))
        return hr;
    ComPtr<IMediaFilter> filter;
    if (SUCCEEDED(Query(ready.graph.Get(), IID_IMediaFilter, filter)))
        (void)filter->SetSyncSource(clock);
    (void)Query(ready.graph.Get(), IID_IMediaControl, ready.control);
    (void)Query(ready.graph.Get(), IID_IMediaEvent, ready.events);
    if (SUCCEEDED(Query(ready.graph.Get(), IID_IMediaPosition, ready.position)))
        (void)ready.position->get_Duration(&ready.length);
    OAFilterState state = 0;
    (void)ready.control->Pause();
    (void)ready.control->GetState(5000, &state);
    return S_OK;
}

// One change of the ahead and overlap variants: next runs at playing's end event, or
// (overlap, muted) once playing's position reaches its end; playing goes at its end event,
// and next is the one playing.
HRESULT AheadRound(const wchar_t *clip, IReferenceClock *clock, bool overlap, Ready &playing, int &completed)
{
    Ready next;
    HRESULT hr = BuildPaused(clip, clock, next);
    if (FAILED(hr))
        return hr;
    ComPtr<IBasicAudio> audio;
    if (SUCCEEDED(Query(next.graph.Get(), IID_IBasicAudio, audio)))
        (void)audio->put_Volume(-10000);
    OAEVENT handle = 0;
    (void)playing.events->GetEventHandle(&handle);
    bool ended = false;
    const auto endEvent = [&] { return ended = ended || TookEnd(playing.events.Get()); };
    (void)PumpUntil(reinterpret_cast<HANDLE>(handle), 5, [&] {
        REFTIME now = 0.0;
        return endEvent() || (overlap && SUCCEEDED(playing.position->get_CurrentPosition(&now)) &&
                              now >= playing.length);
    });
    if (overlap)
        (void)next.control->Run();
    if (PumpUntil(reinterpret_cast<HANDLE>(handle), 5, endEvent))
        ++completed;
    if (!overlap)
        (void)next.control->Run();
    (void)playing.control->Stop();
    if (audio)
        (void)audio->put_Volume(0);
    playing = std::move(next);
    return S_OK;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: graph_threads CLIP [ROUNDS] [plain|dsound|waveout|kept|device|volume|clock|early|startnow|classic|ahead|overlap] [--list|--times]\n");
        return 2;
    }
    const wchar_t *clip = argv[1];
    const int rounds = argc > 2 ? _wtoi(argv[2]) : 30;
    const std::wstring variant = argc > 3 ? argv[3] : L"plain";
    const bool list = argc > 4 && std::wstring(argv[4]) == L"--list";
    const bool times = argc > 4 && std::wstring(argv[4]) == L"--times";
    (void)CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        ComPtr<IBaseFilter> kept;
        if (variant == L"kept" &&
            FAILED(CoCreateInstance(kDSoundRender, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                    reinterpret_cast<void **>(kept.GetAddressOf()))))
            return 1;
        ComPtr<IReferenceClock> clock;
        const bool overlap = variant == L"overlap", ahead = overlap || variant == L"ahead";
        const bool timed = variant == L"clock" || variant == L"early" || variant == L"startnow" ||
                           variant == L"classic" || ahead;
        if (timed &&
            FAILED(CoCreateInstance(kSystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                    reinterpret_cast<void **>(clock.GetAddressOf()))))
            return 1;
        ComPtr<IDirectSound8> device;
        if (variant == L"device" && FAILED(DirectSoundCreate8(nullptr, &device, nullptr)))
            return 1;
        const int before = CountThreads();
        const SIZE_T workingBefore = WorkingKiB();
        wprintf(L"%ls, %ls: threads %d, working set %zu KiB before\n", clip, variant.c_str(), before,
                workingBefore);
        int failures = 0, completed = 0;
        Ready playing;
        if (ahead && SUCCEEDED(BuildPaused(clip, clock.Get(), playing)))
            (void)playing.control->Run();
        for (int i = 1; i <= rounds; ++i) {
            const HRESULT hr = ahead ? (playing.control ? AheadRound(clip, clock.Get(), overlap, playing, completed) : E_FAIL)
                                       : Round(clip, variant, kept.Get(), clock.Get(), completed, times);
            if (FAILED(hr) && failures++ == 0)
                wprintf(L"round %d failed: 0x%08lx\n", i, static_cast<unsigned long>(hr));
            if (i % 5 == 0 || i == rounds) {
                wprintf(L"round %3d: threads %d, working set %zu KiB\n", i, CountThreads(), WorkingKiB());
                fflush(stdout);
            }
        }
        if (playing.control)
            (void)playing.control->Stop();
        playing = {};
        Sleep(500);
        const int after = CountThreads();
        wprintf(L"%ls: threads %d -> %d after %d rounds (%+d), working set %+lld KiB, %d failed, %d completed\n",
                variant.c_str(), before, after, rounds, after - before,
                static_cast<long long>(WorkingKiB()) - static_cast<long long>(workingBefore), failures, completed);
        if (list)
            ListThreads();
    }
    CoUninitialize();
    return 0;
}
