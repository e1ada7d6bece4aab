// What the run's thread and the event sink (on the player's playback thread) share: the
// process-wide run state, the one pseudo-random generator and the two item builders.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "abi.h"

struct Settings;
class VideoCache;

// The message video shown when the playlist cannot be played.
inline constexpr int kMessageVideoResource = 127;

// Null, or the 260-character buffer with the path of the message video's temporary file;
// while it is set the saver shows the message video instead of the playlist.
extern std::atomic<wchar_t *> g_messageVideoPath;
// Set by the sink when the system powers the monitor down (the sink stopped the player).
extern std::atomic<bool> g_monitorOff;
// The resolved path of the item last prepared; PrepareCurrentItem's record points here.
extern wchar_t g_currentItemPath[MAX_PATH];

inline bool InMessageVideoMode() { return g_messageVideoPath.load() != nullptr; }

// The generator of the C runtime's rand, one for the whole process: the run seeds it, the
// sink draws from it. Draws are 0..32767.
void SeedRandom(uint32_t seed);
int DrawRandom();

// Builds the record for the playlist's current entry, its file resolved through the cache.
HRESULT PrepareCurrentItem(const Settings &settings, IHCYFWPlaylist *playlist, PlaybackItem &item,
                           VideoCache &cache);
// The run's start entry: where the last run stopped, a random one other than the first, or
// the first; a lone entry gets 9999 loops. Leaves the playlist's current entry on it and
// prepares nothing in message-video mode.
void ChooseStartItem(const Settings &settings, IHCYFWPlaylist *playlist, VideoCache &cache, LONG count,
                     PlaybackItem &item);
// Writes the program's "AVI" resource to a temporary "rhm" file, puts its path into path
// and hands the player an item for it; true when the player accepted it.
bool PrepareMessageVideo(int resource, IHCYFramewheel *player, const Settings &settings,
                         wchar_t *path);
// Switches to message-video mode: allocates the process-wide path buffer and prepares the
// message video. Returns PrepareMessageVideo's answer; the buffer stays either way.
bool EnterMessageVideoMode(IHCYFramewheel *player, const Settings &settings);
// Deletes the message video's file and frees the buffer, leaving message-video mode.
void LeaveMessageVideoMode();
