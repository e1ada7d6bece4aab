// Watches the item on screen while it plays, for the two ways a show freezes without an
// error: a stream that stops coming (a share gone quiet mid-file, a damaged file) and a
// stream that reached its end without the framework saying so.
//
// Whether a stream comes is told by what its renderers last received, not by the graph's
// position: under Wine that follows the clock and runs on while no sample arrives.
//
// The last loop is not ended when the graph's position reaches its end: under Wine that
// position runs 200-330 ms ahead of the frames shown (the graph starts its stream 200 ms
// after Run, and decoding adds more), so the last frames would be lost; and a graph let go
// before its stream ended keeps 150-330 KB (bench/soak/graph_threads.exe, early and
// --times). The end event comes within a frame of the last one. (An item run from its held
// first frame counts its position from its own start, RHRenderer::RunGraphFromHeldFrame,
// and holds its last frame from the end event to the clip's end.)
#pragma once

#include <windows.h>

// How long a playing item's position may stand still, and how long its end event may be
// late, before the item is ended anyway.
inline constexpr DWORD kStallLimitMs = 10000;
inline constexpr DWORD kEndEventLimitMs = 2000;
// The longest a loop whose stream ended early holds its last frame, so that a clip whose
// stated length is wrong (a cut-off download) holds the show no longer than a stall would.
inline constexpr DWORD kEarlyEndHoldLimitMs = kStallLimitMs;
// How often the playback thread looks while an item plays.
inline constexpr DWORD kWatchIntervalMs = 500;

class PlaybackWatch {
public:
    enum class Verdict { Fine, Stalled, Ended };

    // The item (or its next loop) starts playing now.
    void Restart(DWORD now)
    {
        last_ = -1.0;
        movedAt_ = now;
        atEnd_ = false;
    }
    // One look: the graph's position and end, and the time of the latest sample any of its
    // renderers received, in seconds; still, when a held still picture need not move.
    Verdict Check(DWORD now, double position, double end, double received, bool still)
    {
        if (received != last_) {
            last_ = received;
            movedAt_ = now;
        }
        if (end > 0.0 && position >= end) {
            if (!atEnd_) {
                atEnd_ = true;
                endAt_ = now;
            }
            return now - endAt_ >= kEndEventLimitMs ? Verdict::Ended : Verdict::Fine;
        }
        atEnd_ = false;
        return !still && now - movedAt_ >= kStallLimitMs ? Verdict::Stalled : Verdict::Fine;
    }

private:
    double last_ = -1.0;
    DWORD movedAt_ = 0;
    DWORD endAt_ = 0;
    bool atEnd_ = false;
};
