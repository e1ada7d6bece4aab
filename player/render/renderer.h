// RHRenderer: owns the media graph of the item being played and puts its picture on the
// screen. The playback thread creates, calls and destroys renderers only while it holds
// the renderer lock as writer; the bounce timer thread calls Step under it as reader.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <wrl/client.h>

#include "abi.h"
#include "handles.h"
#include "media_item.h"

// Placement fractions of one picture, as GetPositions reports them.
struct PlacementFraction {
    double x;
    double y;
};

class RHRenderer {
public:
    virtual ~RHRenderer();

    // One bounce tick.
    virtual void Step() = 0;
    // Size and place the picture in every output.
    virtual void Layout() = 0;
    // One (x, y) placement fraction per picture, in output order.
    virtual void GetPositions(std::vector<PlacementFraction> &out) = 0;
    virtual void SetVelocity(int dx, int dy) = 0;
    virtual void GetVelocity(int &dx, int &dy) = 0;

    // A file is loaded in steps, so that the slow part (opening and rendering the file, which
    // may block for as long as the file system does) runs away from the player window's
    // thread while the picture it shows stays on screen:
    // - CreateVideoFilters on the player window's thread: the classic renderer's video
    //   windows belong to the thread that creates the filter, and must keep answering;
    // - LoadMedia and PauseOnFirstFrame on any thread of the multithreaded apartment: the
    //   graph, its interfaces, the video windows kept hidden, the first frame held;
    // - AttachWindows and ShowPicture on the player window's thread: the video windows
    //   become children of the player window, then come up above everything else with the
    //   held frame painted at once.
    void CreateVideoFilters();
    [[nodiscard]] HRESULT LoadMedia(bool hidden);
    // Waits (in slices, giving up when abort is set or after limitMs) until the graph has
    // paused with its first frame; false when it did not get there.
    bool PauseOnFirstFrame(const volatile LONG &abort, DWORD limitMs);
    // For a graph paused on its first frame at the clip's start: where that frame is stamped
    // a little after the start (under Wine, the first frame of an H.264 clip with B-frames
    // comes two frames late), the graph goes to it and pauses there again, so that its
    // stream starts with the frame already on screen instead of holding it, and with it the
    // change to the next item, that much longer. The sound before the frame is not heard.
    // False when the graph did not pause again (as PauseOnFirstFrame).
    bool StartAtFirstFrame(const volatile LONG &abort, DWORD limitMs);
    void AttachWindows();
    void ShowPicture();
    // When ShowPicture put the picture on screen (GetTickCount), or 0.
    DWORD ShownTick() const { return shownTick_; }
    // The item the renderer reads from now on; it must outlive the renderer or the next
    // SetItem.
    void SetItem(const MediaItem &item) { item_ = &item; }
    bool InputRouting() const { return inputRouting_ != 0; }
    bool HasGraph() const { return graph_ != nullptr; }
    // From any thread: a build in progress on another is asked to stop (Windows' graph
    // builder then returns early; Wine's ignores the request), and none starts after it.
    void AbortBuild();
    void Unload();
    // As Unload, with the video windows hidden, but the graph is handed to the caller to be
    // freed elsewhere: a graph whose stream stopped coming (a share gone quiet) cannot stop
    // until the system gives its held read back. Null without a graph.
    Microsoft::WRL::ComPtr<IGraphBuilder> GiveUpGraph();
    [[nodiscard]] HRESULT RunGraph();
    // Runs a graph paused on its first frame with its stream starting now: IMediaControl::Run
    // starts the stream later, to give the filters time (200 ms under Wine), while the held
    // frame stands still. Falls back to RunGraph where the graph is not so paused, or plays
    // at another rate.
    [[nodiscard]] HRESULT RunGraphFromHeldFrame();
    // True while the graph runs on the start RunGraphFromHeldFrame gave it: its position is
    // then counted from that start, where Wine's graph would count from its own, later one.
    bool OnOwnStart() const { return ownStart_.has_value(); }
    void StopGraph();
    void Rewind();
    void Seek(double seconds);
    void SetRate(float rate);
    void SetVolume(int percent);
    double CurrentPosition();
    // Where the graph stands and where it stops, and the time of the latest sample any of its
    // renderers received (the position, where none tells), in seconds; false without a graph.
    bool Progress(double &position, double &end, double &received);
    // A still picture held for the display duration: its position need not move.
    bool HoldsStill() const { return stillHeld_; }
    HANDLE GetEventHandle();
    bool TakeCompletion();
    // Drops the graph's queued events, such as an end the player has already acted on.
    void DropEvents();
    void SetInputRouting(bool on);

protected:
    // item: read at every layout and load, as SetItem says.
    // videoRenderer: the video renderer filter's class id, or null for the framework's choice.
    RHRenderer(const MediaItem &item, const CLSID *videoRenderer, HWND playerWindow);
    RHRenderer(const RHRenderer &) = delete;
    RHRenderer &operator=(const RHRenderer &) = delete;

