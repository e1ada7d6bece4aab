// Wine's sound library crashes when two graphs connect, or one connects while another goes,
// on different threads (Windows' does not). Every build and every free of a graph therefore
// takes this turn, on whichever thread it happens (loaders build, the playback thread frees):
// RHRenderer takes it itself in LoadMedia, Unload and its destructor.
//
// A holder stuck inside the system (an open that never answers) would keep the turn for
// ever. Held longer than the hold limit, the turn is taken from it by the next thread that
// asks; the stuck holder's own release is then a no-op, and the turn goes on working among
// the others. Only the stuck thread itself, once the system lets it go, may then run beside
// a holder: a thread cannot be stopped inside a system call.
#pragma once

#include <windows.h>

class GraphTurn {
public:
    // Waits for the turn, answering messages sent to this thread's windows meanwhile (a
    // loader connecting a video renderer sends to the playback thread's windows). Taken
    // again on a thread that holds it, it is the same turn.
    GraphTurn();
    ~GraphTurn();
    GraphTurn(const GraphTurn &) = delete;
    GraphTurn &operator=(const GraphTurn &) = delete;

    // Whether this thread holds the turn (or held it until it was taken away).
    static bool HeldHere();
    // How long a holder may keep the turn before a waiting thread takes it; tests shorten it.
    static inline constexpr DWORD kHoldLimitMs = 3000;
    static void SetHoldLimit(DWORD ms);

private:
    ULONGLONG ticket_ = 0; // 0 for a turn nested in this thread's outer one
};
