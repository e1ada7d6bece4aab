// The windowed, per-monitor and desktop-spanning renderers: their outputs and geometry.
#include "variants.h"

#include "geometry.h"
#include "monitor_layout.h"
#include "render_ids.h"

namespace {

PictureRect PlaceIn(const MediaItem &item, int areaW, int areaH, int nativeW, int nativeH)
{
    const PlaybackItem &it = item.fields;
    return PlacePicture(areaW, areaH, nativeW, nativeH, it.scale, it.scaleToScreen != 0,
                        it.keepAspect != 0, it.xPosition, it.yPosition);
}

// Windows before Vista cannot show one video window across several monitors.
bool VideoWindowSpansMonitors()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version))
        return true;
#pragma GCC diagnostic pop
    return version.dwMajorVersion >= 6;
}

const CLSID *ClassicIf(bool classic)
{
    return classic ? &kClassicVideoRenderer : nullptr;
}

}  // namespace

// ---- RHWindowedRenderer -------------------------------------------------------------------

RHWindowedRenderer::RHWindowedRenderer(const MediaItem &item, HWND playerWindow,
                                       bool classicRenderer)
    : RHRenderer(item, ClassicIf(classicRenderer), playerWindow)
{
    outputs_.push_back(std::make_unique<VideoOutput>());
}

RHWindowedRenderer::~RHWindowedRenderer() = default;

void RHWindowedRenderer::ApplyDestination(const RECT &before)
{
    if (!outputs_[0]->video)
        return;
    (void)outputs_[0]->video->SetDestinationPosition(left_, top_, width_, height_);
    ClearVacated(before, RECT{left_, top_, left_ + width_, top_ + height_});
}

void RHWindowedRenderer::Layout()
{
    const RECT before{left_, top_, left_ + width_, top_ + height_};
    const SIZE client = PlayerClientSize();
    areaWidth_ = client.cx;
    areaHeight_ = client.cy;
    MoveVideoWindow(*outputs_[0], 0, 0, areaWidth_, areaHeight_);
    const PictureRect picture = PlaceIn(*item_, areaWidth_, areaHeight_, nativeWidth_, nativeHeight_);
    left_ = picture.left;
    top_ = picture.top;
    width_ = picture.width;
    height_ = picture.height;
    ApplyDestination(before);
}

void RHWindowedRenderer::Step()
{
    if (!HasGraph())
        return;
    const RECT before{left_, top_, left_ + width_, top_ + height_};
    RECT picture = before;
    AdvanceBounce(picture, areaWidth_, areaHeight_, dx_, dy_);
    left_ = picture.left;
    top_ = picture.top;
    ApplyDestination(before);
}

void RHWindowedRenderer::GetPositions(std::vector<PlacementFraction> &out)
{
    out.push_back({PlacementFractionOf(left_, areaWidth_ - width_),
                   PlacementFractionOf(top_, areaHeight_ - height_)});
}

void RHWindowedRenderer::SetVelocity(int dx, int dy)
{
    dx_ = dx;
    dy_ = dy;
}

void RHWindowedRenderer::GetVelocity(int &dx, int &dy)
{
    dx = dx_;
    dy = dy_;
}

// ---- RHFullscreenMonitorRenderer ----------------------------------------------------------

RHFullscreenMonitorRenderer::RHFullscreenMonitorRenderer(const MediaItem &item,
                                                         HWND playerWindow, bool classicRenderer,
                                                         std::span<const RECT> areas)
    : RHRenderer(item, ClassicIf(classicRenderer), playerWindow)
{
    // Without any monitor there is nothing to show on: no output, and loading then fails
    // as for a file without video.
    const MonitorLayout layout = ConfineLayout(QueryMonitorLayout(), areas);
    const POINT desktop{layout.desktop.left, layout.desktop.top};
    const POINT origin = areas.empty() ? desktop : ClientOrigin(playerWindow, desktop);
    for (const RECT &monitor : layout.monitors) {
        auto output = std::make_unique<MonitorOutput>();
        output->x = monitor.left - origin.x;
        output->y = monitor.top - origin.y;
        output->monitorWidth = monitor.right - monitor.left;
        output->monitorHeight = monitor.bottom - monitor.top;
        outputs_.push_back(std::move(output));
    }
}

