// Real playback of clips made by run_engine.sh (MS Video 1 AVI, classic video renderer:
// the default renderer draws nothing under Xvfb) and the window's events. Every wait is
// bounded; a watchdog ends a deadlocked test.
#include "engine_test.h"
#include "media_loader.h"
#include "render/renderer.h"
#include "render/variants.h"
#include "playback_watch.h"
#include "server/module.h"

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr HRESULT kNoVideo = static_cast<HRESULT>(0x8004025D);

DWORD ThreadIdOf(Framewheel *player) { return GetThreadId(player->PlaybackThreadHandle()); }

INPUT MouseAt(LONG x, LONG y)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi = {x, y, 0, MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 0, 0};
    return input;
}

// Sends the input and waits, bounded, until the sink has seen each of the messages after it.
bool InputReaches(Session &s, std::vector<INPUT> input, std::initializer_list<UINT> messages)
{
    const size_t before = s.sink->Calls(SINK_INPUT).size();
    if (SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT)) != input.size())
        return false;
    return WaitUntil([&] {
        const auto calls = s.sink->Calls(SINK_INPUT);
        auto seen = [&](UINT message) {
            auto is = [&](const SinkCall &call) { return call.message == message; };
            return std::any_of(calls.begin() + before, calls.end(), is);
        };
        return std::all_of(messages.begin(), messages.end(), seen);
    }, 5000);
}

TEST(Playback, LoopsEndOnceAfterTheirRuns)
{
    Watchdog watchdog(90000, "loops");
    Session s;
    PlaybackItem item = ItemFor(Media(L"short.avi"), 1);
    s.Start(item);
    ASSERT_TRUE(s.WaitEnded(1));
    EXPECT_HR(S_OK, s.LastEnded().result);
    EXPECT_EQ(ThreadIdOf(s.player.Get()), s.LastEnded().thread);

    // The item ended Paused and rewound: a Play with a new loop count runs it again
    // without loading, so the time is the clip's (1 s) times the loops.
    for (LONG loops : {1, 3}) {
        item.loops = loops;
        item.validMask = ITEM_LOOPS;
        ASSERT_HR(S_OK, s.player->SetItem(&item));
        const size_t before = s.Ended();
        const DWORD start = GetTickCount();
        ASSERT_HR(S_OK, s.player->Play());
        ASSERT_TRUE(s.WaitEnded(before + 1)) << loops << " loops";
        const DWORD took = s.LastEnded().tick - start;
        EXPECT_HR(S_OK, s.LastEnded().result);
        EXPECT_GE(took, loops * 1000u - 300) << loops << " loops";
        EXPECT_LE(took, loops * 1000u + 1500) << loops << " loops";
    }
    Sleep(1500);
    EXPECT_EQ(3u, s.Ended()) << "an item ended more than once";
    EXPECT_EQ(0.0, PositionOf(s.player.Get())); // rewound after the last loop
}

// A clip whose stream ends before its length (one frame of a second): each loop still lasts
// the clip's length, rather than the graph starting again as fast as it can.
TEST(Playback, ALoopLastsTheClipsLengthWhenItsStreamEndsEarly)
{
    Watchdog watchdog(90000, "early end");
    Session s;
    const DWORD start = GetTickCount();
    s.Start(ItemFor(Media(L"oneframe.avi"), 3));
    ASSERT_TRUE(s.WaitEnded(1));
    EXPECT_HR(S_OK, s.LastEnded().result);
    const DWORD took = s.LastEnded().tick - start;
    EXPECT_GE(took, 2700u);
    EXPECT_LE(took, 6000u);
}

TEST(Playback, EndlessLoopsNeverEnd)
{
    Watchdog watchdog(90000, "endless loops");
    Session s;
    s.Start(ItemFor(Media(L"short.avi"), -1));
    ASSERT_TRUE(WaitForPosition(s.player.Get(), 0.3, 20000));
    // Loops 0 behaves like -1; set while playing, it takes effect at once.
    for (LONG loops : {-1, 0}) {
        if (loops == 0) {
            PlaybackItem item = DefaultPlaybackItem();
            item.loops = 0;
            item.validMask = ITEM_LOOPS;
            ASSERT_HR(S_OK, s.player->SetItem(&item));
        }
        // Three runs of the clip and nothing ends. (Wine keeps reporting the end position
        // after a rewind while running, so the wrap-around itself cannot be watched.)
        Sleep(3300);
        EXPECT_EQ(0u, s.Ended()) << "loops " << loops;
    }
}

