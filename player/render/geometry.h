// Video geometry as plain functions: picture size, placement, bouncing, the volume curve and
// each monitor's share of a picture that spans the desktop. The renderers apply what these
// compute; nothing here touches a window or a graph.
#pragma once

#include <windows.h>

#include <span>

// A rectangle as origin and size (the form the video window calls take).
struct PictureRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureRect &, const PictureRect &) = default;
};

struct PictureSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureSize &, const PictureSize &) = default;
};

// A damaged playlist can carry any float or double in the item's settings. Every setting
// goes through one of these before it becomes an integer or reaches the media framework, so
// a stray value gives a defined result instead of an undefined conversion:
// NaN takes the fallback; anything else, infinities included, is clamped to the range:
// - scale: NaN -> 1.0; range 0..kMaxScale;
// - xPosition, yPosition: NaN -> 0.5 (centred); range 0..1;
// - rate: NaN -> 1.0; range 0.25..4 (the speeds a playlist offers);
// - bounceStep: NaN -> 0 (still); whole part, range +-kMaxBounceStep;
// - bounceInterval: NaN -> 33 ms (the item default); whole part, range
//   kMinBounceIntervalMs..kMaxBounceIntervalMs (0 would make the timer spin).
// Integer results of the geometry saturate at the limits of int.
inline constexpr double kMaxScale = 16.0;
inline constexpr int kMaxBounceStep = 10000;
inline constexpr DWORD kMinBounceIntervalMs = 1;
inline constexpr DWORD kMaxBounceIntervalMs = 60000;

double SaneScale(double scale);
double SanePosition(double fraction);
double SaneRate(double rate);
int BounceVelocity(double step);
DWORD BounceIntervalMs(double interval);

// The picture's size in an area of areaW x areaH for a native frame of nativeW x nativeH.
// scaleToScreen scales the area (keepAspect then shrinks one side to the frame's aspect);
// otherwise the native frame is scaled. Products are truncated toward zero.
PictureSize PictureSizeFor(int areaW, int areaH, int nativeW, int nativeH, float scale,
                           bool scaleToScreen, bool keepAspect);

// Nearest whole number, halves away from zero (2.5 -> 3, -2.5 -> -3).
int RoundHalfAway(double value);

// Offset of a picture along one axis: round(fraction x free space), the fraction made sane
// first; negative when the picture is larger than its area.
int PlaceOffset(double fraction, int freeSpace);

// The fraction that PlaceOffset turned into offset. Without free space any fraction gives
// offset 0, so the centre (0.5) is reported there.
double PlacementFractionOf(int offset, int freeSpace);

// Picture size and placement in one go, relative to the area's origin.
PictureRect PlacePicture(int areaW, int areaH, int nativeW, int nativeH, float scale,
                         bool scaleToScreen, bool keepAspect, double xPosition, double yPosition);

// One bounce tick of picture inside (0, 0, areaW, areaH) with velocity (dx, dy): a move
// that would cross an edge stops at that edge and turns the velocity on that axis.
void AdvanceBounce(RECT &picture, int areaW, int areaH, int &dx, int &dy);

// Volume in hundredths of a decibel for a percentage (clamped to 0..100); below 12 silent.
int VolumeFromPercent(int percent);

inline constexpr int kSilentVolume = -10000;

// The part of a desktop-spanning picture that one monitor shows.
struct MonitorShare {
    bool visible = false;   // false: the picture does not touch the monitor
    PictureRect destination;   // relative to the monitor's top-left corner
    PictureRect source;        // in native frame pixels
};

// picture and monitor are in the same coordinates (the player window's client area).
MonitorShare ShareOfMonitor(const RECT &picture, const RECT &monitor, int nativeW, int nativeH);

// The smallest rectangle that holds every one of rects; empty (all 0) without any.
RECT BoundingRect(std::span<const RECT> rects);
