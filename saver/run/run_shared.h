// What the run's thread and the event sink (on the player's playback thread) share: the
// process-wide run state, the one pseudo-random generator and the item builders.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

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

inline bool InMessageVideoMode() { return g_messageVideoPath.load() != nullptr; }

// One playlist entry made ready for the player: its record and the whole resolved (cached
// or original) path, owned here; Record() points the record's file name at that path.
struct ItemToPlay {
    PlaybackItem item = DefaultPlaybackItem();
    std::wstring path;
    LONG index = -1;       // the playlist entry it was read from
    HRESULT read = E_FAIL; // the playlist's answer when it was read

    const PlaybackItem *Record()
    {
        item.fileName = path.data();
        return &item;
    }
};

// The generator of the C runtime's rand, one for the whole process: the run seeds it, the
// sink draws from it. Draws are 0..32767.
void SeedRandom(uint32_t seed);
int DrawRandom();
// How many entries a random choice moves ahead in a playlist of count (at least 2)
// entries: starting at first moves, one draw after each, while fewer moves than
// draw mod (count - 1) + first were made. The start uses first 1, later choices 0.
LONG RandomSteps(LONG count, LONG first);
// Reads the playlist's current entry with the run's own overrides of its fields; the path is
// the entry's own, not yet resolved.
ItemToPlay ReadCurrentItem(const Settings &settings, IHCYFWPlaylist *playlist);
// The same with the file resolved through the cache.
ItemToPlay PrepareCurrentItem(const Settings &settings, IHCYFWPlaylist *playlist, VideoCache &cache);
// The run's start entry, read but not resolved: where the last run stopped, a random one
// other than the first, or the first; a lone entry gets 9999 loops. Leaves the playlist's
// current entry on it and reads nothing in message-video mode.
ItemToPlay ChooseStartItem(const Settings &settings, IHCYFWPlaylist *playlist, LONG count);
// Writes the program's "AVI" resource to a temporary "rhm" file, puts its path into path
// and hands the player an item for it; true when the player accepted it.
bool PrepareMessageVideo(int resource, IHCYFramewheel *player, const Settings &settings,
                         wchar_t *path);
// Switches to message-video mode: allocates the process-wide path buffer and prepares the
// message video. Returns PrepareMessageVideo's answer; the buffer stays either way.
bool EnterMessageVideoMode(IHCYFramewheel *player, const Settings &settings);
// Deletes the message video's file and frees the buffer, leaving message-video mode.
void LeaveMessageVideoMode();