TEST(Playback, PauseStopAndPosition)
{
    Watchdog watchdog(90000, "pause/stop");
    Session s;
    PlaybackItem item = ItemFor(Media(L"long.avi"));
    s.Start(item);
    ASSERT_TRUE(WaitForPosition(s.player.Get(), 1.0, 20000));
    const double a = PositionOf(s.player.Get());
    Sleep(500);
    const double b = PositionOf(s.player.Get());
    EXPECT_GT(b, a + 0.25) << "position does not advance while playing";

    ASSERT_HR(S_OK, s.player->Pause());
    Sleep(300);
    const double paused = PositionOf(s.player.Get());
    Sleep(500);
    EXPECT_NEAR(paused, PositionOf(s.player.Get()), 0.05) << "position moves while paused";
    ASSERT_HR(S_OK, s.player->Play()); // no reload: it runs on from where it stood
    Sleep(700);
    const double resumed = PositionOf(s.player.Get());
    EXPECT_GT(resumed, paused + 0.3);
    EXPECT_LT(resumed, paused + 1.5);

    ASSERT_HR(S_OK, s.player->Stop());
    Sleep(300);
    const double stopped = PositionOf(s.player.Get()); // the graph is gone: the saved position
    EXPECT_GE(stopped, resumed);
    Sleep(500);
    EXPECT_EQ(stopped, PositionOf(s.player.Get()));
    // The caller keeps the position and hands it back; Play loads the file again there.
    item.position = stopped + 5.0;
    item.validMask = ITEM_POSITION;
    ASSERT_HR(S_OK, s.player->SetItem(&item));
    ASSERT_HR(S_OK, s.player->Play());
    ASSERT_TRUE(WaitForPosition(s.player.Get(), stopped + 5.3, 20000));
    EXPECT_LT(PositionOf(s.player.Get()), stopped + 8.0);
    EXPECT_EQ(0u, s.Ended());
}

// Output areas reach the renderer that the next load builds: two areas, two pictures in the
// "Monitor" style on the one monitor. Taken back while playing, they stay until the next item.
TEST(Playback, OutputAreasApplyAtTheNextLoad)
{
    Watchdog watchdog(90000, "output areas");
    Session s;
    auto pictures = [&] {
        ReadGuard guard(s.player->Screen().lock);
        std::vector<PlacementFraction> at;
        if (RHRenderer *renderer = s.player->Screen().renderer.get())
            renderer->GetPositions(at);
        return at.size();
    };
    const RECT halves[] = {{0, 0, 960, 1080}, {960, 0, 1920, 1080}};
    ASSERT_HR(S_OK, s.player->SetOutputAreas(2, halves));
    PlaybackItem item = ItemFor(Media(L"long.avi"));
    item.style = 0;
    item.perMonitor = 1;
    s.Start(item);
    ASSERT_TRUE(WaitForPosition(s.player.Get(), 0.2, 20000));
    EXPECT_EQ(pictures(), 2u);

    ASSERT_HR(S_OK, s.player->SetOutputAreas(0, nullptr));
    Sleep(500);
    EXPECT_EQ(pictures(), 2u) << "the item on screen was rebuilt";
    item.fileName = const_cast<wchar_t *>(Media(L"short.avi").c_str());
    item.validMask = ITEM_FILENAME;
    ASSERT_HR(S_OK, s.player->SetItem(&item));
    EXPECT_TRUE(WaitUntil([&] { return pictures() == 1; }, 20000));
}

