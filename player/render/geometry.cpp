#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Whole part toward zero, saturating at the limits of int; NaN gives 0.
int Trunc(double value)
{
    if (std::isnan(value))
        return 0;
    value = std::trunc(value);
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// One axis of the bounce: how far to move, turning the velocity at an edge.
int BounceMove(LONG low, LONG high, int limit, int &velocity)
{
    if (low + velocity < 0) {
        velocity = -velocity;
        return -low;
    }
    if (high + velocity > limit) {
        velocity = -velocity;
        return limit - high;
    }
    return velocity;
}

}  // namespace

double SaneScale(double scale)
{
    return std::isnan(scale) ? 1.0 : std::clamp(scale, 0.0, kMaxScale);
}

double SanePosition(double fraction)
{
    return std::isnan(fraction) ? 0.5 : std::clamp(fraction, 0.0, 1.0);
}

double SaneRate(double rate)
{
    return std::isnan(rate) ? 1.0 : std::clamp(rate, 0.25, 4.0);
}

int BounceVelocity(double step)
{
    return std::clamp(Trunc(step), -kMaxBounceStep, kMaxBounceStep); // NaN: 0
}

DWORD BounceIntervalMs(double interval)
{
    if (std::isnan(interval))
        return 33;
    return static_cast<DWORD>(std::clamp(Trunc(interval), static_cast<int>(kMinBounceIntervalMs),
                                         static_cast<int>(kMaxBounceIntervalMs)));
}

PictureSize PictureSizeFor(int areaW, int areaH, int nativeW, int nativeH, float scale,
                           bool scaleToScreen, bool keepAspect)
{
    const double s = SaneScale(scale);
    PictureSize size;
    if (!scaleToScreen) {
        size.width = Trunc(s * nativeW);
        size.height = Trunc(nativeH * s);
        return size;
    }
    size.width = Trunc(areaW * s);
    size.height = Trunc(areaH * s);
    // Without a known frame size there is no aspect to keep (and the ratios would divide
    // by zero), so the scaled area stands.
    if (keepAspect && nativeW > 0 && nativeH > 0) {
        const double ry = static_cast<double>(size.height) / nativeH;
        const double rx = static_cast<double>(size.width) / nativeW;
        if (ry > rx)
            size.height = Trunc(rx * nativeH);
        else
            size.width = Trunc(nativeW * ry);
    }
    return size;
}

int RoundHalfAway(double value)
{
    return Trunc(std::round(value));   // std::round rounds halves away from zero
}

int PlaceOffset(double fraction, int freeSpace)
{
    return RoundHalfAway(SanePosition(fraction) * freeSpace);
}

double PlacementFractionOf(int offset, int freeSpace)
{
    if (freeSpace == 0)
        return 0.5;
    return static_cast<double>(offset) / freeSpace;
}

PictureRect PlacePicture(int areaW, int areaH, int nativeW, int nativeH, float scale,
                         bool scaleToScreen, bool keepAspect, double xPosition, double yPosition)
{
    const PictureSize size =
        PictureSizeFor(areaW, areaH, nativeW, nativeH, scale, scaleToScreen, keepAspect);
    return {PlaceOffset(xPosition, areaW - size.width), PlaceOffset(yPosition, areaH - size.height),
            size.width, size.height};
}

void AdvanceBounce(RECT &picture, int areaW, int areaH, int &dx, int &dy)
{
    const int moveX = BounceMove(picture.left, picture.right, areaW, dx);
    const int moveY = BounceMove(picture.top, picture.bottom, areaH, dy);
    OffsetRect(&picture, moveX, moveY);
}

int VolumeFromPercent(int percent)
{
    const int p = std::clamp(percent, 0, 100);
    if (p >= 50)
        return -20 * (100 - p);
    if (p >= 25)
        return 40 * (p - 50) - 1000;
    if (p >= 12)
        return 80 * (p - 25) - 2000;
    return kSilentVolume;
}

MonitorShare ShareOfMonitor(const RECT &picture, const RECT &monitor, int nativeW, int nativeH)
{
    MonitorShare share;
    RECT cut;
    if (!IntersectRect(&cut, &picture, &monitor))
        return share;
    const double w = picture.right - picture.left;
    const double h = picture.bottom - picture.top;
    const int iw = cut.right - cut.left;
    const int ih = cut.bottom - cut.top;
    share.visible = true;
    share.destination = {cut.left - monitor.left, cut.top - monitor.top, iw, ih};
    share.source = {Trunc(std::fabs((cut.left - picture.left) / w) * nativeW),
                    Trunc(std::fabs((cut.top - picture.top) / h) * nativeH),
                    Trunc(std::fabs(iw / w) * nativeW), Trunc(std::fabs(ih / h) * nativeH)};
    return share;
}

RECT BoundingRect(std::span<const RECT> rects)
{
    if (rects.empty())
        return RECT{};
    RECT bounds = rects.front();
    for (const RECT &r : rects.subspan(1)) {
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
    }
    return bounds;
}
