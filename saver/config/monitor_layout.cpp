#include "monitor_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <limits>

MapScale FitMap(std::span<const DisplayMonitor> monitors, const RECT &client, int margin)
{
    MapScale scale;
    if (monitors.empty())
        return scale;
    RECT bounds = monitors.front().area;
    for (const DisplayMonitor &monitor : monitors)
        UnionRect(&bounds, &bounds, &monitor.area);
    const double width = bounds.right - bounds.left;
    const double height = bounds.bottom - bounds.top;
    const double roomX = (client.right - client.left) - 2.0 * margin;
    const double roomY = (client.bottom - client.top) - 2.0 * margin;
    if (width <= 0 || height <= 0 || roomX <= 0 || roomY <= 0)
        return scale;
    scale.factor = std::min(roomX / width, roomY / height);
    scale.origin = {bounds.left, bounds.top};
    scale.offset = {client.left + margin + std::lround((roomX - width * scale.factor) / 2),
                    client.top + margin + std::lround((roomY - height * scale.factor) / 2)};
    return scale;
}

RECT MapArea(const MapScale &scale, const RECT &area)
{
    auto x = [&](LONG v) { return scale.offset.x + std::lround((v - scale.origin.x) * scale.factor); };
    auto y = [&](LONG v) { return scale.offset.y + std::lround((v - scale.origin.y) * scale.factor); };
    return {x(area.left), y(area.top), x(area.right), y(area.bottom)};
}

int MonitorAtPoint(std::span<const DisplayMonitor> monitors, const MapScale &scale, POINT point)
{
    // Later monitors are drawn over earlier ones where mirrored monitors overlap.
    for (size_t i = monitors.size(); i-- > 0;) {
        const RECT drawn = MapArea(scale, monitors[i].area);
        if (PtInRect(&drawn, point))
            return static_cast<int>(i);
    }
    return -1;
}

size_t NextMonitor(std::span<const DisplayMonitor> monitors, size_t from, MapDirection direction)
{
    if (from >= monitors.size())
        return from;
    // Centres doubled, so they stay whole numbers.
    auto centre = [&](size_t i) {
        const RECT &a = monitors[i].area;
        return std::pair<LONGLONG, LONGLONG>{LONGLONG{a.left} + a.right, LONGLONG{a.top} + a.bottom};
    };
    const auto [fromX, fromY] = centre(from);
    size_t best = from;
    LONGLONG bestScore = std::numeric_limits<LONGLONG>::max();
    for (size_t i = 0; i < monitors.size(); ++i) {
        const auto [x, y] = centre(i);
        LONGLONG along = 0, across = 0;
        switch (direction) {
        case MapDirection::Left: along = fromX - x, across = y - fromY; break;
        case MapDirection::Right: along = x - fromX, across = y - fromY; break;
        case MapDirection::Up: along = fromY - y, across = x - fromX; break;
        case MapDirection::Down: along = y - fromY, across = x - fromX; break;
        }
        // Within 45 degrees of the direction: a monitor beside this one is not "down" for
        // being a little lower.
        if (along <= 0 || std::llabs(across) > along)
            continue;
        const LONGLONG score = along + 2 * std::llabs(across);
        if (score < bestScore) {
            bestScore = score;
            best = i;
        }
    }
    return best;
}

bool ToggleMonitor(std::vector<bool> &chosen, size_t index)
{
    if (index >= chosen.size())
        return false;
    if (chosen[index] && std::count(chosen.begin(), chosen.end(), true) == 1)
        return false;
    chosen[index] = !chosen[index];
    return true;
}

std::vector<bool> ChosenFlags(std::wstring_view setting, std::span<const DisplayMonitor> present)
{
    std::vector<bool> flags(present.size(), false);
    for (const DisplayMonitor &chosen : ChooseMonitors(setting, present)) {
        for (size_t i = 0; i < present.size(); ++i) {
            if (wcscmp(present[i].device, chosen.device) == 0 && EqualRect(&present[i].area, &chosen.area))
                flags[i] = true;
        }
    }
    return flags;
}

std::wstring MonitorsSetting(std::span<const DisplayMonitor> present, const std::vector<bool> &chosen)
{
    std::wstring setting;
    size_t count = 0;
    for (size_t i = 0; i < present.size() && i < chosen.size(); ++i) {
        if (!chosen[i])
            continue;
        ++count;
        if (!setting.empty())
            setting += L';';
        setting += present[i].device;
    }
    if (count == 0 || count == present.size() || setting.size() > kMonitorsChars)
        return L"";
    return setting;
}