TEST(Playback, FilesThatCannotPlayEndWithTheirFailure)
{
    Watchdog watchdog(90000, "failures");
    // The framework picks the video renderer here, as it does unless the classic one is
    // asked for.
    Session s(false);
    struct Case {
        std::wstring file;
        HRESULT expected;
    } cases[] = {
        {Media(L"missing.avi"), RenderFileResult(Media(L"missing.avi"))},
        {Media(L"text.avi"), RenderFileResult(Media(L"text.avi"))},
        {Media(L"tone.wav"), kNoVideo},
    };
    EXPECT_TRUE(FAILED(cases[0].expected)) << HrText(cases[0].expected);
    EXPECT_TRUE(FAILED(cases[1].expected)) << HrText(cases[1].expected);
    size_t ended = 0;
    for (const Case &c : cases) {
        // After a failure the player is Stopped; the next SetItem and Play load the new file.
        PlaybackItem item = ItemFor(c.file);
        item.validMask = ended ? ITEM_FILENAME : ITEM_ALL;
        s.Start(item);
        ASSERT_TRUE(s.WaitEnded(++ended));
        EXPECT_HR(c.expected, s.LastEnded().result);
    }
    // A Play without a new file name does not try again...
    ASSERT_HR(S_OK, s.player->Play());
    EXPECT_FALSE(s.WaitEnded(ended + 1, 1500));
    // ...but the same name handed in again is loaded again (a playlist [bad, bad, good]).
    PlaybackItem again = ItemFor(cases[2].file);
    again.validMask = ITEM_FILENAME;
    s.Start(again);
    ASSERT_TRUE(s.WaitEnded(++ended));
    EXPECT_HR(kNoVideo, s.LastEnded().result);
    PlaybackItem good = ItemFor(Media(L"long.avi"));
    good.validMask = ITEM_FILENAME;
    s.Start(good);
    EXPECT_TRUE(WaitForPosition(s.player.Get(), 0.3, 10000)) << "the good item never played";
}