RHFullscreenMonitorRenderer::~RHFullscreenMonitorRenderer() = default;

void RHFullscreenMonitorRenderer::PlaceWindow(MonitorOutput &output)
{
    MoveVideoWindow(output, output.x + output.left, output.y + output.top, output.width,
                    output.height);
}

void RHFullscreenMonitorRenderer::Layout()
{
    for (size_t i = 0; i < outputs_.size(); ++i) {
        MonitorOutput &output = Output(i);
        const PictureRect picture = PlaceIn(*item_, output.monitorWidth, output.monitorHeight,
                                            nativeWidth_, nativeHeight_);
        output.left = picture.left;
        output.top = picture.top;
        output.width = picture.width;
        output.height = picture.height;
        PlaceWindow(output);
    }
}

void RHFullscreenMonitorRenderer::Step()
{
    if (!HasGraph())
        return;
    for (size_t i = 0; i < outputs_.size(); ++i) {
        MonitorOutput &output = Output(i);
        RECT picture{output.left, output.top, output.left + output.width,
                     output.top + output.height};
        AdvanceBounce(picture, output.monitorWidth, output.monitorHeight, output.dx, output.dy);
        output.left = picture.left;
        output.top = picture.top;
        PlaceWindow(output);
    }
}

void RHFullscreenMonitorRenderer::GetPositions(std::vector<PlacementFraction> &out)
{
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const MonitorOutput &output = Output(i);
        out.push_back({PlacementFractionOf(output.left, output.monitorWidth - output.width),
                       PlacementFractionOf(output.top, output.monitorHeight - output.height)});
    }
}

void RHFullscreenMonitorRenderer::SetVelocity(int dx, int dy)
{
    for (size_t i = 0; i < outputs_.size(); ++i) {
        Output(i).dx = dx;
        Output(i).dy = dy;
    }
}

void RHFullscreenMonitorRenderer::GetVelocity(int &dx, int &dy)
{
    dx = dy = 0;
    if (!outputs_.empty()) {
        dx = Output(0).dx;
        dy = Output(0).dy;
    }
}

// ---- RHFullscreenDesktopRenderer ----------------------------------------------------------

RHFullscreenDesktopRenderer::RHFullscreenDesktopRenderer(const MediaItem &item,
                                                         HWND playerWindow, bool singleRenderer,
                                                         std::span<const RECT> areas)
    : RHRenderer(item, &kClassicVideoRenderer, playerWindow)
{
    const MonitorLayout layout = ConfineLayout(QueryMonitorLayout(), areas);
    const POINT desktop{layout.desktop.left, layout.desktop.top};
    const POINT origin = areas.empty() ? desktop : ClientOrigin(playerWindow, desktop);
    if (!areas.empty()) {
        bounds_ = BoundingRect(areas);
        OffsetRect(&bounds_, -origin.x, -origin.y);
    }
    if (!singleRenderer && !VideoWindowSpansMonitors()) {
        for (const RECT &monitor : layout.monitors) {
            auto output = std::make_unique<DesktopOutput>();
            output->monitor = monitor;
            OffsetRect(&output->monitor, -origin.x, -origin.y);
            outputs_.push_back(std::move(output));
        }
    }
    // One video window over the whole player window: on newer systems, in single-renderer
    // mode, and when no monitor is known (then the player window is all there is to fill).
    if (outputs_.empty())
        outputs_.push_back(std::make_unique<DesktopOutput>());
}

RHFullscreenDesktopRenderer::~RHFullscreenDesktopRenderer() = default;

