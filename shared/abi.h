// The declarations Reelhaven.scr and Framewheel.dll share: the records and interfaces
// (generated from framewheel.idl), their class identifiers, the field-group bits of
// PlaybackItem and the event mask bits. Both modules see the same bytes, so the record
// layout is pinned here and the vtable slot order in abi_check.cpp.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <cstddef>

#include "framewheel.h"

// Player object and playlist object.
inline constexpr CLSID CLSID_Framewheel = {
    0x6bd1b160, 0x9a88, 0x11d2, {0x86, 0x1c, 0xe1, 0xf2, 0x4a, 0xb2, 0x0c, 0x36}};
inline constexpr CLSID CLSID_Playlist = {
    0x718259e0, 0xc4f7, 0x11d2, {0x86, 0x1c, 0xbd, 0x7b, 0x2e, 0xb4, 0x77, 0x37}};
// The class that hands out the proxy/stub for our interfaces (the first interface's IID,
// as MIDL-style proxies do).
inline constexpr CLSID CLSID_FramewheelProxy = {
    0x3c46ba00, 0xc4f7, 0x11d2, {0x86, 0x1c, 0xbd, 0x7b, 0x2e, 0xb4, 0x77, 0x37}};

// validMask bits of PlaybackItem, one per field group, in declaration order.
enum : DWORD {
    ITEM_POSITION_XY = 0x1,       // xPosition, yPosition
    ITEM_BOUNCE_MOTION = 0x2,     // bounceStep, bounceInterval
    ITEM_WINDOW_RECT = 0x4,       // windowLeft, windowTop, windowWidth, windowHeight
    ITEM_POSITION = 0x8,          // position
    ITEM_FILENAME = 0x10,         // fileName
    ITEM_PARENT = 0x20,           // parentWindow
    ITEM_LOOPS = 0x40,
    ITEM_VOLUME = 0x80,
    ITEM_STYLE = 0x100,
    ITEM_SCALE = 0x200,
    ITEM_RATE = 0x400,
    ITEM_SCALE_TO_SCREEN = 0x800,
    ITEM_KEEP_ASPECT = 0x1000,
    ITEM_BOUNCE = 0x2000,
    ITEM_PER_MONITOR = 0x4000,
    ITEM_RESERVED = 0x8000,
    ITEM_BLOCK_SCREEN_SAVER = 0x10000,
    ITEM_BLOCK_MONITOR_POWER = 0x20000,
    ITEM_ALL = 0x3ffff,
};

// Event mask bits for IHCYFramewheel::Advise.
enum : DWORD {
    EVENT_PLAYBACK_ENDED = 0x1,
    EVENT_INPUT = 0x2,
    EVENT_MONITOR_POWER = 0x4,
    EVENT_QUERY_CLOSE = 0x8,
    EVENT_ALL = 0xf,
};

// SetPosition flags of IHCYFWPlaylist.
enum : DWORD {
    POSITION_MOVE = 0x1,
    POSITION_RESULT = 0x2,
};

// Style values: 1 is windowed, anything else full screen.
inline constexpr LONG STYLE_WINDOWED = 1;

// The record a freshly constructed PlaybackItem holds.
inline constexpr PlaybackItem DefaultPlaybackItem()
{
    PlaybackItem item{};
    item.xPosition = 0.5;
    item.yPosition = 0.5;
    item.bounceStep = 1.0;
    item.bounceInterval = 33.0;
    item.loops = 1;
    item.volume = 100;
    item.scale = 1.0f;
    item.rate = 1.0f;
    item.scaleToScreen = 1;
    item.keepAspect = 1;
    item.perMonitor = 1;
    item.validMask = ITEM_ALL;
    return item;
}

// The 32-bit window handle carried in PlaybackItem::parentWindow.
inline HWND ParentWindowOf(const PlaybackItem &item)
{
    return static_cast<HWND>(ULongToHandle(item.parentWindow));
}

// Record layout on x64, in declaration order, as every client of the two modules expects it.
static_assert(offsetof(PlaybackItem, xPosition) == 0);
static_assert(offsetof(PlaybackItem, yPosition) == 8);
static_assert(offsetof(PlaybackItem, bounceStep) == 16);
static_assert(offsetof(PlaybackItem, bounceInterval) == 24);
static_assert(offsetof(PlaybackItem, windowLeft) == 32);
static_assert(offsetof(PlaybackItem, windowTop) == 36);
static_assert(offsetof(PlaybackItem, windowWidth) == 40);
static_assert(offsetof(PlaybackItem, windowHeight) == 44);
static_assert(offsetof(PlaybackItem, position) == 48);
static_assert(offsetof(PlaybackItem, fileName) == 56);
static_assert(offsetof(PlaybackItem, parentWindow) == 64);
static_assert(offsetof(PlaybackItem, loops) == 68);
static_assert(offsetof(PlaybackItem, volume) == 72);
static_assert(offsetof(PlaybackItem, style) == 76);
static_assert(offsetof(PlaybackItem, validMask) == 80);
static_assert(offsetof(PlaybackItem, scale) == 84);
static_assert(offsetof(PlaybackItem, rate) == 88);
static_assert(offsetof(PlaybackItem, scaleToScreen) == 92);
static_assert(offsetof(PlaybackItem, keepAspect) == 93);
static_assert(offsetof(PlaybackItem, bounce) == 94);
static_assert(offsetof(PlaybackItem, perMonitor) == 95);
static_assert(offsetof(PlaybackItem, reserved) == 96);
static_assert(offsetof(PlaybackItem, blockScreenSaver) == 97);
static_assert(offsetof(PlaybackItem, blockMonitorPower) == 98);
static_assert(sizeof(PlaybackItem) == 104);
static_assert(offsetof(PlaylistPosition, index) == 0);
static_assert(offsetof(PlaylistPosition, playResult) == 4);
static_assert(sizeof(PlaylistPosition) == 8);