// A pipe nobody writes to, as a share that stopped answering: the item ends as failed once
// its open has had its time, and the show goes on. The pipe's instances close at the end,
// which lets the abandoned loader go.
TEST(Playback, AnOpenThatNeverAnswersEndsOutOfTime)
{
    Watchdog watchdog(90000, "quiet pipe");
    const std::wstring pipe = L"\\\\.\\pipe\\rh-engine-quiet-" + std::to_wstring(GetCurrentProcessId());
    std::vector<UniqueHandle> instances;
    for (int i = 0; i < 4; ++i) { // the source may open the file more than once
        instances.emplace_back(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                                PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
        ASSERT_TRUE(instances.back()) << GetLastError();
    }
    Session s;
    const DWORD start = GetTickCount();
    s.Start(ItemFor(pipe));
    ASSERT_TRUE(s.WaitEnded(1, kOpenLimitMs + 10000));
    EXPECT_HR(kOpenTimedOut, s.LastEnded().result);
    EXPECT_GE(s.LastEnded().tick - start, kOpenLimitMs - 100);
    PlaybackItem good = ItemFor(Media(L"long.avi"));
    good.validMask = ITEM_FILENAME;
    s.Start(good);
    EXPECT_TRUE(WaitForPosition(s.player.Get(), 0.3, 10000)) << "the next item never played";
    instances.clear();
}

// S: (run_engine.sh) is a share whose reads stop answering while slow-on exists. While a
// QuietShare lives the share is quiet; at its end the waiting reads return.
class QuietShare {
public:
    QuietShare() : path_(Media(L"slow-on"))
    {
        UniqueHandle on(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        made_ = static_cast<bool>(on);
    }
    ~QuietShare() { DeleteFileW(path_.c_str()); }
    explicit operator bool() const { return made_; }

private:
    std::wstring path_;
    bool made_ = false;
};

bool SlowShareMapped() { return GetDriveTypeW(L"S:\\") == DRIVE_REMOTE; }

// Once the share answers again, a graph let go while stuck ends too, and with it the
// library's last object.
void ExpectEveryGraphFreed()
{
    EXPECT_TRUE(WaitUntil([] { return LibraryObjectCount() == 0; }, 10000, true))
        << "a stuck graph was never freed";
}

// Plays a clip from the slow share until `seconds` into it; the share then goes quiet for as
// long as `quiet` lives.
void PlayFromShareThenQuiet(Session &s, const wchar_t *clip, double seconds, std::optional<QuietShare> &quiet)
{
    s.Start(ItemFor(clip));
    ASSERT_TRUE(WaitForPosition(s.player.Get(), seconds, 15000)) << "the clip on the share never played";
    quiet.emplace();
    ASSERT_TRUE(*quiet);
}

// A stream that stops coming mid-file ends as stalled once no sample has come for the limit
// (the graph's position runs on with the clock meanwhile), and the next item plays at once,
// although the stalled one's reads still wait.
TEST(Playback, AStreamThatStopsComingEndsAsStalled)
{
    if (!SlowShareMapped())
        GTEST_SKIP() << "no slow share: run_engine.sh makes it with FUSE";
    Watchdog watchdog(120000, "stalled stream");
    {
        Session s;
        std::optional<QuietShare> quiet;
        ASSERT_NO_FATAL_FAILURE(PlayFromShareThenQuiet(s, L"S:\\slowclip.avi", 0.5, quiet));
        const DWORD quietFrom = GetTickCount();
        ASSERT_TRUE(s.WaitEnded(1, kStallLimitMs + 30000));
        EXPECT_HR(kPlaybackStalled, s.LastEnded().result);
        EXPECT_GE(s.LastEnded().tick - quietFrom, kStallLimitMs);

        PlaybackItem good = ItemFor(Media(L"long.avi"));
        good.validMask = ITEM_FILENAME;
        const DWORD next = GetTickCount();
        s.Start(good);
        EXPECT_TRUE(WaitForPosition(s.player.Get(), 0.3, 10000)) << "the next item never played";
        EXPECT_LT(GetTickCount() - next, 10000u);
    }
    ExpectEveryGraphFreed();
}

// The share stops answering 1 s into a 5 s clip: the position reaches the end while no end
// event can come (the last reads wait). The item ends as played a little after its end,
// before it would count as stalled.
TEST(Playback, AnEndEventThatDoesNotComeEndsTheItemAnyway)
{
    if (!SlowShareMapped())
        GTEST_SKIP() << "no slow share: run_engine.sh makes it with FUSE";
    Watchdog watchdog(120000, "end never comes");
    {
        Session s;
        std::optional<QuietShare> quiet;
        ASSERT_NO_FATAL_FAILURE(PlayFromShareThenQuiet(s, L"S:\\slowshort.avi", 1.0, quiet));
        const DWORD from = GetTickCount();
        ASSERT_TRUE(s.WaitEnded(1, kStallLimitMs + 30000));
        EXPECT_HR(S_OK, s.LastEnded().result);
        const DWORD took = s.LastEnded().tick - from;
        EXPECT_GE(took, 4000u + kEndEventLimitMs - 500) << "ended before the clip's end";
        EXPECT_LT(took, 4000u + kEndEventLimitMs + 2000);
    }
    ExpectEveryGraphFreed();
}

TEST(Playback, StillPictureShowsForTheDisplayDuration)
{
    Watchdog watchdog(60000, "still picture");
    ScopedDword duration(kReelhavenKey, L"PictureDisplayDuration", 2);
    Session s;
    const DWORD start = GetTickCount();
    s.Start(ItemFor(Media(L"still.jpg")));
    ASSERT_TRUE(s.WaitEnded(1));
    EXPECT_HR(S_OK, s.LastEnded().result);
    const DWORD took = s.LastEnded().tick - start;
    EXPECT_LE(took, 7000u);
    // Wine's filter graph completes a still at once whatever stop time it was given (its
    // duration is 0); Windows holds it until the stop time.
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine ignores a stop time beyond a still's duration (ended after " << took << " ms)";
    EXPECT_GE(took, 1800u);
}

TEST(Events, InputReachesTheSinkOnThePlaybackThread)
{
    Watchdog watchdog(60000, "input");
    Session s;
    PlaybackItem item = ItemFor(Media(L"long.avi"));
    item.style = 0; // full screen, cursor hidden over the video
    s.Start(item);
    ASSERT_TRUE(WaitForPosition(s.player.Get(), 0.3, 20000));
    const HWND window = PlayerWindow(s.player.Get());
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    SetForegroundWindow(window);
    Sleep(200);

    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = 'A';
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    EXPECT_TRUE(InputReaches(s, {MouseAt(30000, 20000), keys[0], keys[1]}, {WM_MOUSEMOVE, WM_KEYDOWN, WM_KEYUP}));
    for (const SinkCall &call : s.sink->Calls(SINK_INPUT)) {
        EXPECT_EQ(ThreadIdOf(s.player.Get()), call.thread);
        EXPECT_TRUE(call.message == WM_KEYDOWN || call.message == WM_KEYUP ||
                    (call.message >= WM_MOUSEMOVE && call.message <= WM_MBUTTONDBLCLK))
            << std::hex << call.message;
        if (call.message == WM_KEYDOWN) {
            EXPECT_EQ(WPARAM('A'), call.wParam);
        }
    }
}

// Moves the mouse (absolute, in 1/65536 of the screen) to x and a little right of it, so
// that the cursor moves even if it already stood at the first place.
bool MouseMoveReaches(Session &s, LONG x, LONG y)
{
    return InputReaches(s, {MouseAt(x, y), MouseAt(x + 2000, y)}, {WM_MOUSEMOVE});
}

// An open that never completes (a pipe nobody writes to, as a dead network share) must not
// stop the player window from answering, and must not hold up the last Release.
TEST(Events, InputWhileAnOpenBlocksAndAPromptRelease)
{
    Watchdog watchdog(60000, "blocked open");
    const std::wstring pipe = L"\\\\.\\pipe\\reelhaven-blocked-" + std::to_wstring(GetCurrentProcessId());
    UniqueHandle server(CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                         4096, 4096, 0, nullptr));
    ASSERT_NE(INVALID_HANDLE_VALUE, server.get());
    auto s = std::make_unique<Session>();
    PlaybackItem item = ItemFor(pipe);
    item.style = 0;
    s->Start(item);
    ASSERT_NE(nullptr, PlayerWindow(s->player.Get()));
    EXPECT_FALSE(s->WaitEnded(1, 1500)) << "the open did not block";
    EXPECT_TRUE(MouseMoveReaches(*s, 30000, 20000));
    EXPECT_TRUE(MouseMoveReaches(*s, 20000, 30000));
    const DWORD start = GetTickCount();
    s.reset(); // Unadvise and the last Release
    EXPECT_LT(GetTickCount() - start, 3000u);
    server.reset(); // the stuck read fails; the loader ends by itself
}

// The end of a run while the next item is being opened from a share that stopped answering:
// its loader holds the graph turn inside the open, and freeing the playing graph at Stop has
// to wait for that turn (until the holder's limit). The player must not make more wait.
// Plays long.avi and has S:\slownextN.avi opened ahead while the share is quiet.
class EndDuringNextOpen : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SlowShareMapped())
            GTEST_SKIP() << "no slow share: run_engine.sh makes it with FUSE";
        s_ = std::make_unique<Session>();
        PlaybackItem item = ItemFor(Media(L"long.avi"));
        item.style = 0;
        s_->Start(item);
        ASSERT_TRUE(WaitForPosition(s_->player.Get(), 0.2, 20000));
        window_ = PlayerWindow(s_->player.Get());
        ASSERT_NE(nullptr, window_);
    }
    // The fixture's player opens FILE ahead while the share is quiet, so its loader holds
    // the graph turn inside the open; OTHERS more players of the test are alive.
    void OpenAheadWhileQuiet(const wchar_t *file, LONG others = 0)
    {
        quiet_.emplace();
        ASSERT_TRUE(*quiet_);
        const std::wstring name = file; // ItemFor keeps a pointer to it
        PlaybackItem hint = ItemFor(name);
        hint.style = 0;
        // The players alone (no loader), then one loader more: objects of earlier tests
        // going meanwhile would hide whether the open is under way.
        ASSERT_TRUE(WaitUntil([others] { return LibraryObjectCount() == 1 + others; }, 10000, true));
        ASSERT_HR(S_OK, s_->player->PrepareNextItem(&hint));
        Sleep(500); // the loader is inside the open, holding the turn
        ASSERT_EQ(2 + others, LibraryObjectCount()) << "no open of the next item under way";
    }
    void OpenNextWhileQuiet(const wchar_t *file)
    {
        ASSERT_NO_FATAL_FAILURE(OpenAheadWhileQuiet(file));
        ASSERT_HR(S_OK, s_->player->Stop());
        Sleep(100); // as the run does its own things first: the Stop is under way
    }
    // Milliseconds a GetItem of PLAYER takes.
    static DWORD GetItemTakes(Framewheel *player)
    {
        const DWORD start = GetTickCount();
        PlaybackItem read{};
        EXPECT_HR(S_OK, player->GetItem(&read));
        CoTaskString name(read.fileName);
        return GetTickCount() - start;
    }
    void TearDown() override
    {
        s_.reset();
        quiet_.reset(); // the waiting reads return; the loader ends by itself
    }

    std::unique_ptr<Session> s_;
    std::optional<QuietShare> quiet_;
    HWND window_ = nullptr;
};

