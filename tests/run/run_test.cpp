// The run's start choice and the event sink's input rules, against the library's real
// playlist object (Framewheel.dll registered by run_test.sh).
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>

#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fw_sink.h"
#include "handles.h"
#include "settings.h"
#include "show.h"
#include "test_kit.h"
#include "video_cache.h"

using Microsoft::WRL::ComPtr;

namespace {

class RunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZeroMemory(&settings_, sizeof settings_);
        settings_.noCache = true;
        settings_.bounceStep = 2;
        settings_.bounceInterval = 29;
        wcscpy(settings_.playlist, L"C:\\lists\\a.plst");
        ASSERT_HR(S_OK, CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER, IID_IHCYFWPlaylist,
                                         reinterpret_cast<void **>(playlist_.GetAddressOf())));
        cache_.Start(L"C:\\", settings_);
        show_.emplace(settings_, playlist_.Get(), cache_);
        raw_ = new FwSink(settings_, *show_, end_.get());
        ASSERT_HR(S_OK, raw_->QueryInterface(IID_IHCYFramewheelEventSink, reinterpret_cast<void **>(sink_.GetAddressOf())));
    }
    void Fill(int count)
    {
        wchar_t name[32];
        for (int i = 0; i < count; ++i) {
            PlaybackItem item = DefaultPlaybackItem();
            swprintf(name, 32, L"C:\\v\\%d.avi", i);
            item.fileName = name;
            item.xPosition = 0.1;
            ASSERT_HR(S_OK, playlist_->Insert(&item, -1));
        }
        ASSERT_HR(S_OK, playlist_->First());
    }
    LONG Current()
    {
        PlaylistPosition position{-1, 0};
        (void)playlist_->GetPosition(&position);
        return position.index;
    }
    ShowItem Start(LONG count)
    {
        (void)playlist_->First();
        return show_->ChooseStart(count);
    }

    ComApartment apartment_{COINIT_MULTITHREADED};
    Settings settings_;
    ComPtr<IHCYFWPlaylist> playlist_;
    VideoCache cache_;
    std::optional<Show> show_;
    UniqueHandle end_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    ComPtr<IHCYFramewheelEventSink> sink_;  // the run's sink, ending through end_
    FwSink *raw_ = nullptr;
};

TEST_F(RunTest, ContinueWhereStoppedWrapsAndNeedsTheExactPlaylistPath)
{
    Fill(5);
    settings_.continueWhereStopped = true;
    settings_.lastTrack = 7;  // two rounds would be 10: 7 is the third entry
    settings_.lastPosition = 12.5;
    wcscpy(settings_.lastPlaylist, settings_.playlist);
    ShowItem start = Start(5);
    EXPECT_EQ(Current(), 2);
    EXPECT_EQ(start.index, 2);
    EXPECT_EQ(start.item.fileName, L"C:\\v\\2.avi");
    // The saved position, and the run's own overrides of the entry's fields (the entry has
    // x 0.1; the bounce comes from the settings).
    const PlaybackItem &item = start.item.fields;
    EXPECT_EQ(std::tuple(item.position, item.xPosition, item.bounceStep, item.bounceInterval),
              std::tuple(12.5, 0.5, 2.0, 29.0));
    EXPECT_EQ(std::tuple(item.style, item.blockScreenSaver, item.validMask, item.loops),
              std::tuple(0, 1, static_cast<DWORD>(ITEM_ALL), 1));

    wcscpy(settings_.lastPlaylist, L"C:\\LISTS\\a.plst");  // differs in case only
    EXPECT_EQ(Start(5).item.fields.position, 0.0);
    EXPECT_EQ(Current(), 0);
}

TEST_F(RunTest, RandomStartIsNeverTheFirstAndALoneEntryLoops9999Times)
{
    Fill(4);
    settings_.randomOrderPlayback = true;
    std::set<LONG> starts;
    for (uint32_t seed = 0; seed < 200; ++seed) {
        show_->Seed(seed * 7919u);
        Start(4);
        starts.insert(Current());
    }
    EXPECT_EQ(starts, (std::set<LONG>{1, 2, 3}));

    for (int i = 0; i < 3; ++i)
        ASSERT_HR(S_OK, playlist_->Remove(-1));
    EXPECT_EQ(Start(1).item.fields.loops, 9999);
    EXPECT_EQ(Current(), 0);
}

