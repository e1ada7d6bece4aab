// The virtual desktop and the enabled monitors, in virtual-desktop coordinates,
// read afresh at each call from the platform's own monitor enumeration.
#pragma once

#include <windows.h>

#include <vector>

struct MonitorLayout {
    RECT desktop{};               // the virtual desktop rectangle
    std::vector<RECT> monitors;   // enabled monitors, primary first
};

MonitorLayout QueryMonitorLayout();
