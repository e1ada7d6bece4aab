#include "playlist_row.h"

const wchar_t *const kSizeNames[kSizeModeCount] = {
    L"Maximized", L"Full Screen", L"3/4 Screen", L"1/2 Screen",
    L"1/4 Screen", L"Original",   L"Double Original"};
const wchar_t *const kStyleNames[kStyleCount] = {L"Monitor", L"Desktop"};

namespace {

// The item fields each size mode stands for, in the order of kSizeNames.
struct SizeMode {
    BYTE scaleToScreen;
    BYTE keepAspect;
    float scale;
};
constexpr SizeMode kSizeModes[kSizeModeCount] = {{1, 1, 1.0f},  {1, 0, 1.0f}, {1, 1, 0.75f},
                                                 {1, 1, 0.5f},  {1, 1, 0.25f}, {0, 1, 1.0f},
                                                 {0, 1, 2.0f}};

} // namespace

int SizeModeOf(const PlaybackItem &item)
{
    const bool toScreen = item.scaleToScreen != 0;
    for (int n = 0; n < kSizeModeCount; ++n) {
        const SizeMode &mode = kSizeModes[n];
        if ((mode.scaleToScreen != 0) == toScreen && mode.scale == item.scale &&
            (!toScreen || item.scale != 1.0f || (mode.keepAspect != 0) == (item.keepAspect != 0)))
            return n;
    }
    return -1;
}

namespace {

// One field group: how the row's value becomes the item's, and back.
struct FieldGroup {
    DWORD bits;
    bool (*toItem)(const PlaylistRow &, PlaybackItem &); // false when it wrote nothing
    void (*toRow)(const PlaybackItem &, PlaylistRow &);
};

constexpr FieldGroup kFieldGroups[] = {
    {kRowLoops,
     [](const PlaylistRow &row, PlaybackItem &item) {
         item.loops = row.loops;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) { row.loops = item.loops; }},
    {kRowSize,
     [](const PlaylistRow &row, PlaybackItem &item) {
         if (row.sizeMode < 0 || row.sizeMode >= kSizeModeCount)
             return false;
         const SizeMode &mode = kSizeModes[row.sizeMode];
         item.scaleToScreen = mode.scaleToScreen;
         item.keepAspect = mode.keepAspect;
         item.scale = mode.scale;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) {
         if (const int mode = SizeModeOf(item); mode >= 0)
             row.sizeMode = mode;
     }},
    {kRowVolume,
     [](const PlaylistRow &row, PlaybackItem &item) {
         item.volume = row.volume;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) { row.volume = item.volume; }},
    // Style 0, "Monitor", is a picture on every monitor.
    {kRowStyle,
     [](const PlaylistRow &row, PlaybackItem &item) {
         item.perMonitor = row.displayStyle == 0 ? 1 : 0;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) { row.displayStyle = item.perMonitor ? 0 : 1; }},
    {kRowBounce,
     [](const PlaylistRow &row, PlaybackItem &item) {
         item.bounce = row.bounce ? 1 : 0;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) { row.bounce = item.bounce != 0; }},
    {kRowSpeed,
     [](const PlaylistRow &row, PlaybackItem &item) {
         item.rate = row.speed;
         return true;
     },
     [](const PlaybackItem &item, PlaylistRow &row) { row.speed = item.rate; }},
};

} // namespace

DWORD RowToItem(const PlaylistRow &row, PlaybackItem &item, DWORD groups)
{
    DWORD written = 0;
    for (const FieldGroup &group : kFieldGroups) {
        if ((groups & group.bits) && group.toItem(row, item))
            written |= group.bits;
    }
    return written;
}

void ItemToRow(const PlaybackItem &item, PlaylistRow &row)
{
    for (const FieldGroup &group : kFieldGroups)
        group.toRow(item, row);
}