TEST_F(RunTest, SinkEndsOnInputEvenWhenTheRunIsNotWaiting)
{
    auto ended = [&] { return WaitForSingleObject(end_.get(), 0) == WAIT_OBJECT_0; };

    // Nobody waits on the event here, as while the run handles a standby timeout: the
    // signal must still be there when it waits next.
    EXPECT_HR(S_OK, sink_->OnInput(nullptr, WM_KEYDOWN, 'A', 0));
    EXPECT_TRUE(ended());
    for (UINT message : {WM_KEYUP, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEWHEEL})
        EXPECT_EQ((sink_->OnInput(nullptr, message, 0, 0), ended()), false) << message;
    settings_.ignoreMouseMovement = true;
    for (UINT message : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        EXPECT_EQ((sink_->OnInput(nullptr, message, 0, 0), ended()), true) << message;
    EXPECT_HR(S_FALSE, sink_->OnQueryClose(nullptr, 0));
    EXPECT_FALSE(ended());
    EXPECT_HR(S_OK, sink_->OnQueryClose(nullptr, 1));
    EXPECT_TRUE(ended());

    // Mouse: the first move never ends; more than 20 pixels on one axis between two moves does.
    auto moveTo = [&](int x, int y) {
        SetCursorPos(x, y);
        (void)sink_->OnInput(nullptr, WM_MOUSEMOVE, 0, 0);
        return ended();
    };
    EXPECT_FALSE(moveTo(500, 500));  // ignored
    EXPECT_FALSE(moveTo(900, 900));
    settings_.ignoreMouseMovement = false;
    const struct { int x, y; bool ends; } moves[] = {
        {100, 100, false}, {120, 120, false}, {100, 140, false}, {121, 140, true}, {121, 119, true}, {121, 119, false}};
    for (const auto &move : moves)
        EXPECT_EQ(moveTo(move.x, move.y), move.ends) << move.x << "," << move.y;
}

// A player that only records what it is handed: the file and bounce step of each SetItem
// and PrepareNextItem, in order.
class RecordingPlayer : public IHCYFramewheel3 {
public:
    struct Call {
        bool prepared;
        std::wstring file;
        double bounceStep;
        LONG volume;
    };
    std::vector<Call> calls;

    STDMETHODIMP QueryInterface(REFIID riid, void **object) override
    {
        const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHCYFramewheel) ||
                           IsEqualIID(riid, IID_IHCYFramewheel2) || IsEqualIID(riid, IID_IHCYFramewheel3);
        *object = known ? static_cast<IHCYFramewheel3 *>(this) : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetItem(PlaybackItem *) override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Play() override { return S_OK; }
    STDMETHODIMP SetItem(const PlaybackItem *item) override { return Record(false, item); }
    STDMETHODIMP Reserved() override { return S_OK; }
    STDMETHODIMP Stop() override { return S_OK; }
    STDMETHODIMP Advise(IHCYFramewheelEventSink *, DWORD, LONGLONG *) override { return S_OK; }
    STDMETHODIMP Unadvise(LONGLONG) override { return S_OK; }
    STDMETHODIMP UseClassicVideoRenderer() override { return S_OK; }
    STDMETHODIMP UseSingleRendererDesktopMode() override { return S_OK; }
    STDMETHODIMP PrepareNextItem(const PlaybackItem *item) override { return Record(true, item); }

    // The entry number of the file last set or prepared ("C:\v\3.avi" is 3).
    int Last(bool prepared) const
    {
        for (auto call = calls.rbegin(); call != calls.rend(); ++call)
            if (call->prepared == prepared)
                return _wtoi(call->file.c_str() + 5);
        return -1;
    }

private:
    HRESULT Record(bool prepared, const PlaybackItem *item)
    {
        calls.push_back({prepared, item->fileName, item->bounceStep, item->volume});
        return S_OK;
    }
};

class FollowingTest : public RunTest {
protected:
    // The entry that plays after the current one ends with result.
    int End(HRESULT result)
    {
        (void)sink_->OnPlaybackEnded(&player_, result);
        return player_.Last(false);
    }

    RecordingPlayer player_;
};

TEST_F(FollowingTest, ThePreparedEntryIsTheOneThatPlaysNext)
{
    Fill(3);
    show_->PrepareFollowing(&player_);
    EXPECT_EQ(player_.Last(true), 1);
    // Each end: the entry played, then the one prepared. A failed entry is skipped by the
    // preparation as by the choice; after the last comes the first.
    const struct { HRESULT result; int played, prepared; } ends[] = {{S_OK, 1, 2}, {E_FAIL, 2, 0}, {S_OK, 0, 2}};
    for (const auto &end : ends) {
        EXPECT_EQ(End(end.result), end.played) << HrText(end.result);
        EXPECT_EQ(player_.Last(true), end.prepared) << end.played;
    }

    // The prepared record is the one played: settings changed since do not show.
    settings_.bounceStep = 7;
    EXPECT_EQ(End(S_OK), 2);
    EXPECT_EQ(player_.calls.back().prepared, true);  // the following one, read now
    EXPECT_EQ(player_.calls[player_.calls.size() - 2].bounceStep, 2.0);

    // Only the current entry is left playable: it is prepared, and when it fails as well
    // the choice is made afresh and ends in the message video.
    EXPECT_EQ(End(E_FAIL), 0);
    EXPECT_EQ(player_.Last(true), 0);
    const size_t before = player_.calls.size();
    (void)sink_->OnPlaybackEnded(&player_, E_FAIL);
    EXPECT_TRUE(show_->InMessageVideo());
    EXPECT_EQ(player_.calls.size(), before);  // no entry set; the message video could not be written here
}

TEST_F(FollowingTest, RandomOrderDrawsOnceForThePreparationAndTheChoice)
{
    Fill(6);
    settings_.randomOrderPlayback = true;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        show_->Seed(seed * 104729u);
        show_->PrepareFollowing(&player_);
        const int prepared = player_.Last(true);
        ASSERT_EQ(End(S_OK), prepared) << seed;
        ASSERT_NE(prepared, -1);
    }
}