void RHFullscreenDesktopRenderer::Layout()
{
    const SIZE client = PlayerClientSize();
    const RECT bounds = IsRectEmpty(&bounds_) ? RECT{0, 0, client.cx, client.cy} : bounds_;
    origin_ = {bounds.left, bounds.top};
    area_ = {0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
    if (outputs_.size() == 1) {
        MoveVideoWindow(*outputs_[0], origin_.x, origin_.y, area_.right, area_.bottom);
    } else {
        for (size_t i = 0; i < outputs_.size(); ++i) {
            const RECT &m = Output(i).monitor;
            MoveVideoWindow(Output(i), m.left, m.top, m.right - m.left, m.bottom - m.top);
        }
    }
    const PictureRect picture = PlaceIn(*item_, area_.right, area_.bottom, nativeWidth_, nativeHeight_);
    const RECT before = picture_;
    width_ = picture.width;
    height_ = picture.height;
    picture_ = {picture.left, picture.top, picture.left + picture.width,
                picture.top + picture.height};
    ApplyPicture(before);
}

// The one video window lies over the picture's area, so the picture rectangle is relative to
// it; the per-monitor ones lie at their monitors' places in the player window, where the
// picture is shifted by the area's origin.
void RHFullscreenDesktopRenderer::ApplyPicture(const RECT &before)
{
    RECT vacated = before, onWindow = picture_;
    OffsetRect(&vacated, origin_.x, origin_.y);
    OffsetRect(&onWindow, origin_.x, origin_.y);
    ClearVacated(vacated, onWindow);
    if (outputs_.size() == 1) {
        if (outputs_[0]->video)
            (void)outputs_[0]->video->SetDestinationPosition(picture_.left, picture_.top, width_,
                                                              height_);
        return;
    }
    for (size_t i = 0; i < outputs_.size(); ++i) {
        DesktopOutput &output = Output(i);
        if (!output.video)
            continue;
        const MonitorShare share = ShareOfMonitor(onWindow, output.monitor, nativeWidth_,
                                                  nativeHeight_);
        if (!share.visible) {
            // Out of that window's sight: its monitor shows the player window's black.
            (void)output.video->put_DestinationLeft(area_.right + 1);
            continue;
        }
        const PictureRect &d = share.destination;
        const PictureRect &s = share.source;
        (void)output.video->SetDestinationPosition(d.left, d.top, d.width, d.height);
        (void)output.video->SetSourcePosition(s.left, s.top, s.width, s.height);
    }
}

void RHFullscreenDesktopRenderer::Step()
{
    if (!HasGraph())
        return;
    const RECT before = picture_;
    AdvanceBounce(picture_, area_.right, area_.bottom, dx_, dy_);
    ApplyPicture(before);
}

void RHFullscreenDesktopRenderer::GetPositions(std::vector<PlacementFraction> &out)
{
    out.push_back({PlacementFractionOf(picture_.left, area_.right - width_),
                   PlacementFractionOf(picture_.top, area_.bottom - height_)});
}

void RHFullscreenDesktopRenderer::SetVelocity(int dx, int dy)
{
    dx_ = dx;
    dy_ = dy;
}

void RHFullscreenDesktopRenderer::GetVelocity(int &dx, int &dy)
{
    dx = dx_;
    dy = dy_;
}

// ---- Factories ----------------------------------------------------------------------------

std::unique_ptr<RHRenderer> MakeWindowedRenderer(const MediaItem &item, HWND playerWindow,
                                                 bool classicRenderer)
{
    return std::make_unique<RHWindowedRenderer>(item, playerWindow, classicRenderer);
}

std::unique_ptr<RHRenderer> MakeFullscreenMonitorRenderer(const MediaItem &item,
                                                          HWND playerWindow, bool classicRenderer,
                                                          std::span<const RECT> areas)
{
    return std::make_unique<RHFullscreenMonitorRenderer>(item, playerWindow, classicRenderer, areas);
}

std::unique_ptr<RHRenderer> MakeFullscreenDesktopRenderer(const MediaItem &item,
                                                          HWND playerWindow, bool singleRenderer,
                                                          std::span<const RECT> areas)
{
    return std::make_unique<RHFullscreenDesktopRenderer>(item, playerWindow, singleRenderer, areas);
}