// The position read that follows Stop (the run's "continue where stopped") shares the
// renderer lock with the free.
TEST_F(EndDuringNextOpen, GetItemAfterStopDoesNotWaitForTheOpen)
{
    Watchdog watchdog(60000, "GetItem during the next item's open");
    ASSERT_NO_FATAL_FAILURE(OpenNextWhileQuiet(L"S:\\slownext1.avi"));
    EXPECT_LT(GetItemTakes(s_->player.Get()), 1000u) << "GetItem waited for the open";
}

// Another player changes to the item it has prepared while the fixture's open holds the
// turn: freeing the outgoing graph waits for the turn, and a position read meanwhile must not
// wait with it.
TEST_F(EndDuringNextOpen, GetItemDuringAChangeDoesNotWaitForAnotherOpen)
{
    Watchdog watchdog(60000, "GetItem during a change while another player opens");
    Session other;
    PlaybackItem item = ItemFor(Media(L"long.avi"));
    item.style = 0;
    other.Start(item);
    ASSERT_TRUE(WaitForPosition(other.player.Get(), 0.2, 20000));
    const std::wstring &next = Media(L"short.avi");
    PlaybackItem hint = ItemFor(next);
    hint.style = 0;
    ASSERT_HR(S_OK, other.player->PrepareNextItem(&hint));
    // That preparation's loader must be done before the open below takes the turn, or it
    // would wait for the turn itself: seen to start (one object more) and to end. It lives
    // for a graph build at least, far longer than the 1 ms between looks.
    bool started = false, ended = false;
    for (const DWORD since = GetTickCount(); !ended && GetTickCount() - since < 10000; Sleep(1)) {
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&message);
        const LONG count = LibraryObjectCount();
        started = started || count > 2;
        ended = started && count == 2;
    }
    ASSERT_TRUE(ended) << "the next item's preparation was not seen to start and end";
    ASSERT_NO_FATAL_FAILURE(OpenAheadWhileQuiet(L"S:\\slownext3.avi", 1));
    ASSERT_HR(S_OK, other.player->SetItem(&hint));
    ASSERT_HR(S_OK, other.player->Play());
    Sleep(100); // the change is under way
    EXPECT_LT(GetItemTakes(other.player.Get()), 1000u) << "GetItem waited for the outgoing graph's free";
}

