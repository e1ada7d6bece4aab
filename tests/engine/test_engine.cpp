// The player object without playback: interfaces and counts, the command words SetItem
// queues, GetItem, and the sink registrations. Also the program's entry: it registers
// Framewheel.dll, whose proxy/stub the Global Interface Table needs for our sink.
#include "engine_test.h"

#include <cstring>

#include "playback_watch.h"
#include "server/module.h"

std::wstring g_media;

namespace {

// Every word queued so far.
std::vector<LONG> Drain(CommandQueue &queue)
{
    std::vector<LONG> words;
    for (LONG word; (word = queue.Take()) != CMD_NONE;)
        words.push_back(word);
    return words;
}

using Words = std::vector<LONG>;

TEST(PlayerObject, InterfacesCountsAndItemBeforePlay)
{
    const LONG libraryBefore = LibraryObjectCount();
    {
        ComPtr<Framewheel> player = NewPlayer();
        EXPECT_EQ(libraryBefore + 1, LibraryObjectCount());
        EXPECT_HR(E_POINTER, player->QueryInterface(IID_IUnknown, nullptr));
        void *out = reinterpret_cast<void *>(1);
        EXPECT_HR(E_NOINTERFACE, player->QueryInterface(IID_IDispatch, &out));
        EXPECT_EQ(nullptr, out);
        ComPtr<IUnknown> unknown;
        ComPtr<IHCYFramewheel> first;
        ComPtr<IHCYFramewheel2> second;
        ASSERT_HR(S_OK, player.As(&unknown));
        ASSERT_HR(S_OK, player.As(&first));
        ASSERT_HR(S_OK, player.As(&second));
        EXPECT_EQ(static_cast<void *>(unknown.Get()), static_cast<void *>(first.Get()));
        EXPECT_EQ(static_cast<void *>(first.Get()), static_cast<void *>(second.Get()));
        EXPECT_EQ(libraryBefore + 4, LibraryObjectCount());
        EXPECT_HR(E_NOTIMPL, player->Reserved());

        // Stored settings come back with position 0.0 (no renderer yet) and the caller's mask.
        const std::wstring file = L"C:\\clips\\One.avi";
        PlaybackItem in = ItemFor(file, 4);
        in.position = 7.5;
        in.reserved = 9;
        ASSERT_HR(S_OK, player->SetItem(&in));
        PlaybackItem out1{};
        out1.validMask = 0x1234;
        ASSERT_HR(S_OK, player->GetItem(&out1));
        CoTaskString name(out1.fileName);
        EXPECT_STREQ(L"C:\\clips\\One.avi", name.get());
        EXPECT_NE(in.fileName, name.get());
        EXPECT_EQ(0x1234u, out1.validMask);
        EXPECT_EQ(0.0, out1.position);
        EXPECT_EQ(4, out1.loops);
        EXPECT_EQ(0, out1.reserved); // never taken
        EXPECT_HR(E_POINTER, player->GetItem(nullptr));
        EXPECT_HR(E_POINTER, player->SetItem(nullptr));
    }
    EXPECT_EQ(libraryBefore, LibraryObjectCount());

    // Created through the factory function: an interface the object lacks destroys it.
    void *out = reinterpret_cast<void *>(1);
    EXPECT_HR(E_NOINTERFACE, CreateFramewheelObject(IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(libraryBefore, LibraryObjectCount());
    ComPtr<IHCYFramewheel2> created;
    ASSERT_HR(S_OK, CreateFramewheelObject(IID_IHCYFramewheel2, &created));
    EXPECT_EQ(libraryBefore + 1, LibraryObjectCount());
    created.Reset();
    EXPECT_EQ(libraryBefore, LibraryObjectCount());
}

TEST(PlayerObject, SetItemCommandWords)
{
    ComPtr<Framewheel> player = NewPlayer();
    CommandQueue &queue = player->PlaybackQueue();
    CommandQueue &timer = player->TimerQueue();

    // The first item counts every masked group as changed, even at the defaults.
    PlaybackItem item = DefaultPlaybackItem();
    ASSERT_HR(S_OK, player->SetItem(&item));
    const LONG everything = CMD_LOAD | CMD_RENDERER | CMD_LAYOUT | CMD_VOLUME | CMD_SEEK |
                            CMD_RATE | CMD_LOOPS | CMD_BOUNCE;
    EXPECT_EQ(Words{everything}, Drain(queue));
    EXPECT_EQ(Words{everything}, Drain(timer)); // it carries CMD_BOUNCE

    // The same record again: only the loop count, which is always queued.
    ASSERT_HR(S_OK, player->SetItem(&item));
    EXPECT_EQ(Words{CMD_LOOPS}, Drain(queue));
    EXPECT_EQ(Words{}, Drain(timer));

    // File names: null is the empty string, the same name loads nothing, case counts.
    item.validMask = ITEM_FILENAME;
    const wchar_t *names[] = {nullptr, L"C:\\clips\\movie.avi", L"C:\\clips\\movie.avi", L"C:\\clips\\Movie.avi"};
    for (const wchar_t *name : names) {
        item.fileName = const_cast<wchar_t *>(name);
        ASSERT_HR(S_OK, player->SetItem(&item));
    }
    EXPECT_EQ((Words{CMD_LOAD, CMD_LOAD}), Drain(queue));

    // One group at a time, each changed from the stored value.
    struct Case {
        DWORD bit;
        void (*change)(PlaybackItem &);
        LONG word;
    };
    const Case cases[] = {
        {ITEM_BOUNCE, [](PlaybackItem &i) { i.bounce = 5; }, CMD_BOUNCE},
        {ITEM_BOUNCE_MOTION, [](PlaybackItem &i) { i.bounceInterval = 40; }, CMD_BOUNCE},
        {ITEM_BOUNCE_MOTION, [](PlaybackItem &i) { i.bounceStep = 3; }, CMD_BOUNCE},
        {ITEM_KEEP_ASPECT, [](PlaybackItem &i) { i.keepAspect = 0; }, CMD_LAYOUT},
        {ITEM_STYLE, [](PlaybackItem &i) { i.style = 1; }, CMD_RENDERER},
        {ITEM_PER_MONITOR, [](PlaybackItem &i) { i.perMonitor = 0; }, CMD_RENDERER},
        {ITEM_POSITION, [](PlaybackItem &i) { i.position = 2.5; }, CMD_SEEK},
        {ITEM_SCALE, [](PlaybackItem &i) { i.scale = 0.5f; }, CMD_LAYOUT},
        {ITEM_SCALE_TO_SCREEN, [](PlaybackItem &i) { i.scaleToScreen = 0; }, CMD_LAYOUT},
        {ITEM_RATE, [](PlaybackItem &i) { i.rate = 2.0f; }, CMD_RATE},
        {ITEM_POSITION_XY, [](PlaybackItem &i) { i.yPosition = 0.25; }, CMD_LAYOUT},
        {ITEM_VOLUME, [](PlaybackItem &i) { i.volume = 60; }, CMD_VOLUME},
        {ITEM_WINDOW_RECT, [](PlaybackItem &i) { i.windowHeight = 99; }, CMD_LAYOUT},
        {ITEM_PARENT, [](PlaybackItem &i) { i.parentWindow = 0x1234; }, CMD_LAYOUT},
        {ITEM_RESERVED, [](PlaybackItem &i) { i.reserved = 1; }, 0},
    };
    for (const Case &c : cases) {
        PlaybackItem changed = item;
        c.change(changed);
        changed.validMask = c.bit;
        ASSERT_HR(S_OK, player->SetItem(&changed));
        EXPECT_EQ(c.word ? Words{c.word} : Words{}, Drain(queue)) << "mask bit 0x" << std::hex << c.bit;
        const bool bounce = (c.word & CMD_BOUNCE) != 0;
        EXPECT_EQ(bounce ? Words{c.word} : Words{}, Drain(timer)) << "mask bit 0x" << std::hex << c.bit;
        // Unmasked, a differing value is neither stored nor queued.
        PlaybackItem again = item;
        again.validMask = ITEM_ALL & ~c.bit & ~ITEM_LOOPS;
        ASSERT_HR(S_OK, player->SetItem(&again));
        EXPECT_EQ(Words{}, Drain(queue)) << "mask bit 0x" << std::hex << c.bit;
        item = changed;
    }
    // A normalised flag: 5 was stored as 1, so 7 is no change.
    item.bounce = 7;
    item.validMask = ITEM_BOUNCE | ITEM_LOOPS;
    ASSERT_HR(S_OK, player->SetItem(&item));
    EXPECT_EQ(Words{CMD_LOOPS}, Drain(queue));

    // Both block flags are always taken (normalised), whatever the mask; nothing is queued.
    item.validMask = 0;
    item.blockScreenSaver = 9;
    item.blockMonitorPower = 1;
    item.volume = 1;
    ASSERT_HR(S_OK, player->SetItem(&item));
    EXPECT_EQ(Words{}, Drain(queue));
    PlaybackItem out{};
    ASSERT_HR(S_OK, player->GetItem(&out));
    CoTaskMemFree(out.fileName);
    EXPECT_EQ(1, out.blockScreenSaver);
    EXPECT_EQ(1, out.blockMonitorPower);
    EXPECT_EQ(60, out.volume);
    EXPECT_EQ(0.25, out.yPosition);
    EXPECT_EQ(0, out.perMonitor);
}

TEST(PlayerObject, EmptyMaskUsesUpTheFirstItem)
{
    ComPtr<Framewheel> player = NewPlayer();
    PlaybackItem item = DefaultPlaybackItem();
    item.validMask = 0;
    ASSERT_HR(S_OK, player->SetItem(&item));
    EXPECT_EQ(Words{}, Drain(player->PlaybackQueue()));
    // Defaults now compare equal: nothing but the loop count.
    item.validMask = ITEM_ALL;
    ASSERT_HR(S_OK, player->SetItem(&item));
    EXPECT_EQ(Words{CMD_LOOPS}, Drain(player->PlaybackQueue()));
    EXPECT_EQ(Words{}, Drain(player->TimerQueue()));
    // Play, Pause and Stop only queue, to both queues.
    ASSERT_HR(S_OK, player->Pause());
    ASSERT_HR(S_OK, player->Stop());
    EXPECT_EQ((Words{CMD_PAUSE, CMD_STOP}), Drain(player->PlaybackQueue()));
    EXPECT_EQ((Words{CMD_PAUSE, CMD_STOP}), Drain(player->TimerQueue()));
    EXPECT_EQ(nullptr, player->PlaybackThreadHandle());
}

// A sink whose own marshalling fails on its second registration in the Global Interface
// Table (the table marshals every registration through IMarshal).
class FailingMarshalSink final : public TestSink, public IMarshal {
public:
    static constexpr HRESULT kFailure = static_cast<HRESULT>(0x8004cafe);
    LONG marshalled = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!IsEqualIID(riid, IID_IMarshal))
            return TestSink::QueryInterface(riid, ppv);
        *ppv = static_cast<IMarshal *>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return TestSink::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return TestSink::Release(); }

    STDMETHODIMP GetUnmarshalClass(REFIID, void *, DWORD, void *, DWORD, CLSID *clsid) override
    {
        *clsid = CLSID_Framewheel;
        return S_OK;
    }
    STDMETHODIMP GetMarshalSizeMax(REFIID, void *, DWORD, void *, DWORD, DWORD *size) override
    {
        *size = 0;
        return S_OK;
    }
    STDMETHODIMP MarshalInterface(IStream *, REFIID, void *, DWORD, void *, DWORD) override
    {
        return ++marshalled >= 2 ? kFailure : S_OK;
    }
    STDMETHODIMP UnmarshalInterface(IStream *, REFIID, void **) override { return E_NOTIMPL; }
    STDMETHODIMP ReleaseMarshalData(IStream *) override { return S_OK; }
    STDMETHODIMP DisconnectObject(DWORD) override { return S_OK; }
};

size_t AllSinks(Framewheel *player)
{
    size_t count = 0;
    for (int e = 0; e < SINK_EVENT_COUNT; ++e)
        count += player->SinkCount(static_cast<SinkEvent>(e));
    return count;
}

TEST(PlayerObject, AdviseAndUnadvise)
{
    ComPtr<Framewheel> player = NewPlayer();
    ComPtr<TestSink> sink = NewSink();
    const LONGLONG low = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(
        static_cast<IHCYFramewheelEventSink *>(sink.Get())));

