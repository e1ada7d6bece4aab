// One playlist entry as the configuration dialog and the playlist tool keep it, and the one
// mapping between its fields and the player library's PlaybackItem: the size modes and the
// field groups, so that the dialog and the tool read and write entries alike.
#pragma once

#include <windows.h>

#include "abi.h"

// One playlist entry as the configuration dialog keeps it (also the playlist defaults).
struct PlaylistRow {
    wchar_t path[300];  // at most 299 characters, longer paths are cut
    wchar_t *name;      // inside path: the text after its last backslash
    HRESULT error;      // result of the last failed play attempt; < 0 means failed
    LONG loops;         // 1..9999
    LONG sizeMode;      // 0..6, see kSizeNames
    LONG displayStyle;  // 0 "Monitor" (a picture on each monitor), 1 "Desktop" (one across them)
    LONG volume;        // percent 0..100
    float speed;        // 0.25..4.00
    bool bounce;
};

enum { kSizeModeCount = 7, kStyleCount = 2 };

// Registry and grid texts; a name's position is the stored index.
extern const wchar_t *const kSizeNames[kSizeModeCount];
extern const wchar_t *const kStyleNames[kStyleCount];

// The size mode of an item's fields, or -1 when they are none. Keep-aspect only tells
// Maximized from Full Screen; at the other scales it is not looked at.
int SizeModeOf(const PlaybackItem &item);

// A row's field groups, as the validMask bits of the item fields each stands for.
enum : DWORD {
    kRowLoops = ITEM_LOOPS,
    kRowSize = ITEM_SCALE | ITEM_SCALE_TO_SCREEN | ITEM_KEEP_ASPECT,
    kRowVolume = ITEM_VOLUME,
    kRowStyle = ITEM_PER_MONITOR,
    kRowBounce = ITEM_BOUNCE,
    kRowSpeed = ITEM_RATE,
    kRowAll = kRowLoops | kRowSize | kRowVolume | kRowStyle | kRowBounce | kRowSpeed,
};

// Writes the row's field groups among `groups` into item and returns the validMask bits of
// what it wrote; a size mode outside the table writes nothing. The file name and validMask
// itself are left alone.
DWORD RowToItem(const PlaylistRow &row, PlaybackItem &item, DWORD groups = kRowAll);
// The item's fields into row; fields that are no size mode leave the row's mode as it was.
void ItemToRow(const PlaybackItem &item, PlaylistRow &row);