// The screen comes back at the last Release, seen from another thread as the viewer would.
TEST_F(EndDuringNextOpen, TheScreenComesBackAtTheLastRelease)
{
    Watchdog watchdog(60000, "screen back during the next item's open");
    ASSERT_NO_FATAL_FAILURE(OpenNextWhileQuiet(L"S:\\slownext2.avi"));
    std::atomic<DWORD> hiddenAfter{MAXDWORD};
    const DWORD start = GetTickCount();
    std::thread watcher([&] {
        while (GetTickCount() - start < 10000 && IsWindow(window_) && IsWindowVisible(window_))
            Sleep(5);
        hiddenAfter = GetTickCount() - start;
    });
    s_.reset(); // Unadvise and the last Release
    watcher.join();
    EXPECT_LT(hiddenAfter.load(), 1000u) << "the player window stayed up while the open held the turn";
}

// A player's end breaks off its loads at once (LoadsUnderWay). A load on its way, here held
// inside its open by the quiet share, goes no further than its build: not on to its first
// frame. One started after the break-off builds nothing. A load once done is off the list,
// so a later break-off leaves its renderer, freed by then, alone.
TEST(Loads, BrokenOffLoadsGoNoFurtherThanTheyMust)
{
    if (!SlowShareMapped())
        GTEST_SKIP() << "no slow share: run_engine.sh makes it with FUSE";
    Watchdog watchdog(60000, "loads broken off");
    struct Probe : RHWindowedRenderer {
        using RHWindowedRenderer::RHWindowedRenderer;
        // The state the graph stands in or is on its way to; -1 without a graph.
        OAFilterState State() const
        {
            OAFilterState state = -1;
            if (control_)
                (void)control_->GetState(0, &state);
            return state;
        }
    };
    const auto loads = std::make_shared<LoadsUnderWay>();
    const auto start = [&loads](const wchar_t *file) {
        auto job = std::make_shared<LoadJob>();
        job->item.fileName = file;
        job->loads = loads;
        job->renderer = std::make_unique<Probe>(job->item, nullptr, true);
        job->renderer->CreateVideoFilters();
        job->startTick = GetTickCount();
        StartLoad(job);
        return job;
    };
    const auto state = [](const LoadJob &job) { return static_cast<Probe &>(*job.renderer).State(); };

    std::optional<QuietShare> quiet(std::in_place);
    ASSERT_TRUE(*quiet);
    const std::shared_ptr<LoadJob> underWay = start(L"S:\\slownext4.avi");
    Sleep(500); // inside the open
    ASSERT_FALSE(LoadFinished(*underWay)) << "the open did not wait for the quiet share";
    loads->BreakOff();
    const std::shared_ptr<LoadJob> later = start(Media(L"short.avi").c_str());
    quiet.reset(); // the open goes on
    for (const auto &job : {underWay, later})
        ASSERT_TRUE(WaitUntil([&job] { return LoadFinished(*job); }, 20000, true));

    // Where the platform stops a build (Windows) the load fails; Wine's builds on.
    EXPECT_TRUE(FAILED(underWay->result) || state(*underWay) == State_Stopped)
        << "a broken-off load went on to its first frame: state " << state(*underWay);
    EXPECT_EQ(E_ABORT, later->result);
    EXPECT_EQ(-1, state(*later)) << "a load started after the break-off built a graph";

    for (const auto &job : {underWay, later})
        job->renderer.reset(); // on this thread, their windows' own
    loads->BreakOff();
}