    // One video window of the graph; the variants derive their own with geometry fields.
    struct VideoOutput {
        virtual ~VideoOutput() = default;
        Microsoft::WRL::ComPtr<IVideoWindow> window;
        Microsoft::WRL::ComPtr<IBasicVideo> video;
        HWND hwnd = nullptr;   // the video window itself, found at load (not owned)
    };

    // Places an output's video window in the player window's client area. From a thread
    // other than the window's (the bounce timer) the move is posted, never waited for.
    static void MoveVideoWindow(VideoOutput &output, int left, int top, int width, int height);
    // Repaints (black) what the picture covered before and no longer covers; rectangles in
    // the player window's client coordinates.
    void ClearVacated(const RECT &before, const RECT &after) const;
    // The player window's client size (0 x 0 without a window).
    SIZE PlayerClientSize() const;

    std::vector<std::unique_ptr<VideoOutput>> outputs_;   // filled by the variant's constructor
    Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
    // The graph while BuildGraph builds it, for AbortBuild on another thread.
    CriticalSection buildLock_;
    IGraphBuilder *building_ = nullptr;
    std::atomic<bool> buildAborted_{false};
    Microsoft::WRL::ComPtr<IMediaControl> control_;
    Microsoft::WRL::ComPtr<IMediaPosition> position_;
    Microsoft::WRL::ComPtr<IMediaEventEx> events_;
    Microsoft::WRL::ComPtr<IBasicAudio> audio_;   // the first audio renderer's
    // Every renderer filter's own seeking: it tells the time of the last sample received.
    std::vector<Microsoft::WRL::ComPtr<IMediaSeeking>> received_;
    const MediaItem *item_;
    double savedPosition_ = 0.0;   // seconds, at the last Unload
    int nativeWidth_ = 0;
    int nativeHeight_ = 0;
    int inputRouting_ = 0;
    HWND playerWindow_;
    bool hasVideoRenderer_ = false;
    CLSID videoRenderer_{};
    UniqueHandle idleEvent_;       // manual-reset, never signalled: the event handle without graph
    DWORD pictureDuration_ = 0;    // seconds a still picture stays; 0 = as the framework decides
    bool stillHeld_ = false;       // the graph holds a still for pictureDuration_

private:
    // Creates the graph and renders the file once per output (count times).
    [[nodiscard]] HRESULT BuildGraph(size_t count, HRESULT &first, HRESULT &second);
    void PublishBuild(IGraphBuilder *graph);
    HWND FindVideoWindow(IVideoWindow *window, size_t index) const;
    // Releases every interface of the graph but the graph itself, which it returns.
    Microsoft::WRL::ComPtr<IGraphBuilder> LetGoAllButGraph();
    void PaintHeldFrame(VideoOutput &output) const;
    // A video renderer filter for the next rendering: one made ahead by CreateVideoFilters
    // while any is left, else a new one.
    HRESULT NextVideoFilter(Microsoft::WRL::ComPtr<IBaseFilter> &filter);

    // The graph's position in seconds. While the graph runs on its own start, and once it
    // stopped off it, the position is counted here: Wine's graph counts it only from
    // IMediaControl::Run or a seek.
    bool StreamPosition(double &seconds) const;

    // The start RunGraphFromHeldFrame gave the graph, until a seek, stop or unload.
    struct OwnStart {
        Microsoft::WRL::ComPtr<IReferenceClock> clock;
        REFERENCE_TIME at = 0;   // the clock's time at which the stream's time 0 fell
        double from = 0.0;       // seconds: where the graph stood when it was run
    };
    std::optional<OwnStart> ownStart_;
    std::optional<double> stoppedAt_;   // seconds: where a graph stopped off its own start stands
    DWORD shownTick_ = 0;
    std::vector<Microsoft::WRL::ComPtr<IBaseFilter>> madeFilters_;
    size_t usedFilters_ = 0;
};

// The three variants. Each returns a renderer whose outputs are set up but no file loaded.
// The full-screen ones are confined to areas (virtual-desktop coordinates) when there are
// any: one picture in each, or one across their bounding rectangle.
std::unique_ptr<RHRenderer> MakeWindowedRenderer(const MediaItem &item, HWND playerWindow,
                                                 bool classicRenderer);
std::unique_ptr<RHRenderer> MakeFullscreenMonitorRenderer(const MediaItem &item,
                                                          HWND playerWindow, bool classicRenderer,
                                                          std::span<const RECT> areas = {});
std::unique_ptr<RHRenderer> MakeFullscreenDesktopRenderer(const MediaItem &item,
                                                          HWND playerWindow, bool singleRenderer,
                                                          std::span<const RECT> areas = {});
