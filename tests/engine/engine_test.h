// Shared pieces of the engine tests: the recording event sink, a player with a sink, player
// and item helpers and the paths handed over by run_engine.sh.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <objbase.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "abi.h"
#include "handles.h"
#include "player_object.h"
#include "test_threads.h"

using Microsoft::WRL::ComPtr;

// Windows form of the media folder, ending in a backslash.
extern std::wstring g_media;
// The full path of a clip; the string lives as long as the program, so items may point
// at it.
inline const std::wstring &Media(const wchar_t *name)
{
    static CriticalSection lock;
    static std::map<std::wstring, std::wstring> paths;
    CriticalSectionLock guard(lock);
    return paths.try_emplace(name, g_media + name).first->second;
}

// Polls done() every 20 ms until it holds; false after ms. With pump, this thread's messages
// are dispatched meanwhile (a thread that owns windows must otherwise keep still).
inline bool WaitUntil(const std::function<bool()> &done, DWORD ms, bool pump = false)
{
    for (const DWORD start = GetTickCount();;) {
        for (MSG message; pump && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&message);
        if (done())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        pump ? (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT) : Sleep(20);
    }
}

struct SinkCall {
    int event = -1;              // SinkEvent
    UINT message = 0;            // OnInput
    WPARAM wParam = 0;
    LPARAM lParam = 0;           // OnInput, OnMonitorPower (state)
    LONG reason = 0;             // OnQueryClose
    HRESULT result = E_UNEXPECTED; // OnPlaybackEnded
    DWORD thread = 0, tick = 0;  // filled in when recorded
};

// Records every call with its thread; answers OnQueryClose with closeAnswer.
class TestSink : public IHCYFramewheelEventSink {
public:
    std::atomic<HRESULT> closeAnswer{S_OK};
    // Runs inside OnPlaybackEnded, on the calling thread, with the player as passed in.
    std::function<void(IHCYFramewheel *, HRESULT)> onEnded;
    virtual ~TestSink() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHCYFramewheelEventSink);
        *ppv = known ? static_cast<IHCYFramewheelEventSink *>(this) : nullptr;
        if (known)
            AddRef();
        return known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = InterlockedDecrement(&refs_);
        if (count == 0)
            delete this;
        return count;
    }
    STDMETHODIMP OnQueryClose(IHCYFramewheel *, LONG reason) override
    {
        return Record({.event = SINK_QUERY_CLOSE, .reason = reason}, closeAnswer);
    }
    STDMETHODIMP OnInput(IHCYFramewheel *, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return Record({.event = SINK_INPUT, .message = message, .wParam = wParam, .lParam = lParam});
    }
    STDMETHODIMP OnMonitorPower(IHCYFramewheel *, LPARAM state) override
    {
        return Record({.event = SINK_MONITOR_POWER, .lParam = state});
    }
    STDMETHODIMP OnPlaybackEnded(IHCYFramewheel *player, HRESULT result) override
    {
        if (onEnded)
            onEnded(player, result);
        return Record({.event = SINK_PLAYBACK_ENDED, .result = result});
    }

    std::vector<SinkCall> Calls(int event)
    {
        CriticalSectionLock guard(lock_);
        std::vector<SinkCall> out;
        for (const SinkCall &call : calls_)
            if (call.event == event)
                out.push_back(call);
        return out;
    }
    // Waits (bounded) until at least count calls of the event have arrived.
    bool WaitFor(int event, size_t count, DWORD ms)
    {
        return WaitUntil([&] { return Calls(event).size() >= count; }, ms);
    }

private:
    // Keeps the call; answers with the given result.
    HRESULT Record(SinkCall call, HRESULT answer = S_OK)
    {
        call.thread = GetCurrentThreadId();
        call.tick = GetTickCount();
        CriticalSectionLock guard(lock_);
        calls_.push_back(call);
        return answer;
    }
    LONG refs_ = 1;
    CriticalSection lock_;
    std::vector<SinkCall> calls_;
};

inline ComPtr<TestSink> NewSink()
{
    ComPtr<TestSink> sink;
    sink.Attach(new TestSink);
    return sink;
}

// A player built directly, so the tests can look at its queues and threads; on the classic
// video renderer when asked (the default one draws nothing under Xvfb).
inline ComPtr<Framewheel> NewPlayer(bool classic = false)
{
    ComPtr<Framewheel> player(new Framewheel);
    if (classic) {
        EXPECT_HR(S_OK, player->UseClassicVideoRenderer());
    }
    return player;
}

