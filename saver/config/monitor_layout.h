// The Monitors dialog's reasoning apart from its windows: where the map draws each monitor,
// which monitor a point or an arrow key reaches, and the "Monitors" setting for the chosen
// ones. Pure, so the tests call it with made-up layouts.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "monitor_choice.h"

// How virtual-screen coordinates become map coordinates: subtract `origin`, multiply by
// `factor`, add `offset`.
struct MapScale {
    double factor = 0;
    POINT origin{};
    POINT offset{};
};

// The largest scale that shows every monitor within `client` less `margin` on each side,
// centred. A factor of 0 when there is nothing to show or no room.
MapScale FitMap(std::span<const DisplayMonitor> monitors, const RECT &client, int margin);

// `area` (virtual-screen coordinates) as the map draws it.
RECT MapArea(const MapScale &scale, const RECT &area);

// Index of the monitor drawn under `point`, or -1.
int MonitorAtPoint(std::span<const DisplayMonitor> monitors, const MapScale &scale, POINT point);

enum class MapDirection { Left, Right, Up, Down };

// The monitor an arrow key moves to from `from`: among those whose centre lies that way
// (within 45 degrees), the nearest, distance across the direction counting double so that a
// monitor in line wins over a nearer one off to the side. `from` itself when none does.
size_t NextMonitor(std::span<const DisplayMonitor> monitors, size_t from, MapDirection direction);

// Turns `index` in or out. The last chosen monitor stays chosen: false then, nothing changed.
bool ToggleMonitor(std::vector<bool> &chosen, size_t index);

// Which of `present` the setting chooses (as ChooseMonitors reads it), in `present`'s order.
std::vector<bool> ChosenFlags(std::wstring_view setting, std::span<const DisplayMonitor> present);

// The setting that chooses exactly the flagged monitors: "" when all are (or none, which no
// setting can say), else their device names joined by ";". Names that would not fit the
// setting give "" as well: every monitor rather than a cut name that matches none.
std::wstring MonitorsSetting(std::span<const DisplayMonitor> present, const std::vector<bool> &chosen);
