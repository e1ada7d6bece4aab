// RHRenderer: owns the media graph of the item being played and puts its picture on the
// screen. The playback thread creates, calls and destroys renderers only while it holds
// the renderer lock as writer; the bounce timer thread calls Step under it as reader.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <memory>
#include <utility>
#include <vector>

#include "abi.h"

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

    [[nodiscard]] HRESULT LoadFile();
    void Unload();
    [[nodiscard]] HRESULT RunGraph();
    void StopGraph();
    void Rewind();
    void Seek(double seconds);
    void SetRate(float rate);
    void SetVolume(int percent);
    double CurrentPosition();
    HANDLE GetEventHandle();
    bool TakeCompletion();
    void SetInputRouting(bool on);

protected:
    // item: the playback thread's working copy, read at every layout and load (not owned).
    // videoRenderer: the video renderer filter's class id, or null for the framework's choice.
    RHRenderer(const PlaybackItem *item, const CLSID *videoRenderer, HWND playerWindow);
    RHRenderer(const RHRenderer &) = delete;
    RHRenderer &operator=(const RHRenderer &) = delete;

    // The members below are the render module's own; see renderer.cpp.
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The three variants. Each returns a renderer whose outputs are set up but no file loaded.
std::unique_ptr<RHRenderer> MakeWindowedRenderer(const PlaybackItem *item, HWND playerWindow,
                                                 bool classicRenderer);
std::unique_ptr<RHRenderer> MakeFullscreenMonitorRenderer(const PlaybackItem *item,
                                                          HWND playerWindow, bool classicRenderer);
std::unique_ptr<RHRenderer> MakeFullscreenDesktopRenderer(const PlaybackItem *item,
                                                          HWND playerWindow, bool singleRenderer);
