// The virtual desktop and the enabled monitors, in virtual-desktop coordinates,
// read afresh at each call from the platform's own monitor enumeration.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

struct MonitorLayout {
    RECT desktop{};               // the virtual desktop rectangle
    std::vector<RECT> monitors;   // enabled monitors, primary first
};

MonitorLayout QueryMonitorLayout();

// The layout of a player confined to areas (virtual-desktop coordinates): the same desktop,
// and the areas, in the order given, in place of the monitors. Without areas, the layout
// as it is.
MonitorLayout ConfineLayout(MonitorLayout layout, std::span<const RECT> areas);

// Where a full-screen player window lies: over the areas' bounding rectangle, or over the
// whole desktop without areas. Players confined to different monitors so never cover each
// other.
RECT PlayerWindowPlace(const MonitorLayout &layout, std::span<const RECT> areas);

// The screen position of window's client origin, or fallback without a window. Confined
// outputs are placed from where the player window really is: over its areas, or over the
// whole desktop when a caller made that window itself.
POINT ClientOrigin(HWND window, POINT fallback);
