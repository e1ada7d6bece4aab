// The player object's COM face: one media item at a time, handed in with SetItem and started
// with Play. Its methods only store settings under one lock and queue command words; the
// playback thread's Playback object (playback.h) owns the window, the loads and the media
// graph, and reports back through the sinks (sink_hub.h).
#pragma once

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "abi.h"
#include "command_queue.h"
#include "handles.h"
#include "media_item.h"
#include "sink_hub.h"

class LoadsUnderWay;
class RHRenderer;

// The renderer on screen. The playback thread replaces and drives it as writer; the bounce
// timer steps it and GetItem asks for its position, as readers.
struct RendererSlot {
    SharedLock lock;
    std::unique_ptr<RHRenderer> renderer;
};

// Player states; the values are the command bits that lead to them.
enum PlayerState : LONG {
    STATE_STOPPED = CMD_STOP,
    STATE_PLAYING = CMD_PLAY,
    STATE_PAUSED = CMD_PAUSE,
    STATE_QUITTING = CMD_QUIT,
};

class Framewheel final : public IHCYFramewheel4 {
public:
    Framewheel();
    ~Framewheel();
    Framewheel(const Framewheel &) = delete;
    Framewheel &operator=(const Framewheel &) = delete;

    // False when a lock, queue or event could not be created.
    bool valid() const;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IHCYFramewheel
    STDMETHODIMP GetItem(PlaybackItem *item) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Play() override;
    STDMETHODIMP SetItem(const PlaybackItem *item) override;
    STDMETHODIMP Reserved() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Advise(IHCYFramewheelEventSink *sink, DWORD eventMask, LONGLONG *cookie) override;
    STDMETHODIMP Unadvise(LONGLONG cookie) override;

    // IHCYFramewheel2
    STDMETHODIMP UseClassicVideoRenderer() override;
    STDMETHODIMP UseSingleRendererDesktopMode() override;

    // IHCYFramewheel3
    STDMETHODIMP PrepareNextItem(const PlaybackItem *item) override;

    // IHCYFramewheel4
    STDMETHODIMP SetOutputAreas(UINT count, const RECT *areas) override;
    // More areas than monitors anyone attaches to one machine; a larger count is a mistake.
    static constexpr UINT kMaxOutputAreas = 16;

    // Performance counter readings of the last command word that loaded a file, taken on
    // the playback thread: when the word was taken, the load's start and end, RunGraph's
    // start and end. A word whose load failed is not recorded.
    struct LoadTiming {
        LONGLONG taken, loadStart, loadEnd, runStart, running;
    };
    // The renderer switches a load is built with.
    struct RendererSwitches {
        bool classic = false;
        bool single = false;
        bool operator==(const RendererSwitches &) const = default;
    };

    // What the playback thread asks of the face (playback_loop.cpp, item_loads.cpp,
    // playback_screen.cpp).
    CommandQueue &PlaybackQueue() { return playbackQueue_; }
    CommandQueue &TimerQueue() { return timerQueue_; }
    RendererSlot &Screen() { return screen_; }
    const std::shared_ptr<LoadsUnderWay> &Loads() const { return loads_; }
    // The current item's fields, and with withName its file name too; false when memory
    // for the name ran out.
    bool CopyItem(MediaItem &out, bool withName);
    // The item handed to PrepareNextItem since the last call; false when there is none.
    bool TakeNextItem(MediaItem &out);
    RendererSwitches Switches() const { return {classicVideoRenderer_, singleDesktopRenderer_}; }
    // The areas the next load confines its renderer to; empty for the whole desktop. False
    // when memory for the copy ran out.
    bool CopyOutputAreas(std::vector<RECT> &out);
    // Whether areas are the ones the next load takes.
    bool HasOutputAreas(const std::vector<RECT> &areas);
    bool HasInputSinks() { return sinks_.Count(SINK_INPUT) != 0; }
    void RecordLoadTiming(const LoadTiming &timing);
    // The current file failed to load or run: the next SetItem naming it loads it again
    // (a share that hiccuped, or the same entry drawn twice), while a bare Play does not.
    void ForgetLoadedName();
    // Events, fired on the playback thread only.
    bool SinksAgreeToClose(LONG reason);
    void FireInput(UINT message, WPARAM wParam, LPARAM lParam);
    void FireMonitorPower(LPARAM state);
    void FirePlaybackEnded(HRESULT result);
    // True once the last reference went during an event: the playback thread ends and
    // deletes the object itself, since it cannot wait for its own end.
    bool Orphaned() const { return orphaned_; }
    // The player window on screen (or none), published by the playback thread so that the
    // object's end can hide it from another thread.
    void PublishWindow(HWND window) { window_.store(window); }

    // For inspection by the engine's own tests and benchmarks.
    LoadTiming LastLoadTiming();
    HANDLE PlaybackThreadHandle() const { return thread_.get(); }
    size_t SinkCount(SinkEvent event) { return sinks_.Count(event); }

private:
    IHCYFramewheel *Self() { return this; }
    // A reference taken on the playback thread for the length of the sink calls, only while
    // the object is alive (a sink call marshals the player and so adds a reference; one
    // added to a dying object would destroy it twice).
    bool AddRefIfAlive();
    void ReleaseOnPlaybackThread();
    template <typename Call>
    int FireEvent(SinkEvent event, Call call, size_t *registered = nullptr);

    LONG refs_ = 0;

    // What the methods store: the item as SetItem left it, and the one handed to
    // PrepareNextItem, waiting for the playback thread.
    SharedLock itemLock_;
    MediaItem item_;
    bool firstItem_ = true;
    MediaItem nextItem_;
    bool nextWaiting_ = false;
    std::atomic<bool> nameFailed_{false}; // set by the playback thread, outside the lock
    std::vector<RECT> outputAreas_;

    CriticalSection startLock_;
    UniqueHandle thread_;

    SinkHub sinks_;
    RendererSlot screen_;
    std::shared_ptr<LoadsUnderWay> loads_;
    CommandQueue playbackQueue_;
    CommandQueue timerQueue_;
    std::atomic<bool> orphaned_{false};
    std::atomic<HWND> window_{nullptr};

    CriticalSection timingLock_;
    LoadTiming lastLoad_{};

    std::atomic<bool> classicVideoRenderer_{false};
    std::atomic<bool> singleDesktopRenderer_{false};
};