TEST_F(FollowingTest, KeyboardStepsUseThePreparedEntryOnlyWhenItIsTheOneAsked)
{
    Fill(4);
    settings_.keyboardControls = true;
    show_->PrepareFollowing(&player_);
    settings_.bounceStep = 5;
    (void)sink_->OnInput(&player_, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(player_.Last(false), 1);
    EXPECT_EQ(player_.calls[player_.calls.size() - 2].bounceStep, 2.0);  // prepared before the change
    EXPECT_EQ(player_.Last(true), 2);
    (void)sink_->OnInput(&player_, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(player_.Last(false), 0);
    EXPECT_EQ(player_.calls[player_.calls.size() - 2].bounceStep, 5.0);  // read afresh
    // Without a player (the run's own window) a step does nothing.
    const size_t before = player_.calls.size();
    (void)sink_->OnInput(nullptr, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(player_.calls.size(), before);
    EXPECT_EQ(Current(), 0);
}

// Each monitor its own video: two players, each a lane of its own through one sink.
class LanesTest : public FollowingTest {
protected:
    void Spread(LONG count)
    {
        Fill(count);
        Start(count);
        std::vector<ShowItem> starts = show_->SpreadLanes({&player_, &other_});
        ASSERT_EQ(starts.size(), 1u);
        second_ = starts[0];
    }
    int EndOn(RecordingPlayer &player, HRESULT result)
    {
        (void)sink_->OnPlaybackEnded(&player, result);
        return player.Last(false);
    }

    RecordingPlayer other_;
    ShowItem second_;
};

// The second monitor starts one entry on, silent; each walks on its own, and the playlist's
// current entry (what the run saves) is always the main monitor's.
TEST_F(LanesTest, EachMonitorWalksFromItsOwnStartAndOnlyTheMainOneIsHeard)
{
    Spread(5);
    EXPECT_EQ(std::tuple(second_.index, second_.item.fileName, second_.item.fields.volume),
              std::tuple(1, std::wstring(L"C:\\v\\1.avi"), 0));
    EXPECT_EQ(show_->CurrentEntry(), 0);
    show_->PrepareFollowing(&player_);
    show_->PrepareFollowing(&other_);
    EXPECT_EQ(std::tuple(player_.Last(true), other_.Last(true)), std::tuple(1, 2));
    EXPECT_EQ(EndOn(other_, S_OK), 2);
    EXPECT_EQ(EndOn(other_, S_OK), 3);
    EXPECT_EQ(EndOn(player_, S_OK), 1);
    EXPECT_EQ(show_->CurrentEntry(), 1);
    EXPECT_EQ(player_.calls.back().volume, 100);  // prepared for the main monitor: heard
    EXPECT_EQ(other_.calls.back().volume, 0);
    EXPECT_EQ(EndOn(other_, S_OK), 4);
    EXPECT_EQ(EndOn(other_, S_OK), 0);  // wraps
    EXPECT_EQ(show_->CurrentEntry(), 1);
}

// Next and Previous move every monitor, also from the run's own window (no player).
TEST_F(LanesTest, KeysStepEveryMonitor)
{
    Spread(4);
    settings_.keyboardControls = true;
    (void)sink_->OnInput(&other_, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(std::tuple(player_.Last(false), other_.Last(false)), std::tuple(1, 2));
    (void)sink_->OnInput(nullptr, WM_KEYDOWN, VK_LEFT, 0);
    (void)sink_->OnInput(&player_, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(std::tuple(player_.Last(false), other_.Last(false)), std::tuple(3, 0));
    EXPECT_EQ(show_->CurrentEntry(), 3);
}

// A failure on one monitor is everyone's: the other skips that entry too. Only when every
// entry has failed does the message video come.
TEST_F(LanesTest, FailuresAreSharedAndOnlyAllFailedEndsTheShow)
{
    Spread(3);
    EXPECT_EQ(EndOn(other_, E_FAIL), 2);  // entry 1 failed on the second monitor
    EXPECT_EQ(EndOn(player_, S_OK), 2);   // the main one skips it
    EXPECT_FALSE(show_->InMessageVideo());
    EXPECT_EQ(EndOn(other_, E_FAIL), 0);
    EXPECT_EQ(EndOn(player_, E_FAIL), 0);  // entry 0 is still playing there
    EXPECT_FALSE(show_->InMessageVideo());
    (void)sink_->OnPlaybackEnded(&other_, E_FAIL);
    EXPECT_TRUE(show_->InMessageVideo());
    // Results land on the entries that failed, whichever monitor played them.
    for (LONG entry = 0; entry < 3; ++entry) {
        PlaylistPosition position{};
        (void)playlist_->GetPosition(&position);
        EXPECT_EQ(position.playResult, E_FAIL) << position.index;
        (void)playlist_->Next();
    }
}

// In random order a monitor never draws the entry the other shows (while there are more
// entries than monitors), and still reaches every other entry.
TEST_F(LanesTest, RandomDrawsAvoidTheEntryTheOtherMonitorShows)
{
    settings_.randomOrderPlayback = true;
    Spread(4);
    int shows[2] = {static_cast<int>(Current()), static_cast<int>(second_.index)};
    ASSERT_NE(shows[0], shows[1]);
    std::set<int> reached;
    for (uint32_t seed = 1; seed <= 90; ++seed) {
        show_->Seed(seed * 104729u);
        const int lane = seed % 3 ? 0 : 1;
        shows[lane] = EndOn(lane == 0 ? player_ : other_, S_OK);
        ASSERT_NE(shows[lane], shows[1 - lane]) << seed;
        reached.insert(shows[lane]);
    }
    EXPECT_EQ(reached.size(), 4u);
}

// A run with one player keeps its one lane whatever it is asked. Once it plays, a key that
// reaches the run's own window (up beside a player kept to some monitors) steps it.
TEST_F(LanesTest, OnePlayerIsNoLanes)
{
    Fill(3);
    Start(3);
    EXPECT_TRUE(show_->SpreadLanes({&player_}).empty());
    EXPECT_EQ(End(S_OK), 1);
    settings_.keyboardControls = true;
    show_->Playing(&player_);
    (void)sink_->OnInput(nullptr, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(player_.Last(false), 2);
}

}  // namespace
