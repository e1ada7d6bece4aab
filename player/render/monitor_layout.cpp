// The platform's monitor enumeration. Only monitors that are part of the desktop are
// enumerated, so every one counts as enabled. Order: the
// primary monitor first, the others in the order the system enumerates them.
//
// Without any monitor (the enumeration failing or finding none) the list is empty: the
// per-monitor renderer then has no output and its loads fail as for a file without video,
// while the desktop-spanning renderer falls back to one output covering the player window.
#include "monitor_layout.h"

#include <algorithm>
#include <new>

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    auto &found = *reinterpret_cast<std::vector<MONITORINFO> *>(context);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info)) {
        // No exception may unwind through the system's enumeration.
        try {
            found.push_back(info);
        } catch (const std::bad_alloc &) {
            return FALSE;
        }
    }
    return TRUE;
}

}  // namespace

MonitorLayout QueryMonitorLayout()
{
    MonitorLayout layout;
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    layout.desktop = {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};

    std::vector<MONITORINFO> found;
    if (!EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&found)))
        found.clear();
    std::stable_partition(found.begin(), found.end(), [](const MONITORINFO &info) {
        return (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    });
    for (const MONITORINFO &info : found)
        layout.monitors.push_back(info.rcMonitor);
    return layout;
}

MonitorLayout ConfineLayout(MonitorLayout layout, std::span<const RECT> areas)
{
    if (!areas.empty())
        layout.monitors.assign(areas.begin(), areas.end());
    return layout;
}

RECT PlayerWindowPlace(const MonitorLayout &layout, std::span<const RECT> areas)
{
    if (areas.empty())
        return layout.desktop;
    RECT bounds = areas.front();
    for (const RECT &area : areas.subspan(1))
        UnionRect(&bounds, &bounds, &area);
    return bounds;
}

POINT ClientOrigin(HWND window, POINT fallback)
{
    POINT origin{0, 0};
    if (!window || !ClientToScreen(window, &origin))
        return fallback;
    return origin;
}
