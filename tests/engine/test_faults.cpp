// The player under conditions that used to hang or end the process: a last Release on a
// thread the playback thread needs, Unadvise during a call to that sink, a damaged item, and
// allocations that fail. Every wait is bounded; a watchdog ends a deadlocked test.
#include "engine_test.h"

#include <cstdlib>
#include <limits>
#include <new>

#include "server/module.h"

namespace {

// Allocations of one thread fail on demand: after `allowed` more have gone through, the
// next `failures` throw. Every other thread allocates as usual.
std::atomic<DWORD> g_failThread{0};
std::atomic<int> g_allowed{0};
std::atomic<int> g_failures{0};

void FailAllocations(DWORD thread, int allowed, int failures = 1)
{
    g_allowed = allowed;
    g_failures = failures;
    g_failThread = thread;
}

bool FailThisAllocation()
{
    if (g_failures.load() <= 0 || GetCurrentThreadId() != g_failThread.load())
        return false;
    if (g_allowed.fetch_sub(1) > 0)
        return false;
    return g_failures.fetch_sub(1) > 0;
}

} // namespace

void *operator new(std::size_t size)
{
    if (FailThisAllocation())
        throw std::bad_alloc();
    if (void *block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}
void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }

namespace {

// The playback thread creates, places and destroys a child of a window of the caller's
// thread, sending it messages each time; that thread asks for the position and makes the
// last Release meanwhile.
TEST(Waits, ParentWindowOnTheCallersThread)
{
    Watchdog watchdog(60000, "a parent window on the caller's thread");
    bool played = false;
    Worker owner([&] {
        ComApartment apartment(COINIT_MULTITHREADED);
        const HWND parent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                            0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
        ComPtr<Framewheel> player = NewPlayer(true);
        PlaybackItem item = ItemFor(Media(L"short.avi"), -1);
        item.parentWindow = HandleToULong(parent);
        (void)player->SetItem(&item);
        (void)player->Play();
        played = WaitUntil([&] { return PositionOf(player.Get()) > 0.2; }, 20000, true);
        player.Reset();
        DestroyWindow(parent);
    });
    ASSERT_TRUE(owner.Finished(30000));
    EXPECT_TRUE(played);
}

TEST(Waits, LastReleaseInTheApartmentOfASinkWithACallOnItsWay)
{
    Watchdog watchdog(60000, "release in the sink's apartment");
    ComPtr<TestSink> sink = NewSink();
    UniqueHandle thread;
    bool queued = false, ended = false;
    Worker sta([&] {
        ComApartment apartment(COINIT_APARTMENTTHREADED);
        ComPtr<Framewheel> player = NewPlayer(true);
        LONGLONG cookie = 0;
        (void)player->Advise(sink.Get(), EVENT_INPUT, &cookie);
        const PlaybackItem item = ItemFor(Media(L"short.avi"), -1);
        (void)player->SetItem(&item);
        (void)player->Play();
        const HWND window = PlayerWindow(player.Get());
        thread = PlaybackThreadOf(player.Get());
        PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
        WaitUntil([&] { return !sink->Calls(SINK_INPUT).empty(); }, 10000, true);
        // One more, and this thread stops serving until the call waits in its queue.
        PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(9, 9));
        queued = WaitUntil([] { return HIWORD(GetQueueStatus(QS_POSTMESSAGE)) != 0; }, 10000);
        player.Reset();
        ended = WaitUntil([&] { return IsSignalled(thread.get()); }, 20000, true);
    });
    ASSERT_TRUE(sta.Finished(40000));
    EXPECT_TRUE(queued);
    EXPECT_TRUE(ended);
}

TEST(Waits, UnadviseWaitsForTheCallInFlight)
{
    Watchdog watchdog(60000, "unadvise during a call");
    Session s(true, EVENT_PLAYBACK_ENDED);
    UniqueHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle leave(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> inCall{false};
    s.sink->onEnded = [&](IHCYFramewheel *, HRESULT) {
        inCall = true;
        SetEvent(entered.get());
        WaitForSingleObject(leave.get(), 20000);
        inCall = false;
    };
    s.Start(ItemFor(Media(L"short.avi")));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered.get(), 20000));

    HRESULT unadvised = E_FAIL;
    bool callOverAtReturn = false;
    Worker caller([&] {
        unadvised = s.player->Unadvise(s.cookie);
        callOverAtReturn = !inCall;
    });
    EXPECT_FALSE(caller.Finished(300)); // still inside the sink
    SetEvent(leave.get());
    ASSERT_TRUE(caller.Finished(10000));
    EXPECT_HR(S_OK, unadvised);
    EXPECT_TRUE(callOverAtReturn);
}

