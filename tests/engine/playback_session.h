// What the playback and lifetime tests share: a player with a sink, on the classic renderer.
#pragma once

#include "engine_test.h"

inline bool RunningOnWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// A player with the classic renderer and a sink for every event.
struct Session {
    ComPtr<Framewheel> player = NewPlayer();
    ComPtr<TestSink> sink = NewSink();
    LONGLONG cookie = 0;

    explicit Session(bool classic = true)
    {
        if (classic) {
            EXPECT_HR(S_OK, player->UseClassicVideoRenderer());
        }
        EXPECT_HR(S_OK, player->Advise(sink.Get(), EVENT_ALL, &cookie));
    }
    ~Session()
    {
        if (player) {
            EXPECT_HR(S_OK, player->Unadvise(cookie));
        }
    }
    void Start(const PlaybackItem &item)
    {
        ASSERT_HR(S_OK, player->SetItem(&item));
        ASSERT_HR(S_OK, player->Play());
    }
    size_t Ended() { return sink->Calls(SINK_PLAYBACK_ENDED).size(); }
    SinkCall LastEnded()
    {
        const auto calls = sink->Calls(SINK_PLAYBACK_ENDED);
        return calls.empty() ? SinkCall{-1, 0, 0, 0, 0, E_UNEXPECTED, 0, 0} : calls.back();
    }
};
