// The three renderers: windowed, one picture per monitor, one picture across the desktop.
// The playback thread builds them through the factories in renderer.h.
#pragma once

#include "renderer.h"

class RHWindowedRenderer : public RHRenderer {
public:
    RHWindowedRenderer(const MediaItem &item, HWND playerWindow, bool classicRenderer);
    ~RHWindowedRenderer() override;

    void Step() override;
    void Layout() override;
    void GetPositions(std::vector<PlacementFraction> &out) override;
    void SetVelocity(int dx, int dy) override;
    void GetVelocity(int &dx, int &dy) override;

protected:
    void ApplyDestination(const RECT &before);

    int areaWidth_ = 0;
    int areaHeight_ = 0;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    int dx_ = 0;
    int dy_ = 0;
};

class RHFullscreenMonitorRenderer : public RHRenderer {
public:
    RHFullscreenMonitorRenderer(const MediaItem &item, HWND playerWindow, bool classicRenderer,
                                std::span<const RECT> areas = {});
    ~RHFullscreenMonitorRenderer() override;

    void Step() override;
    void Layout() override;
    void GetPositions(std::vector<PlacementFraction> &out) override;
    void SetVelocity(int dx, int dy) override;
    void GetVelocity(int &dx, int &dy) override;

protected:
    // One monitor: the picture inside it and where the monitor lies in the player window.
    struct MonitorOutput : VideoOutput {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
        int x = 0;                // offset from the virtual desktop's top-left corner
        int y = 0;
        int monitorWidth = 0;
        int monitorHeight = 0;
        int dx = 0;
        int dy = 0;
    };
    MonitorOutput &Output(size_t i) { return static_cast<MonitorOutput &>(*outputs_[i]); }
    static void PlaceWindow(MonitorOutput &output);
};

class RHFullscreenDesktopRenderer : public RHRenderer {
public:
    RHFullscreenDesktopRenderer(const MediaItem &item, HWND playerWindow, bool singleRenderer,
                                std::span<const RECT> areas = {});
    ~RHFullscreenDesktopRenderer() override;

    void Step() override;
    void Layout() override;
    void GetPositions(std::vector<PlacementFraction> &out) override;
    void SetVelocity(int dx, int dy) override;
    void GetVelocity(int &dx, int &dy) override;

protected:
    // One monitor's video window on systems where a video window cannot span monitors.
    struct DesktopOutput : VideoOutput {
        RECT monitor{};   // relative to the virtual desktop's top-left corner
    };
    DesktopOutput &Output(size_t i) { return static_cast<DesktopOutput &>(*outputs_[i]); }
    void ApplyPicture(const RECT &before);

    RECT bounds_{};    // the areas' bounding rectangle in the player window; empty: all of it
    POINT origin_{};   // where the picture's area lies in the player window
    RECT picture_{};   // relative to origin_
    RECT area_{};      // left, top, width, height; left and top stay 0
    int width_ = 0;
    int height_ = 0;
    int dx_ = 0;
    int dy_ = 0;
};
