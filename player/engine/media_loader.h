// Opening media away from the player window's thread. A blocked open (a dead network
// share, a pipe nobody writes to) then holds up only a loader thread of its own, while the
// playback thread keeps answering input, shows the current picture and can give up on the
// load. The loader never touches the player object, so a player may go while a loader is
// still stuck inside the system.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <memory>
#include <vector>
#include <string>

#include "abi.h"
#include "handles.h"
#include "media_item.h"

class RHRenderer;

// The longest an item may take to open and show its first frame, counted from the start of
// its load; past it the item ends as failed with kOpenTimedOut and its loader is abandoned.
inline constexpr DWORD kOpenLimitMs = 15000;
inline constexpr HRESULT kOpenTimedOut = static_cast<HRESULT>(0x800705B4L); // ERROR_TIMEOUT
// What an item ends with when its position stood still while it played.
inline constexpr HRESULT kPlaybackStalled = static_cast<HRESULT>(0x8004022EL); // VFW_E_TIMEOUT

struct LoadJob;

// The loads of one player on their way. When the player goes they are broken off at once,
// from the thread that lets it go: its playback thread may itself be waiting for one of
// them (the graph turn), and nothing a load makes is of use any more.
class LoadsUnderWay {
public:
    // Every load on its way, and every one started later, goes no further than it must: a
    // build in progress is asked to stop, and none goes on to its first frame.
    void BreakOff();
    // A loader lists its job while it runs, so that the job's renderer is there to reach.
    void Enter(LoadJob &job);
    void Leave(LoadJob &job);

private:
    // One load: its loader goes no further than its build, which is asked to stop.
    static void BreakOff(LoadJob &job);

    CriticalSection lock_;
    std::vector<LoadJob *> jobs_;
    bool brokenOff_ = false;
};

struct LoadJob {
    // The item the renderer was built for, and reads while it loads.
    MediaItem item;
    std::unique_ptr<RHRenderer> renderer;
    LONG word = 0;             // command bits to carry out once the file is open
    bool classic = false;      // the renderer switches it was built with
    bool single = false;
    std::vector<RECT> areas;   // the output areas it was built for (none: the whole desktop)
    DWORD startTick = 0;       // when the load started, for its bound
    LONGLONG taken = 0;        // performance counter: the command word, start, end of the load
    LONGLONG started = 0;
    LONGLONG loaded = 0;
    double seekedTo = 0.0;     // where the paused graph stands

    // The player's loads, which break this one off when the player goes (none: never).
    std::shared_ptr<LoadsUnderWay> loads;

    HRESULT result = E_PENDING; // valid once done is set
    UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    volatile LONG abort = 0;

    // Who frees the renderer: the owner, on the player window's thread, unless the owner
    // let the job go before the loader finished (then the loader does, the window's thread
    // being gone).
    CriticalSection lock;
    bool finished = false;
    bool orphaned = false;
};

// The performance counter, the clock of a job's timings.
LONGLONG CounterNow();

// Starts a loader thread for the job (or, when no thread can be started, loads right here).
// The job's renderer must have been built, and its video filters made, by the caller.
void StartLoad(const std::shared_ptr<LoadJob> &job);

// True once the loader has finished; the renderer is then the caller's to keep or free.
bool LoadFinished(LoadJob &job);

// Lets a job go from its owner's thread: waits at most ms for its loader, then frees the
// renderer here if the loader is done, or leaves it to the loader otherwise.
void AbandonLoad(const std::shared_ptr<LoadJob> &job, DWORD ms);

// Stops and frees a graph on a thread of its own (here, when no thread can be started): one
// whose stream stopped coming waits inside the system until its held read returns.
void FreeGraphAway(Microsoft::WRL::ComPtr<IGraphBuilder> graph);