// The input routing of the first Play survives its failed load and reaches the video
// windows of the next item: a mouse moved over the picture reaches the sink.
TEST(Events, MouseOverThePictureAfterAFailedFirstLoad)
{
    Watchdog watchdog(60000, "input after a failed load");
    Session s;
    const std::wstring &next = Media(L"long.avi");
    s.sink->onEnded = [&](IHCYFramewheel *player, HRESULT result) {
        if (FAILED(result)) {
            PlaybackItem item = ItemFor(next);
            item.validMask = ITEM_FILENAME;
            player->SetItem(&item);
            player->Play();
        }
    };
    PlaybackItem item = ItemFor(Media(L"missing.avi"));
    item.style = 0;
    s.Start(item);
    ASSERT_TRUE(s.WaitEnded(1));
    ASSERT_TRUE(WaitForPosition(s.player.Get(), 0.3, 20000));
    EXPECT_TRUE(MouseMoveReaches(s, 30000, 20000));
    EXPECT_TRUE(MouseMoveReaches(s, 34000, 30000));
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0xdead;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, 10000, &result);
    return static_cast<LRESULT>(result);
}

TEST(Events, CloseEndSessionAndPower)
{
    Watchdog watchdog(60000, "close/end session");
    Session s;
    s.sink->closeAnswer = S_FALSE;
    s.Start(ItemFor(Media(L"long.avi")));
    const HWND window = PlayerWindow(s.player.Get());
    ASSERT_NE(nullptr, window);
    const HANDLE thread = s.player->PlaybackThreadHandle();

    // A refusing sink: WM_CLOSE does nothing, the end of the session is refused.
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(s.sink->WaitFor(SINK_QUERY_CLOSE, 1, 5000));
    EXPECT_EQ(0, s.sink->Calls(SINK_QUERY_CLOSE)[0].reason);
    EXPECT_EQ(FALSE, Send(window, WM_QUERYENDSESSION, 0, 0));
    ASSERT_EQ(2u, s.sink->Calls(SINK_QUERY_CLOSE).size());
    EXPECT_EQ(1, s.sink->Calls(SINK_QUERY_CLOSE)[1].reason);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 300));
    EXPECT_TRUE(IsWindow(window));

    // Monitor power: reported with the requested state unless blocked; blocked, swallowed.
    Send(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
    ASSERT_EQ(1u, s.sink->Calls(SINK_MONITOR_POWER).size());
    EXPECT_EQ(2, s.sink->Calls(SINK_MONITOR_POWER)[0].lParam);
    PlaybackItem block = DefaultPlaybackItem();
    block.validMask = 0;
    block.blockMonitorPower = 1;
    ASSERT_HR(S_OK, s.player->SetItem(&block));
    EXPECT_EQ(0, Send(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2));
    EXPECT_EQ(0, Send(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0));
    EXPECT_EQ(1u, s.sink->Calls(SINK_MONITOR_POWER).size());
    for (const SinkCall &call : s.sink->Calls(SINK_QUERY_CLOSE))
        EXPECT_EQ(ThreadIdOf(s.player.Get()), call.thread);

    // Agreed: the end of the session stops the thread, which takes its window along; the
    // thread is not started again.
    s.sink->closeAnswer = S_OK;
    EXPECT_EQ(TRUE, Send(window, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_HR(S_OK, s.player->Play());
    EXPECT_EQ(thread, s.player->PlaybackThreadHandle());

    // WM_CLOSE agreed by every sink ends the thread of another player.
    Session other;
    other.Start(ItemFor(Media(L"short.avi"), -1));
    const HWND otherWindow = PlayerWindow(other.player.Get());
    ASSERT_NE(nullptr, otherWindow);
    PostMessageW(otherWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(other.player->PlaybackThreadHandle(), 10000));
}

TEST(Events, SinkInASingleThreadedApartmentIsCalledThroughItsLoop)
{
    Watchdog watchdog(60000, "STA sink");
    Session s(true, 0); // the sink registers from its own apartment below
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HRESULT adviseResult = E_FAIL, getItemResult = E_FAIL, unadviseResult = E_FAIL;
    std::wstring nameSeen;
    DWORD staThread = 0;
    // GetItem back through the player proxy the sink was handed: the item is over, so the
    // renderer lock is free and the call returns. Unadvise through it runs on another
    // thread, within this very call: it must not wait for the call.
    s.sink->onEnded = [&](IHCYFramewheel *proxy, HRESULT) {
        PlaybackItem item{};
        getItemResult = proxy->GetItem(&item);
        if (SUCCEEDED(getItemResult) && item.fileName)
            nameSeen = item.fileName;
        CoTaskMemFree(item.fileName);
        unadviseResult = proxy->Unadvise(s.cookie);
    };
    Worker sta([&] {
        ComApartment apartment(COINIT_APARTMENTTHREADED);
        staThread = GetCurrentThreadId();
        adviseResult = s.player->Advise(s.sink.Get(), EVENT_PLAYBACK_ENDED, &s.cookie);
        SetEvent(ready.get());
        WaitUntil([&] { return IsSignalled(quit.get()); }, 20000, true);
        (void)s.player->Unadvise(s.cookie);
        // Releases of this apartment's proxies and stubs still on their way are served
        // before the apartment closes.
        WaitUntil([] { return false; }, 500, true);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.get(), 10000));
    ASSERT_HR(S_OK, adviseResult);
    s.Start(ItemFor(Media(L"short.avi")));
    EXPECT_TRUE(s.WaitEnded(1));
    SetEvent(quit.get());
    ASSERT_TRUE(sta.Finished(10000));
    ASSERT_EQ(1u, s.Ended());
    EXPECT_EQ(staThread, s.LastEnded().thread);
    EXPECT_HR(S_OK, s.LastEnded().result);
    EXPECT_HR(S_OK, getItemResult);
    EXPECT_EQ(Media(L"short.avi"), nameSeen);
    EXPECT_HR(S_OK, unadviseResult);
    EXPECT_EQ(0u, s.player->SinkCount(SINK_PLAYBACK_ENDED));
}

} // namespace
