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