    LONGLONG cookie = 0;
    ASSERT_HR(S_OK, player->Advise(sink.Get(), 0, &cookie));
    EXPECT_EQ(low, cookie); // high half 0, nothing registered
    ASSERT_HR(S_OK, player->Advise(sink.Get(), EVENT_INPUT | EVENT_QUERY_CLOSE | 0x30, &cookie));
    EXPECT_EQ(low | (0x3aLL << 32), cookie);
    LONGLONG same = 0;
    ASSERT_HR(S_OK, player->Advise(sink.Get(), EVENT_INPUT | EVENT_QUERY_CLOSE | 0x30, &same));
    EXPECT_EQ(cookie, same);
    LONGLONG all = 0;
    ASSERT_HR(S_OK, player->Advise(sink.Get(), EVENT_ALL, &all));
    EXPECT_EQ(1u, player->SinkCount(SINK_PLAYBACK_ENDED));
    EXPECT_EQ(3u, player->SinkCount(SINK_INPUT));
    EXPECT_EQ(1u, player->SinkCount(SINK_MONITOR_POWER));
    EXPECT_EQ(3u, player->SinkCount(SINK_QUERY_CLOSE));
    EXPECT_EQ((Words{CMD_SINKS, CMD_SINKS, CMD_SINKS, CMD_SINKS}), Drain(player->PlaybackQueue()));