// A windowed item of 160 x 120 at the screen's corner, silent, one loop. The item points
// at the caller's string.
inline PlaybackItem ItemFor(const std::wstring &file, LONG loops = 1)
{
    PlaybackItem item = DefaultPlaybackItem();
    item.fileName = const_cast<wchar_t *>(file.c_str());
    item.loops = loops;
    item.style = STYLE_WINDOWED;
    item.windowWidth = 160;
    item.windowHeight = 120;
    item.volume = 0;
    return item;
}

inline double PositionOf(IHCYFramewheel *player)
{
    PlaybackItem item{};
    if (FAILED(player->GetItem(&item)))
        return -1.0;
    CoTaskMemFree(item.fileName);
    return item.position;
}

// Polls until the position passes a value; false after ms.
inline bool WaitForPosition(IHCYFramewheel *player, double atLeast, DWORD ms)
{
    return WaitUntil([&] { return PositionOf(player) >= atLeast; }, ms);
}

// The player window of a player: the one of our class on its playback thread.
inline HWND PlayerWindow(Framewheel *player, DWORD ms = 10000)
{
    const DWORD thread = GetThreadId(player->PlaybackThreadHandle());
    HWND window = nullptr;
    WaitUntil([&] {
        while ((window = FindWindowExW(nullptr, window, L"Halcyra Framewheel", nullptr)) &&
               GetWindowThreadProcessId(window, nullptr) != thread) {
        }
        return window != nullptr;
    }, ms);
    return window;
}

// A handle of the player's playback thread that outlives the player.
inline UniqueHandle PlaybackThreadOf(Framewheel *player)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), player->PlaybackThreadHandle(), GetCurrentProcess(), &copy, SYNCHRONIZE,
                    FALSE, 0);
    return UniqueHandle(copy);
}

// A player with a sink for the given events, unadvised at the end.
struct Session {
    ComPtr<Framewheel> player;
    ComPtr<TestSink> sink = NewSink();
    LONGLONG cookie = 0;

    explicit Session(bool classic = true, LONG events = EVENT_ALL) : player(NewPlayer(classic))
    {
        EXPECT_HR(S_OK, player->Advise(sink.Get(), events, &cookie));
    }
    ~Session() { EXPECT_HR(S_OK, player->Unadvise(cookie)); }
    void Start(const PlaybackItem &item)
    {
        ASSERT_HR(S_OK, player->SetItem(&item));
        ASSERT_HR(S_OK, player->Play());
    }
    bool WaitEnded(size_t count, DWORD ms = 20000) { return sink->WaitFor(SINK_PLAYBACK_ENDED, count, ms); }
    size_t Ended() { return sink->Calls(SINK_PLAYBACK_ENDED).size(); }
    SinkCall LastEnded()
    {
        const auto calls = sink->Calls(SINK_PLAYBACK_ENDED);
        return calls.empty() ? SinkCall{} : calls.back();
    }
};

// What the media framework itself answers when asked to render the file, into a graph of
// its own (holding the classic video renderer when asked).
inline HRESULT RenderFileResult(const std::wstring &path, bool classic = false)
{
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> renderer;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void **>(graph.GetAddressOf()));
    if (SUCCEEDED(hr) && classic)
        hr = CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                              reinterpret_cast<void **>(renderer.GetAddressOf()));
    if (SUCCEEDED(hr) && classic)
        hr = graph->AddFilter(renderer.Get(), nullptr);
    return FAILED(hr) ? hr : graph->RenderFile(path.c_str(), nullptr);
}

// The test programs' entry: PROGRAM <Framewheel.dll> <media folder> [gtest arguments].
// The proxy/stub for our interfaces lives in the library; it is registered for this prefix,
// as the Global Interface Table needs it for the sinks.
inline int RunEngineTests(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: %s <Framewheel.dll> <media folder>\n", argv[0]);
        return 2;
    }
    g_media = WindowsPath(argv[2]) + L"\\";
    ComApartment apartment(COINIT_MULTITHREADED);
    HMODULE library = LoadLibraryW(WindowsPath(argv[1]).c_str());
    auto registerServer = reinterpret_cast<HRESULT(WINAPI *)()>(
        reinterpret_cast<void *>(library ? GetProcAddress(library, "DllRegisterServer") : nullptr));
    const HRESULT registered = registerServer ? registerServer() : E_FAIL;
    if (FAILED(registered)) {
        fprintf(stderr, "cannot register Framewheel.dll: %s\n", HrText(registered).c_str());
        return 2;
    }
    return RUN_ALL_TESTS();
}
