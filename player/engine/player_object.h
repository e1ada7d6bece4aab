// The player object: one media item at a time, handed in with SetItem and started with
// Play. Its methods only store settings under locks and queue command words; the playback
// thread (playback_thread.cpp, its loads in item_loads.cpp) owns the window, the renderer
// and the media graph and reports back through the event sinks.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "abi.h"
#include "command_queue.h"
#include "handles.h"
#include "media_loader.h"

class RHRenderer;

// Sink lists, one per event, in the order of the EVENT_* bits (bit = 1 << index).
enum SinkEvent : int {
    SINK_PLAYBACK_ENDED = 0,
    SINK_INPUT = 1,
    SINK_MONITOR_POWER = 2,
    SINK_QUERY_CLOSE = 3,
    SINK_EVENT_COUNT = 4,
};

// Player states; the values are the command bits that lead to them.
enum PlayerState : LONG {
    STATE_STOPPED = CMD_STOP,
    STATE_PLAYING = CMD_PLAY,
    STATE_PAUSED = CMD_PAUSE,
    STATE_QUITTING = CMD_QUIT,
};

class Framewheel final : public IHCYFramewheel3 {
public:
    Framewheel();
    ~Framewheel();
    Framewheel(const Framewheel &) = delete;
    Framewheel &operator=(const Framewheel &) = delete;

    // False when a lock, queue or critical section could not be created.
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

    // Performance counter readings of the last command word that loaded a file, taken on
    // the playback thread: when the word was taken, LoadFile's start and end, RunGraph's
    // start and end. A word whose load failed is not recorded.
    struct LoadTiming {
        LONGLONG taken, loadStart, loadEnd, runStart, running;
    };

    // For inspection by the engine's own tests and benchmarks.
    LoadTiming LastLoadTiming();
    CommandQueue &PlaybackQueue() { return playbackQueue_; }
    CommandQueue &TimerQueue() { return timerQueue_; }
    HANDLE PlaybackThreadHandle() const { return thread_.get(); }
    size_t SinkCount(SinkEvent event);

private:
    struct SinkRegistration {
        LONGLONG cookie;   // low half the sink pointer, high half the event mask
        DWORD tableCookie; // the Global Interface Table's
    };
    struct PlaybackContext;

    IHCYFramewheel *Self() { return this; }

    // A reference taken on the playback thread for the length of the sink calls, only while
    // the object is alive (a sink call marshals the player and so adds a reference; one
    // added to a dying object would destroy it twice). Dropping the last one there makes
    // the thread end and delete the object itself, since it cannot wait for its own end.
    bool AddRefIfAlive();
    void ReleaseOnPlaybackThread();
    // Returns once no call to a sink registered under the cookie is running, unless that call
    // is the one this thread serves (a sink unadvising itself from its own event).
    void WaitForSinkCall(LONGLONG cookie);

    // Events, fired on the playback thread. Each sink is fetched from the Global Interface
    // Table for the calling thread, so sinks of other apartments are reached by marshalling.
    bool SinksAgreeToClose(LONG reason);
    void FireInput(UINT message, WPARAM wParam, LPARAM lParam);
    void FireMonitorPower(LPARAM state);
    void FirePlaybackEnded(HRESULT result);
    template <typename Call>
    int FireEvent(SinkEvent event, Call call, size_t *registered = nullptr);

    // Playback thread, command processor and bounce timer thread (playback_thread.cpp).
    static DWORD WINAPI PlaybackThreadMain(void *player);
    static DWORD WINAPI TimerThreadMain(void *player);
    void RunPlaybackThread();
    void RunTimerThread();
    bool ProcessCommands(PlaybackContext &context);
    void OnMediaEvent(PlaybackContext &context);
    void CreatePlayerWindow(PlaybackContext &context);
    // Loads (item_loads.cpp, loader threads in media_loader.h): a new item is opened
    // while the current picture stays, then shown in one step.
    void StartItemLoad(PlaybackContext &context, LONG word, const PlaybackItem &copy,
                       const std::wstring &name, LONGLONG taken);
    void FinishItemLoad(PlaybackContext &context);
    void PrepareItem(PlaybackContext &context);
    std::shared_ptr<LoadJob> NewLoadJob(PlaybackContext &context, const PlaybackItem &item,
                                        const std::wstring &name);
    bool PreparedFor(const PlaybackItem &item, const std::wstring &name) const;
    void DiscardLoad(std::shared_ptr<LoadJob> &job);
    void ReapDiscardedLoads();
    void AbandonAllLoads();
    void EndItemForWantOfMemory(LONG word);
    // Carries out the settings bits of a word on the current renderer (renderer lock held).
    void ApplySettings(PlaybackContext &context, LONG word);
    void ContinueMotion(PlaybackItem &item);

    // Player window procedure: one handler per message.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT OnEraseBackground(HWND window, HDC dc);
    LRESULT OnSize();
    LRESULT OnClose();
    LRESULT OnQueryEndSession();
    LRESULT OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam);

    LONG refs_ = 0;

    // The current item; item_.fileName stays null, the name lives in fileName_.
    SharedLock itemLock_;
    PlaybackItem item_;
    std::wstring fileName_;
    bool firstItem_ = true;

    CriticalSection startLock_;
    UniqueHandle thread_;

    SharedLock sinkLock_;
    std::vector<SinkRegistration> sinks_[SINK_EVENT_COUNT];
    Microsoft::WRL::ComPtr<IGlobalInterfaceTable> table_;

    // The sink call in flight (events are fired on the playback thread only, so at most
    // one): its registration cookie, calling thread and COM logical thread, which a sink
    // called through another apartment carries into the calls it makes back.
    CriticalSection callLock_;
    UniqueHandle callEnded_{CreateEventW(nullptr, TRUE, TRUE, nullptr)}; // set while none
    bool calling_ = false;
    LONGLONG callCookie_ = 0;
    DWORD callThread_ = 0;
    GUID callCausality_{};
    std::atomic<bool> orphaned_{false}; // the last reference went on the playback thread

    SharedLock rendererLock_;
    std::unique_ptr<RHRenderer> renderer_;

    // The item handed to PrepareNextItem, waiting for the playback thread.
    CriticalSection nextLock_;
    PlaybackItem nextItem_;
    std::wstring nextName_;
    bool nextWaiting_ = false;

    // Playback thread only: the load being waited for, the one opened ahead, and loads
    // let go whose loader has not finished yet (freed here once it has).
    std::shared_ptr<LoadJob> loading_;
    std::shared_ptr<LoadJob> prepared_;
    std::vector<std::shared_ptr<LoadJob>> discarded_;

    CommandQueue playbackQueue_;
    CommandQueue timerQueue_;

    // Written by the playback thread only.
    LONG state_ = STATE_STOPPED;
    LONG pending_ = CMD_RENDERER;
    LONG lastStyle_ = -1;
    int savedDx_ = 0, savedDy_ = 0;
    bool wasBouncing_ = false;
    bool stopRequested_ = false;

    CriticalSection timingLock_;
    LoadTiming lastLoad_{};

    std::atomic<bool> classicVideoRenderer_{false};
    std::atomic<bool> singleDesktopRenderer_{false};
};
