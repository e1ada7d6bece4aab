#include "speed_slider.h"

#include <commctrl.h>

#include "value_limits.h"

namespace SpeedSlider {

namespace {
// Distance from the centre towards the fast end.
int FastDistance(int position, Orientation orientation)
{
    return orientation == Orientation::Horizontal ? position - kCentre : kCentre - position;
}
} // namespace

float PositionToSpeed(int position, Orientation orientation)
{
    int d = FastDistance(position, orientation);
    double speed;
    if (d >= 0) {
        speed = 1.0 + d * 0.05;
    } else {
        int m = -d;
        int n = m / 4 + (m % 4 == 3 ? 1 : 0);
        speed = 1.0 - n * 0.05;
    }
    return static_cast<float>(speed);
}

int SpeedToPosition(float speed, Orientation orientation, int *lineSize)
{
    double s = speed == 0.0f ? 1.0 : speed;
    double d;
    int line;
    if (s > 1.0) {
        if (s > kFastestSpeed)
            s = kFastestSpeed;
        d = (s - 1.0) / 0.05;
        line = 1;
    } else {
        if (s < kSlowestSpeed)
            s = kSlowestSpeed;
        d = -((1.0 - s) / 0.05) * 4;
        line = 4;
    }
    if (lineSize)
        *lineSize = line;
    double position = orientation == Orientation::Horizontal ? kCentre + d : kCentre - d;
    return static_cast<int>(position);
}

int SnapLineStep(int p, int q, Orientation orientation)
{
    if (orientation == Orientation::Horizontal) {
        if (q > kCentre && p < kCentre)
            return 56;
        if (q <= kCentre && p > kCentre)
            return q == 57 ? 60 : 61;
        if (q == kCentre && p < kCentre)
            return 56;
    } else {
        if (q > kCentre && p < kCentre)
            return q == 63 ? 60 : 59;
        if (q <= kCentre && p > kCentre)
            return 64;
        if (q == kCentre && p < kCentre)
            return 59;
    }
    return p;
}

int LineSizeAt(int position, int currentLineSize, Orientation orientation)
{
    int d = FastDistance(position, orientation);
    if (d > 0)
        return 1;
    if (d < 0)
        return 4;
    return currentLineSize;
}

int SetUp(HWND slider, float speed, Orientation orientation)
{
    SendMessageW(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kMaximum));
    SendMessageW(slider, TBM_SETTIC, 0, kCentre);
    int line = 1;
    int position = SpeedToPosition(speed, orientation, &line);
    SendMessageW(slider, TBM_SETLINESIZE, 0, line);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    return position;
}

float OnMoved(HWND slider, int code, int *last, Orientation orientation)
{
    int position = static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0));
    if (code == TB_LINEUP || code == TB_LINEDOWN) {
        int snapped = SnapLineStep(position, *last, orientation);
        if (snapped != position) {
            position = snapped;
            SendMessageW(slider, TBM_SETPOS, TRUE, position);
        }
    }
    int line = static_cast<int>(SendMessageW(slider, TBM_GETLINESIZE, 0, 0));
    SendMessageW(slider, TBM_SETLINESIZE, 0, LineSizeAt(position, line, orientation));
    *last = position;
    return PositionToSpeed(position, orientation);
}

} // namespace SpeedSlider
