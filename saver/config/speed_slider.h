// The speed slider's scale: positions 0 to 120 with 1.00 at 60, one position per 0.05 step
// on the fast side (up to 4.00) and four positions per step on the slow side (down to 0.25),
// so both halves of the slider have the same length.
#pragma once

#include <windows.h>

namespace SpeedSlider {

// Horizontal sliders have the slowest speed at position 0; vertical ones the fastest, as a
// vertical trackbar has its minimum at the top.
enum class Orientation { Horizontal, Vertical };

inline constexpr int kMaximum = 120;
inline constexpr int kCentre = 60;

float PositionToSpeed(int position, Orientation orientation);
// The position for `speed` (0 counts as 1.0) and the arrow-key step that suits it.
int SpeedToPosition(float speed, Orientation orientation, int *lineSize);
// Position after an arrow-key step from `last` to `position`, so that a step across 1.00
// lands on the neighbouring speed instead of skipping or repeating one.
int SnapLineStep(int position, int last, Orientation orientation);
// Arrow-key step after the slider reached `position`.
int LineSizeAt(int position, int currentLineSize, Orientation orientation);

// Gives a trackbar the scale's range, a tick at 1.00, and the position and arrow step for
// `speed`; returns the position.
int SetUp(HWND slider, float speed, Orientation orientation);
// After a trackbar moved (`code` as in its scroll notification): an arrow step across 1.00
// is snapped, the arrow step suits the side the slider is on, and `*last` keeps the
// position. Returns the speed there.
float OnMoved(HWND slider, int code, int *last, Orientation orientation);

} // namespace SpeedSlider