    EXPECT_HR(S_OK, player->Unadvise(12345));
    EXPECT_HR(S_OK, player->Unadvise(cookie)); // both registrations with that cookie
    EXPECT_EQ(1u, player->SinkCount(SINK_INPUT));
    EXPECT_EQ(1u, player->SinkCount(SINK_QUERY_CLOSE));
    EXPECT_HR(S_OK, player->Unadvise(all));
    EXPECT_EQ(0u, AllSinks(player.Get()));
    EXPECT_EQ((Words{CMD_SINKS, CMD_SINKS, CMD_SINKS}), Drain(player->PlaybackQueue()));
    EXPECT_HR(E_POINTER, player->Advise(sink.Get(), EVENT_ALL, nullptr));

    // A registration that fails is reported and leaves nothing registered, including the
    // events of the same call that had registered before it.
    ComPtr<FailingMarshalSink> failing;
    failing.Attach(new FailingMarshalSink);
    EXPECT_HR(FailingMarshalSink::kFailure,
              player->Advise(failing.Get(), EVENT_PLAYBACK_ENDED | EVENT_INPUT, &cookie));
    EXPECT_EQ(2, failing->marshalled);
    EXPECT_EQ(0u, AllSinks(player.Get()));
    EXPECT_EQ(Words{}, Drain(player->PlaybackQueue()));
}

} // namespace

