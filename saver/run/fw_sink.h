// The saver's side of the player's events: ends the screen saver on input, runs the
// keyboard controls, picks the next video when one has ended and falls back to the
// message video when nothing in the playlist can be played.
#pragma once

#include <windows.h>

#include <atomic>

#include "abi.h"

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

private:
    void EndRun();
    void OnKeyDown(IHCYFramewheel *player, WPARAM key);
    void StepItem(IHCYFramewheel *player, bool forward);
    void OnMouseMove();

    std::atomic<LONG> references_{0};
    Settings *settings_;
    VideoCache *cache_;
    IHCYFWPlaylist *playlist_;  // the run's, not counted here
    HANDLE endEvent_;
    LONG volume_;
    LONG volumeStep_ = 655;
    bool muted_ = false;
};
