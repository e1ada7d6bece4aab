// The saver's side of the player's events: ends the screen saver on input, runs the
// keyboard controls, and hands the end of an item to the show, which picks what follows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "abi.h"

struct Settings;
class Show;

class FwSink : public IHCYFramewheelEventSink {
public:
    // Created with a reference count of 0; the run's QueryInterface makes it 1. The settings
    // and the show must outlive every call.
    FwSink(const Settings &settings, Show &show, HANDLE endEvent);
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

private:
    void EndRun();
    void OnKeyDown(IHCYFramewheel *player, WPARAM key);
    void OnMouseMove();

    std::atomic<LONG> references_{0};
    const Settings &settings_;
    Show &show_;
    HANDLE endEvent_;
    LONG volume_;
    LONG volumeStep_ = 655;
    bool muted_ = false;
    // The mouse test's state, new with each run's sink, written on the playback thread and
    // on the run's own window's: atomics, so that no reader sees a torn or stale point.
    std::atomic<bool> firstMouseMove_{true};
    std::atomic<uint64_t> mouseReference_{0};
};
