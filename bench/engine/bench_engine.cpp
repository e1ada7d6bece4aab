// Player engine figures under the current Wine environment:
//   0. seams, first: full-screen solid-colour clips (MS Video 1 AVI 320x240; H.264 MP4
//      1280x720 with AAC sound), ten items in a row, each next one set from the ended event,
//      without and with PrepareNextItem; pixel_probe (see tests/seam) logs the screen's
//      centre from the X server's side. Per switch: black as the probe sees it, and how long
//      after the ended event the incoming picture appears (the outgoing last frame held
//      meanwhile); and the process's peak working set after each run;
//   1. item switch: from OnPlaybackEnded to the next item's graph running, median and worst
//      over 50 switches of a small clip, and the part that is the engine's own (everything
//      but the load and RunGraph, which are the media framework's);
//   2. CPU seconds per 10 s of playing a nearly still clip, bouncing and not bouncing;
//   3. GetItem call time while playing.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "seam/probe_log.h"

#include "abi.h"
#include "handles.h"
#include "bench_figures.h"
#include "player_object.h"
#include "test_kit.h"

using Microsoft::WRL::ComPtr;

namespace {

double g_ticksPerMs = 1.0;

LONGLONG Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
double Ms(LONGLONG ticks) { return static_cast<double>(ticks) / g_ticksPerMs; }

// Calls a function for every ended event, on the playback thread.
class EndedSink final : public IHCYFramewheelEventSink {
public:
    std::function<void(IHCYFramewheel *)> onEnded;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHCYFramewheelEventSink)) {
            *ppv = static_cast<IHCYFramewheelEventSink *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnQueryClose(IHCYFramewheel *, LONG) override { return S_OK; }
    STDMETHODIMP OnInput(IHCYFramewheel *, UINT, WPARAM, LPARAM) override { return S_OK; }
    STDMETHODIMP OnMonitorPower(IHCYFramewheel *, LPARAM) override { return S_OK; }
    STDMETHODIMP OnPlaybackEnded(IHCYFramewheel *player, HRESULT) override
    {
        onEnded(player);
        return S_OK;
    }
};

PlaybackItem WindowedItem(std::wstring &file, LONG loops)
{
    PlaybackItem item = DefaultPlaybackItem();
    item.fileName = file.data();
    item.loops = loops;
    item.style = STYLE_WINDOWED;
    item.windowWidth = 640;
    item.windowHeight = 480;
    item.volume = 0;
    return item;
}

// ---- Seams, as the pixel probe sees them ----------------------------------------------

std::wstring g_probeLog;

using Change = ProbeChange;
std::vector<Change> ReadProbe(long offset) { return ReadProbeLog(g_probeLog, offset); }
long ProbeSize() { return ProbeLogSize(g_probeLog); }

// The probe's clock minus this process's performance counter, in ms, found by putting up a
// white square at the probe's point; it includes the time a paint takes to reach the X
// server, as every picture of the player does.
double ProbeClockOffset()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"bench probe marker";
    RegisterClassW(&windowClass);
    const int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
    const long offset = ProbeSize();
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"",
                                  WS_POPUP, cx - 50, cy - 50, 100, 100, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNA);
    UpdateWindow(window);
    GdiFlush();
    const double shown = Ms(Now());
    double result = 0.0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 3000;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        bool found = false;
        for (const Change &c : ReadProbe(offset))
            if (c.colour == 'W') {
                result = c.t - shown;
                found = true;
                break;
            }
        if (found)
            break;
        Sleep(5);
    }
    DestroyWindow(window);
    return result;
}

PlaybackItem FullScreenItem(std::wstring &file)
{
    PlaybackItem item = DefaultPlaybackItem();
    item.fileName = file.data();
    item.style = 0;
    item.loops = 1;
    item.volume = 0;
    item.bounce = 0;
    return item;
}

double PeakWorkingSetMb()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