int main(int argc, char **argv) { return RunEngineTests(argc, argv); }

// The playing item's watch, on a clock of its own: a stream whose samples stop coming for
// the limit ends the item, a held still never does, and an end the framework does not report
// ends it after its own limit.
TEST(PlaybackWatch, StallsAndMissedEnds)
{
    PlaybackWatch watch;
    watch.Restart(1000);
    using V = PlaybackWatch::Verdict;
    EXPECT_EQ(V::Fine, watch.Check(1500, 0.5, 20.0, 0.5, false));
    EXPECT_EQ(V::Fine, watch.Check(1500 + kStallLimitMs - 1, 0.5, 20.0, 0.5, false));
    EXPECT_EQ(V::Stalled, watch.Check(1500 + kStallLimitMs, 0.5, 20.0, 0.5, false));
    EXPECT_EQ(V::Fine, watch.Check(1500 + kStallLimitMs, 0.5, 20.0, 0.5, true)) << "a held still";
    EXPECT_EQ(V::Fine, watch.Check(1500 + kStallLimitMs + 1, 0.6, 20.0, 0.6, false)) << "moved again";

    // The framework's end is waited for, up to its limit.
    watch.Restart(50000);
    EXPECT_EQ(V::Fine, watch.Check(50000, 20.0, 20.0, 20.0, false));
    EXPECT_EQ(V::Fine, watch.Check(50000 + kEndEventLimitMs - 1, 20.0, 20.0, 20.0, false));
    EXPECT_EQ(V::Ended, watch.Check(50000 + kEndEventLimitMs, 20.0, 20.0, 20.0, false));
    // Standing at the end is no stall: it stays an end.
    EXPECT_EQ(V::Ended, watch.Check(50000 + kStallLimitMs * 2, 20.0, 20.0, 20.0, false));
    // Without a known end (a live source) only the stall counts; the clock may wrap.
    watch.Restart(MAXDWORD - 100);
    EXPECT_EQ(V::Fine, watch.Check(MAXDWORD - 50, 1.0, 0.0, 1.0, false));
    EXPECT_EQ(V::Stalled, watch.Check(MAXDWORD - 50 + kStallLimitMs, 1.0, 0.0, 1.0, false));

    // The graph's position running on with the clock while no sample arrives is a stall.
    watch.Restart(0);
    EXPECT_EQ(V::Fine, watch.Check(500, 0.5, 20.0, 0.4, false));
    EXPECT_EQ(V::Stalled, watch.Check(500 + kStallLimitMs, 10.5, 20.0, 0.4, false));
}
