// The run's start choice and the event sink's input rules, against the library's real
// playlist object (Framewheel.dll registered by run_test.sh).
#include <gtest/gtest.h>

#include <windows.h>
#include <wrl/client.h>

#include <set>

#include "fw_sink.h"
#include "handles.h"
#include "run_shared.h"
#include "settings.h"
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
        ASSERT_EQ(CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER, IID_IHCYFWPlaylist,
                                   reinterpret_cast<void **>(playlist_.GetAddressOf())), S_OK);
        cache_.Start(L"C:\\", settings_);
    }
    void Fill(int count)
    {
        wchar_t name[32];
        for (int i = 0; i < count; ++i) {
            PlaybackItem item = DefaultPlaybackItem();
            swprintf(name, 32, L"C:\\v\\%d.avi", i);
            item.fileName = name;
            item.xPosition = 0.1;
            ASSERT_EQ(playlist_->Insert(&item, -1), S_OK);
        }
        ASSERT_EQ(playlist_->First(), S_OK);
    }
    LONG Current()
    {
        PlaylistPosition position{-1, 0};
        (void)playlist_->GetPosition(&position);
        return position.index;
    }
    ItemToPlay Start(LONG count)
    {
        (void)playlist_->First();
        return ChooseStartItem(settings_, playlist_.Get(), count);
    }

    ComApartment apartment_{COINIT_MULTITHREADED};
    Settings settings_;
    ComPtr<IHCYFWPlaylist> playlist_;
    VideoCache cache_;
};

TEST_F(RunTest, ContinueWhereStoppedWrapsAndNeedsTheExactPlaylistPath)
{
    Fill(5);
    settings_.continueWhereStopped = true;
    settings_.lastTrack = 7;  // two rounds would be 10: 7 is the third entry
    settings_.lastPosition = 12.5;
    wcscpy(settings_.lastPlaylist, settings_.playlist);
    ItemToPlay start = Start(5);
    EXPECT_EQ(Current(), 2);
    EXPECT_EQ(start.index, 2);
    EXPECT_STREQ(start.Record()->fileName, L"C:\\v\\2.avi");
    const PlaybackItem &item = start.item;
    EXPECT_EQ(item.position, 12.5);
    // The run's own overrides of the entry's fields.
    EXPECT_EQ(item.xPosition, 0.5);
    EXPECT_EQ(item.bounceStep, 2.0);
    EXPECT_EQ(item.bounceInterval, 29.0);
    EXPECT_EQ(item.style, 0);
    EXPECT_EQ(item.blockScreenSaver, 1);
    EXPECT_EQ(item.validMask, static_cast<DWORD>(ITEM_ALL));
    EXPECT_EQ(item.loops, 1);

    wcscpy(settings_.lastPlaylist, L"C:\\LISTS\\a.plst");  // differs in case only
    EXPECT_EQ(Start(5).item.position, 0.0);
    EXPECT_EQ(Current(), 0);
}

TEST_F(RunTest, RandomStartIsNeverTheFirstAndALoneEntryLoops9999Times)
{
    Fill(4);
    settings_.randomOrderPlayback = true;
    std::set<LONG> starts;
    for (uint32_t seed = 0; seed < 200; ++seed) {
        SeedRandom(seed * 7919u);
        Start(4);
        starts.insert(Current());
    }
    EXPECT_EQ(starts, (std::set<LONG>{1, 2, 3}));

    ASSERT_EQ(playlist_->Remove(-1), S_OK);
    ASSERT_EQ(playlist_->Remove(-1), S_OK);
    ASSERT_EQ(playlist_->Remove(-1), S_OK);
    EXPECT_EQ(Start(1).item.loops, 9999);
    EXPECT_EQ(Current(), 0);
}

TEST_F(RunTest, SinkEndsOnInputEvenWhenTheRunIsNotWaiting)
{
    UniqueHandle end(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ComPtr<IHCYFramewheelEventSink> sink;
    ASSERT_EQ((new FwSink(settings_, playlist_.Get(), end.get(), &cache_))
                  ->QueryInterface(IID_IHCYFramewheelEventSink, reinterpret_cast<void **>(sink.GetAddressOf())),
              S_OK);
    auto ended = [&] { return WaitForSingleObject(end.get(), 0) == WAIT_OBJECT_0; };

    // Nobody waits on the event here, as while the run handles a standby timeout: the
    // signal must still be there when it waits next.
    EXPECT_EQ(sink->OnInput(nullptr, WM_KEYDOWN, 'A', 0), S_OK);
    EXPECT_TRUE(ended());
    for (UINT message : {WM_KEYUP, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEWHEEL})
        EXPECT_EQ((sink->OnInput(nullptr, message, 0, 0), ended()), false) << message;
    settings_.ignoreMouseMovement = true;
    for (UINT message : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
        EXPECT_EQ((sink->OnInput(nullptr, message, 0, 0), ended()), true) << message;
    EXPECT_EQ(sink->OnQueryClose(nullptr, 0), S_FALSE);
    EXPECT_FALSE(ended());
    EXPECT_EQ(sink->OnQueryClose(nullptr, 1), S_OK);
    EXPECT_TRUE(ended());

    // Mouse: the first move never ends; more than 20 pixels on one axis between two moves does.
    auto moveTo = [&](int x, int y) {
        SetCursorPos(x, y);
        (void)sink->OnInput(nullptr, WM_MOUSEMOVE, 0, 0);
        return ended();
    };
    EXPECT_FALSE(moveTo(500, 500));  // ignored
    EXPECT_FALSE(moveTo(900, 900));
    settings_.ignoreMouseMovement = false;
    FwSink::ResetMouseReference();
    EXPECT_FALSE(moveTo(100, 100));
    EXPECT_FALSE(moveTo(120, 120));
    EXPECT_FALSE(moveTo(100, 140));
    EXPECT_TRUE(moveTo(121, 140));
    EXPECT_TRUE(moveTo(121, 119));
    EXPECT_FALSE(moveTo(121, 119));
}

}  // namespace
