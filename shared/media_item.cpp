#include "media_item.h"

namespace {

BYTE Flag(BYTE value) { return value ? 1 : 0; }

// Stores value into field when the group is named; marks the group when that changed it.
template <typename T>
void Take(T &field, T value, DWORD group, DWORD mask, DWORD &changed)
{
    if (!(mask & group))
        return;
    if (field != value)
        changed |= group;
    field = value;
}

} // namespace

DWORD CopyItemGroups(PlaybackItem &to, const PlaybackItem &from, DWORD mask)
{
    DWORD changed = 0;
    Take(to.xPosition, from.xPosition, ITEM_POSITION_XY, mask, changed);
    Take(to.yPosition, from.yPosition, ITEM_POSITION_XY, mask, changed);
    Take(to.bounceStep, from.bounceStep, ITEM_BOUNCE_MOTION, mask, changed);
    Take(to.bounceInterval, from.bounceInterval, ITEM_BOUNCE_MOTION, mask, changed);
    Take(to.windowLeft, from.windowLeft, ITEM_WINDOW_RECT, mask, changed);
    Take(to.windowTop, from.windowTop, ITEM_WINDOW_RECT, mask, changed);
    Take(to.windowWidth, from.windowWidth, ITEM_WINDOW_RECT, mask, changed);
    Take(to.windowHeight, from.windowHeight, ITEM_WINDOW_RECT, mask, changed);
    Take(to.position, from.position, ITEM_POSITION, mask, changed);
    Take(to.parentWindow, from.parentWindow, ITEM_PARENT, mask, changed);
    Take(to.loops, from.loops, ITEM_LOOPS, mask, changed);
    Take(to.volume, from.volume, ITEM_VOLUME, mask, changed);
    Take(to.style, from.style, ITEM_STYLE, mask, changed);
    Take(to.scale, from.scale, ITEM_SCALE, mask, changed);
    Take(to.rate, from.rate, ITEM_RATE, mask, changed);
    Take(to.scaleToScreen, Flag(from.scaleToScreen), ITEM_SCALE_TO_SCREEN, mask, changed);
    Take(to.keepAspect, Flag(from.keepAspect), ITEM_KEEP_ASPECT, mask, changed);
    Take(to.bounce, Flag(from.bounce), ITEM_BOUNCE, mask, changed);
    Take(to.perMonitor, Flag(from.perMonitor), ITEM_PER_MONITOR, mask, changed);
    Take(to.reserved, Flag(from.reserved), ITEM_RESERVED, mask, changed);
    Take(to.blockScreenSaver, Flag(from.blockScreenSaver), ITEM_BLOCK_SCREEN_SAVER, mask, changed);
    Take(to.blockMonitorPower, Flag(from.blockMonitorPower), ITEM_BLOCK_MONITOR_POWER, mask, changed);
    return changed;
}