void Seams(const std::wstring &media, const wchar_t *extension, const char *codec, bool prepare,
           double clockOffset)
{
    constexpr size_t kItems = 10;
    const wchar_t *colours[] = {L"red", L"lime", L"blue", L"yellow"};
    const char letters[] = {'R', 'G', 'B', 'Y'};
    std::vector<std::wstring> files;
    std::string sequence;
    for (size_t i = 0; i < kItems; ++i) {
        files.push_back(media + colours[i % 4] + extension);
        sequence += letters[i % 4];
    }
    ComPtr<Framewheel> player(new Framewheel);
    (void)player->UseClassicVideoRenderer();
    EndedSink sink;
    std::vector<double> endedAt;
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto start = [&](IHCYFramewheel *p, size_t i) {
        PlaybackItem item = FullScreenItem(files[i]);
        (void)p->SetItem(&item);
        (void)p->Play();
        ComPtr<IHCYFramewheel3> third;
        if (prepare && i + 1 < kItems &&
            SUCCEEDED(p->QueryInterface(IID_IHCYFramewheel3, reinterpret_cast<void **>(third.GetAddressOf())))) {
            PlaybackItem next = FullScreenItem(files[i + 1]);
            (void)third->PrepareNextItem(&next);
        }
    };
    sink.onEnded = [&](IHCYFramewheel *p) {
        endedAt.push_back(Ms(Now()));
        if (endedAt.size() < kItems)
            start(p, endedAt.size());
        else
            SetEvent(done.get());
    };
    LONGLONG cookie = 0;
    (void)player->Advise(&sink, EVENT_PLAYBACK_ENDED, &cookie);
    const long offset = ProbeSize();
    start(player.Get(), 0);
    const bool finished = WaitForSingleObject(done.get(), 180000) == WAIT_OBJECT_0;
    (void)player->Unadvise(cookie);
    player.Reset();
    if (!finished) {
        printf("  %s %s: the run did not finish\n", codec, prepare ? "prepared" : "held");
        return;
    }
    // Runs of one colour; a switch is from the last run of the outgoing colour before the
    // first run of the incoming one.
    const std::vector<Change> changes = ReadProbe(offset);
    std::vector<double> black, held;
    size_t i = 0;
    for (size_t k = 0; k + 1 < kItems; ++k) {
        while (i < changes.size() && changes[i].colour != sequence[k])
            ++i;
        size_t next = i;
        while (next < changes.size() && changes[next].colour != sequence[k + 1])
            ++next;
        if (next >= changes.size() || next == 0)
            break;
        size_t last = next;
        while (last > i && changes[last].colour != sequence[k])
            --last;
        double dark = 0.0;
        for (size_t j = last + 1; j < next; ++j)
            if (changes[j].colour == 'K')
                dark += changes[j + 1].t - changes[j].t;
        black.push_back(dark);
        held.push_back(std::max(0.0, changes[next].t - (endedAt[k] + clockOffset)));
        i = next;
    }
    printf("  %-4s %-9s switches %zu  black median %6.1f ms worst %6.1f ms   held median %6.1f ms worst %6.1f ms   peak working set %.1f MB\n",
           codec, prepare ? "prepared" : "held", black.size(), Median(black), Worst(black),
           Median(held), Worst(held), PeakWorkingSetMb());
}

void ItemSwitch(const std::wstring &clip)
{
    constexpr int kSwitches = 50;
    ComPtr<Framewheel> player(new Framewheel);
    (void)player->UseClassicVideoRenderer();
    // On every end of an item: hand the next one (same clip, name in the other letter case
    // so that it loads again) and play it, as the screen saver does.
    std::wstring names[2] = {clip, clip};
    for (wchar_t &c : names[1])
        c = static_cast<wchar_t>(towupper(c));
    int switches = 0;
    std::vector<LONGLONG> endedAt;
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    EndedSink sink;
    sink.onEnded = [&](IHCYFramewheel *p) {
        endedAt.push_back(Now());
        if (switches == kSwitches) {
            SetEvent(done.get());
            return;
        }
        PlaybackItem next = DefaultPlaybackItem();
        next.fileName = names[++switches % 2].data();
        next.validMask = ITEM_FILENAME | ITEM_LOOPS;
        (void)p->SetItem(&next);
        (void)p->Play();
    };
    LONGLONG cookie = 0;
    (void)player->Advise(&sink, EVENT_PLAYBACK_ENDED, &cookie);
    PlaybackItem item = WindowedItem(names[0], 1);
    (void)player->SetItem(&item);

    // Each switch's timing is read from the next end (the item runs 0.5 s meanwhile).
    std::vector<double> total, ours, load, run;
    std::vector<Framewheel::LoadTiming> timings;
    (void)player->Play();
    for (int i = 0; i <= kSwitches; ++i) {
        const size_t before = endedAt.size();
        const DWORD start = GetTickCount();
        while (endedAt.size() == before && GetTickCount() - start < 20000)
            Sleep(1);
        if (endedAt.size() == before) {
            printf("item switch: no end within 20 s\n");
            break;
        }
        Sleep(5);
        if (i > 0)
            timings.push_back(player->LastLoadTiming());
    }
    WaitForSingleObject(done.get(), 20000);
    (void)player->Unadvise(cookie);
    for (size_t i = 0; i < timings.size() && i + 1 < endedAt.size(); ++i) {
        const Framewheel::LoadTiming &t = timings[i];
        const LONGLONG ended = endedAt[i];
        total.push_back(Ms(t.running - ended));
        load.push_back(Ms(t.loadEnd - t.loadStart));
        run.push_back(Ms(t.running - t.runStart));
        ours.push_back(total.back() - load.back() - run.back());
    }
    if (total.empty())
        return;
    printf("item switch over %zu switches (OnPlaybackEnded -> graph running):\n", total.size());
    printf("  total       median %8.2f ms  worst %8.2f ms\n", Median(total),
           *std::max_element(total.begin(), total.end()));
    printf("  Load        median %8.2f ms  worst %8.2f ms  (RenderFile, codecs)\n", Median(load),
           *std::max_element(load.begin(), load.end()));
    printf("  RunGraph    median %8.2f ms  worst %8.2f ms\n", Median(run),
           *std::max_element(run.begin(), run.end()));
    printf("  engine part median %8.2f ms  worst %8.2f ms  (target < 5 ms)\n", Median(ours),
           *std::max_element(ours.begin(), ours.end()));
}

