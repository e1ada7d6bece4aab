// The saver's side of the player's events: ends the screen saver on input, runs the
// keyboard controls, picks the next video when one has ended and falls back to the
// message video when nothing in the playlist can be played.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "abi.h"
#include "run_shared.h"

struct Settings;
class VideoCache;

class FwSink : public IHCYFramewheelEventSink {
public:
    // Created with a reference count of 0; the run's QueryInterface makes it 1.
    FwSink(Settings &settings, IHCYFWPlaylist *playlist, HANDLE endEvent, VideoCache *cache);
    virtual ~FwSink() = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IHCYFramewheelEventSink
    STDMETHODIMP OnQueryClose(IHCYFramewheel *player, LONG reason) override;
    STDMETHODIMP OnInput(IHCYFramewheel *player, UINT message, WPARAM wParam, LPARAM lParam) override;
    STDMETHODIMP OnMonitorPower(IHCYFramewheel *player, LPARAM state) override;
    STDMETHODIMP OnPlaybackEnded(IHCYFramewheel *player, HRESULT result) override;

    // The mouse test starts afresh with the next mouse move (once per process otherwise).
    static void ResetMouseReference();

    // Called once the playlist's current entry plays: works out which entry follows it,
    // by the rules OnPlaybackEnded applies later, and hands it to the player to open
    // ahead. Nothing happens when the player has no IHCYFramewheel3.
    void PrepareFollowing(IHCYFramewheel *player);
    // The playlist's current entry, read between two item changes; a change held up by a
    // slow file copy does not hold up the caller for long.
    LONG CurrentEntry();

private:
    // The choice made ahead for the entry that was current then: the random draw it used
    // and the entry it led to, ready to play.
    struct Following {
        bool valid = false;
        LONG from = -1;
        LONG steps = 0;
        ItemToPlay next;
    };

    void EndRun();
    void OnKeyDown(IHCYFramewheel *player, WPARAM key);
    void StepItem(IHCYFramewheel *player, bool forward);
    void OnMouseMove();
    LONG FollowingEntry(LONG current, LONG steps, LONG count) const;
    // The prepared entry when it is the one wanted after the current entry from, else the
    // current entry read afresh. Called with choiceLock_ held, after the move.
    ItemToPlay TakeItem(LONG from, LONG wanted);

    std::atomic<LONG> references_{0};
    Settings *settings_;
    VideoCache *cache_;
    IHCYFWPlaylist *playlist_;  // the run's, not counted here
    HANDLE endEvent_;
    LONG volume_;
    LONG volumeStep_ = 655;
    bool muted_ = false;

    // Held while the current entry changes and while the following one is worked out,
    // which briefly moves the playlist's current entry.
    std::timed_mutex choiceLock_;
    unsigned changes_ = 0;      // moves with every change of the current entry
    Following following_;
    std::vector<char> failed_;  // the entries whose last play failed, as recorded here
};