// Values a damaged playlist can carry play like any others. The sink then unadvises itself
// from its own event, on the playback thread: Unadvise must not wait for that call.
TEST(Playback, DamagedSettingsPlayAndEnd)
{
    Watchdog watchdog(60000, "damaged settings");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Session s;
    HRESULT unadvised = E_FAIL;
    s.sink->onEnded = [&](IHCYFramewheel *self, HRESULT) { unadvised = self->Unadvise(s.cookie); };
    PlaybackItem item = ItemFor(Media(L"short.avi"));
    item.bounce = 1;
    item.scale = static_cast<float>(nan);
    item.xPosition = inf;
    item.yPosition = -1e300;
    item.rate = static_cast<float>(nan);
    item.bounceStep = 1e300;
    item.bounceInterval = -inf;
    s.Start(item);
    ASSERT_TRUE(s.WaitEnded(1));
    EXPECT_HR(S_OK, s.LastEnded().result);
    EXPECT_HR(S_OK, unadvised);
    EXPECT_EQ(0u, s.player->SinkCount(SINK_INPUT));
}

TEST(OutOfMemory, CreationFailsCleanlyAtEveryAllocation)
{
    const LONG before = LibraryObjectCount();
    int failed = 0;
    for (int allowed = 0; allowed < 100; ++allowed) {
        void *object = reinterpret_cast<void *>(1);
        FailAllocations(GetCurrentThreadId(), allowed);
        const HRESULT hr = CreateFramewheelObject(IID_IHCYFramewheel, &object);
        const bool exhausted = g_failures.load() > 0;
        FailAllocations(0, 0, 0);
        if (exhausted) { // every allocation went through
            ASSERT_HR(S_OK, hr);
            static_cast<IHCYFramewheel *>(object)->Release();
            break;
        }
        EXPECT_HR(E_OUTOFMEMORY, hr) << "allocation " << allowed;
        EXPECT_EQ(nullptr, object);
        ++failed;
    }
    EXPECT_GE(failed, 2); // the object and its members
    EXPECT_EQ(before, LibraryObjectCount());
}

TEST(OutOfMemory, OnThePlaybackThreadTheItemEnds)
{
    Watchdog watchdog(90000, "allocations failing on the playback thread");
    Session s(true, EVENT_PLAYBACK_ENDED);
    PlaybackItem item = ItemFor(Media(L"short.avi"));
    s.Start(item);
    ASSERT_TRUE(s.WaitEnded(1));
    const DWORD thread = GetThreadId(s.player->PlaybackThreadHandle());

    // A new style after the item ended: the Play copies the file name (the first
    // allocation), then builds a window and a renderer (the windowed one's first).
    struct Case {
        LONG style;
        int allowed;
    } cases[] = {{2, 0}, {STYLE_WINDOWED, 1}};
    size_t ended = 1;
    for (const Case &c : cases) {
        item.style = c.style;
        ASSERT_HR(S_OK, s.player->SetItem(&item));
        FailAllocations(thread, c.allowed);
        ASSERT_HR(S_OK, s.player->Play());
        ASSERT_TRUE(s.WaitEnded(++ended)) << c.allowed;
        EXPECT_EQ(0, g_failures.load()) << c.allowed;
        FailAllocations(0, 0, 0);
        EXPECT_HR(E_OUTOFMEMORY, s.LastEnded().result) << c.allowed;
        // With memory back the next Play builds what failed and plays the item to its end.
        ASSERT_HR(S_OK, s.player->Play());
        ASSERT_TRUE(s.WaitEnded(++ended)) << c.allowed;
        EXPECT_HR(S_OK, s.LastEnded().result) << c.allowed;
    }
}

} // namespace