double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](FILETIME f) {
        return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

double CpuPer10s(std::wstring &clip, bool bounce, double step = 3)
{
    ComPtr<Framewheel> player(new Framewheel);
    (void)player->UseClassicVideoRenderer();
    PlaybackItem item = WindowedItem(clip, -1);
    item.scale = 0.5f; // room to move in
    item.bounce = bounce;
    item.bounceStep = step;
    (void)player->SetItem(&item);
    (void)player->Play();
    Sleep(2000); // loaded and running
    const double before = CpuSeconds();
    Sleep(10000);
    const double used = CpuSeconds() - before;
    player.Reset();
    return used;
}

void GetItemTime(std::wstring &clip)
{
    ComPtr<Framewheel> player(new Framewheel);
    (void)player->UseClassicVideoRenderer();
    PlaybackItem item = WindowedItem(clip, -1);
    item.bounce = 1;
    item.scale = 0.5f;
    (void)player->SetItem(&item);
    (void)player->Play();
    Sleep(2000);
    std::vector<double> times;
    for (int i = 0; i < 2000; ++i) {
        PlaybackItem out{};
        const LONGLONG start = Now();
        (void)player->GetItem(&out);
        times.push_back(Ms(Now() - start));
        CoTaskMemFree(out.fileName);
        if (i % 10 == 0)
            Sleep(1);
    }
    std::sort(times.begin(), times.end());
    printf("GetItem while playing (bouncing): median %.4f ms  99th %.4f ms  worst %.4f ms  (target < 1 ms)\n",
           times[times.size() / 2], times[times.size() * 99 / 100], times.back());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: bench_engine <Framewheel.dll> <media folder>\n");
        return 2;
    }
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;
    ComApartment apartment(COINIT_MULTITHREADED);
    // The sinks live in the Global Interface Table, which needs the library's proxy/stub.
    HMODULE library = LoadLibraryW(WindowsPath(argv[1]).c_str());
    auto registerServer = library ? reinterpret_cast<HRESULT(WINAPI *)()>(reinterpret_cast<void *>(
                                        GetProcAddress(library, "DllRegisterServer")))
                                  : nullptr;
    if (!registerServer || FAILED(registerServer())) {
        fprintf(stderr, "cannot register Framewheel.dll\n");
        return 2;
    }
    const std::wstring media = WindowsPath(argv[2]) + L"\\";
    if (const char *log = getenv("PROBE_LOG")) {
        g_probeLog = WindowsPath(log);
        const double offset = ProbeClockOffset();
        printf("seams, 10 full-screen items (classic renderer), as the pixel probe sees them (goal: black <= 40 ms worst, held <= 40 ms prepared):\n");
        Seams(media, L".avi", "avi", false, offset);
        Seams(media, L".avi", "avi", true, offset);
        Seams(media, L".mp4", "mp4", false, offset);
        Seams(media, L".mp4", "mp4", true, offset);
        printf("  (held: from the ended event to the incoming picture on screen; probe clock offset %.1f ms)\n", offset);
    }
    std::wstring small = media + L"small.avi", still = media + L"long.avi";
    ItemSwitch(small);
    const double still10 = CpuPer10s(still, false);
    const double bouncing10 = CpuPer10s(still, true);
    // Ticking without moving: the timer thread and Step, without a picture to repaint.
    const double ticking10 = CpuPer10s(still, true, 0);
    printf("CPU per 10 s, 2 frames/s clip: still %.3f s, bouncing %.3f s, ratio %.2f (target < 1.2)\n",
           still10, bouncing10, still10 > 0 ? bouncing10 / still10 : 0.0);
    printf("  ticking every 33 ms with velocity 0: %.3f s, ratio %.2f\n", ticking10,
           still10 > 0 ? ticking10 / still10 : 0.0);
    // The same comparison for a still picture at a usual video frame rate, where the
    // renderer repaints every frame whether the picture moves or not.
    std::wstring still25 = media + L"still25.avi";
    const double still25Still = CpuPer10s(still25, false);
    const double still25Bouncing = CpuPer10s(still25, true);
    printf("CPU per 10 s, 25 frames/s still clip: still %.3f s, bouncing %.3f s, ratio %.2f (target < 1.2)\n",
           still25Still, still25Bouncing, still25Still > 0 ? still25Bouncing / still25Still : 0.0);
    GetItemTime(still);
    return 0;
}
