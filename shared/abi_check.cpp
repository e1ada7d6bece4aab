// Pins the vtable slot order of the interfaces: the C view of the generated header
// lists the slots as struct members, so a reordered or inserted method breaks the build.
#define CINTERFACE
#include "abi.h"

namespace {
constexpr size_t Slot(size_t offset) { return offset / sizeof(void *); }
}

static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, QueryInterface)) == 0);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Next)) == 3);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Previous)) == 4);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, First)) == 5);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, GetCount)) == 6);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Insert)) == 7);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Remove)) == 8);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, SetPosition)) == 9);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, GetPosition)) == 10);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, SetCurrentItem)) == 11);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, GetCurrentItem)) == 12);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Load)) == 13);
static_assert(Slot(offsetof(IHCYFWPlaylistVtbl, Save)) == 14);
static_assert(sizeof(IHCYFWPlaylistVtbl) == 15 * sizeof(void *));

static_assert(Slot(offsetof(IHCYFramewheelEventSinkVtbl, OnQueryClose)) == 3);
static_assert(Slot(offsetof(IHCYFramewheelEventSinkVtbl, OnInput)) == 4);
static_assert(Slot(offsetof(IHCYFramewheelEventSinkVtbl, OnMonitorPower)) == 5);
static_assert(Slot(offsetof(IHCYFramewheelEventSinkVtbl, OnPlaybackEnded)) == 6);
static_assert(sizeof(IHCYFramewheelEventSinkVtbl) == 7 * sizeof(void *));

static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, GetItem)) == 3);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Pause)) == 4);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Play)) == 5);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, SetItem)) == 6);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Reserved)) == 7);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Stop)) == 8);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Advise)) == 9);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, Unadvise)) == 10);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, UseClassicVideoRenderer)) == 11);
static_assert(Slot(offsetof(IHCYFramewheel2Vtbl, UseSingleRendererDesktopMode)) == 12);
static_assert(sizeof(IHCYFramewheel2Vtbl) == 13 * sizeof(void *));
static_assert(sizeof(IHCYFramewheelVtbl) == 11 * sizeof(void *));

static_assert(Slot(offsetof(IHCYFramewheel3Vtbl, UseClassicVideoRenderer)) == 11);
static_assert(Slot(offsetof(IHCYFramewheel3Vtbl, UseSingleRendererDesktopMode)) == 12);
static_assert(Slot(offsetof(IHCYFramewheel3Vtbl, PrepareNextItem)) == 13);
static_assert(sizeof(IHCYFramewheel3Vtbl) == 14 * sizeof(void *));

static_assert(Slot(offsetof(IHCYFramewheel4Vtbl, PrepareNextItem)) == 13);
static_assert(Slot(offsetof(IHCYFramewheel4Vtbl, SetOutputAreas)) == 14);
static_assert(sizeof(IHCYFramewheel4Vtbl) == 15 * sizeof(void *));
