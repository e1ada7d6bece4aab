// The run's show: which playlist entry plays, which plays next, and the message video when
// nothing can. The run's thread, the thread that starts playback and the event sink (on the
// player's playback thread) share one Show, and every change of the playlist's current
// entry happens here, under its lock.
//
// With a video of its own on each monitor, every player is a lane with a cursor of its
// own: the playlist's one current entry is moved to a lane's cursor (under the lock) before
// that lane reads or moves it. With one lane nothing is ever moved for it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "abi.h"
#include "media_item.h"

struct Settings;
class VideoCache;

// The message video shown when the playlist cannot be played.
inline constexpr int kMessageVideoResource = 127;

// One playlist entry made ready for the player: its item (the run's own overrides applied,
// the path resolved through the cache or not yet), and where it came from.
struct ShowItem {
    MediaItem item;
    LONG index = -1;       // the playlist entry it was read from
    HRESULT read = E_FAIL; // the playlist's answer when it was read
};

// The pseudo-random draws of the C runtime's rand (0..32767), seeded per run.
class RandomDraws {
public:
    void Seed(uint32_t seed) { state_ = seed; }
    int Draw();
    // How many entries a random choice moves ahead in a playlist of count (at least 2)
    // entries: starting at first moves, one draw after each, while fewer moves than
    // draw mod (count - 1) + first were made. The start uses first 1, later choices 0.
    LONG Steps(LONG count, LONG first);

private:
    uint32_t state_ = 1;
};

class Show {
public:
    // playlist and cache stay the caller's and must outlive the show.
    Show(const Settings &settings, IHCYFWPlaylist *playlist, VideoCache &cache);
    ~Show();
    Show(const Show &) = delete;
    Show &operator=(const Show &) = delete;

    void Seed(uint32_t seed);
    // Clears every entry's remembered play result, so a file that failed last time is tried
    // again, and starts this run's record of failures.
    void ForgetResults();
    // The run's start entry, read but not resolved: where the last run stopped, a random one
    // other than the first, or the first; a lone entry gets 9999 loops. Leaves the playlist's
    // current entry on it and reads nothing in message-video mode.
    ShowItem ChooseStart(LONG count);
    // At most this many lanes, as a player takes at most this many output areas.
    static constexpr size_t kMaxLanes = 16;
    // Each monitor its own video: one lane per player, main monitor's first. Lane k starts
    // k entries after the playlist's current entry (the start), wrapping. Answers the start
    // items of lanes 1 on (read, not resolved; silent: only the main monitor is heard).
    // Fewer than two players, or nothing to play, leave the show with its one lane.
    std::vector<ShowItem> SpreadLanes(const std::vector<IHCYFramewheel *> &players);

    // The player's events. An item ended with result: the result is recorded, the next
    // playable entry is played, or the message video when none is left.
    void ItemEnded(IHCYFramewheel *player, HRESULT result);
    // The run's player plays from now on. Where it keeps to some monitors, the run's own
    // window stays up over the others and may hold the keyboard: its keys step that player.
    void Playing(IHCYFramewheel *player);
    // Next (forward) or Previous, as the keys ask; a key that reached the run's own window
    // (no player) steps the player that plays, none before. With lanes every monitor steps.
    void Step(IHCYFramewheel *player, bool forward);
    // Called once the playlist's current entry plays: works out which entry follows it, by
    // the rules ItemEnded applies later, and hands it to the player to open ahead. Nothing
    // happens when the player has no IHCYFramewheel3.
    void PrepareFollowing(IHCYFramewheel *player);
    // The playlist's current entry (the main monitor's), read between two item changes; a
    // change held up by a slow file copy does not hold up the caller for long.
    LONG CurrentEntry();

    bool InMessageVideo() const { return messageMode_; }
    // Switches to message-video mode: writes the program's "AVI" resource to a temporary
    // "rhm" file and hands the player an item for it. Answers whether the player accepted
    // it; the mode stays either way.
    bool EnterMessageVideo(IHCYFramewheel *player);
    // Deletes the message video's file and leaves message-video mode.
    void LeaveMessageVideo();

    // Set by the sink when the system powers the monitor down (the sink stopped the player).
    std::atomic<bool> monitorOff{false};

private:
    enum class Move { Ended, Prepared, Forward, Back };
    // The choice made ahead for the entry that was current then: the random draw it used
    // and the entry it led to, ready to play.
    struct Following {
        bool valid = false;
        LONG from = -1;
        LONG steps = 0;
        ShowItem next;
    };

    // The one rule for the entry that follows current in a playlist of count entries:
    // Forward and Back take the neighbour, failed or not (the user asked for it); Ended and
    // Prepared go steps ahead (the random draw, 0 in order) and then to the first entry after
    // that whose last play did not fail, the current one counting as failed only once its
    // own end said so (Ended). -1 when none is left.
    // With lanes in random order, an entry another monitor shows is not chosen while there
    // are more entries than monitors, unless nothing else is left.
    LONG NextEntry(LONG current, Move move, LONG steps, LONG count) const;
    bool ShownElsewhere(LONG entry) const;
    bool Failed(LONG entry) const;
    LONG Count();
    LONG CurrentIndex();
    void MoveTo(LONG from, LONG to, LONG count);
    // The playlist's current entry with the run's own overrides of its fields; the path is
    // the entry's own, not yet resolved.
    ShowItem ReadCurrent();
    // ReadCurrent with the path resolved through the cache (a copy may be made meanwhile).
    ShowItem PrepareCurrentItem();
    // The prepared entry when it is the one wanted after the entry from, else the current
    // entry prepared afresh. Called after the move.
    ShowItem TakeItem(LONG from, LONG wanted);
    // Moves the cursor from one entry to another and hands the player that entry's item.
    void SetEntry(IHCYFramewheel *player, LONG from, LONG to, LONG count);
    // Writes the message video's file (once) and hands the player an item for it.
    bool PrepareMessageVideo(IHCYFramewheel *player);
    bool WriteMessageVideo();

    // One player's walk through the playlist.
    struct Lane {
        IHCYFramewheel *player = nullptr; // the run's, not counted; none until it plays
        LONG cursor = -1;                 // its entry, kept while another lane is current
        unsigned changes = 0;             // moves with every change of its entry
        Following following;
    };
    static constexpr size_t kNoLane = static_cast<size_t>(-1);
    size_t LaneOf(IHCYFramewheel *player) const;
    // Moves the playlist's current entry to lane's cursor.
    void Park(size_t lane);
    Lane &Active() { return lanes_[active_]; }

    const Settings &settings_;
    IHCYFWPlaylist *playlist_; // the run's, not counted here
    VideoCache &cache_;

    // Held while the current entry changes and while the following one is worked out,
    // which briefly moves the playlist's current entry.
    std::timed_mutex lock_;
    RandomDraws random_;
    std::vector<Lane> lanes_ = std::vector<Lane>(1);
    size_t active_ = 0;         // the lane whose cursor the playlist's current entry is
    std::vector<char> failed_;  // the entries whose last play failed in this run, on any lane

    std::atomic<bool> messageMode_{false};
    std::wstring messageVideo_; // the temporary file, once written
};
