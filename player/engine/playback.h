// The playback thread's own object: the player window, the state the commands move, the
// loads and the item on screen. Only the playback thread creates, calls and destroys it;
// it reaches the COM face for the item, the queues, the renderer slot and the sinks.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "media_item.h"
#include "media_loader.h"
#include "playback_watch.h"
#include "player_object.h"

class RHRenderer;

// The playback thread's entry point; the player is kept alive by its owner, or deleted here
// when it was orphaned during an event.
DWORD WINAPI PlaybackThreadMain(void *player);

// The renderer lock as writer, taken on the playback thread. A reader (the bounce timer's
// Step, GetItem's position) may be inside a video window call that sends a message to a
// window of this thread and waits for it; so while waiting, this thread answers sent
// messages instead of sleeping through them.
class RendererWriteGuard {
public:
    explicit RendererWriteGuard(SharedLock &lock) : lock_(lock)
    {
        while (!lock_.TryWriteLock(5)) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    RendererWriteGuard(const RendererWriteGuard &) = delete;
    RendererWriteGuard &operator=(const RendererWriteGuard &) = delete;
    ~RendererWriteGuard() { lock_.WriteUnlock(); }

private:
    SharedLock &lock_;
};

class Playback {
public:
    explicit Playback(Framewheel &player);
    Playback(const Playback &) = delete;
    Playback &operator=(const Playback &) = delete;

    // The thread's life: window class, bounce timer, command loop, and everything let go.
    void Run();

private:
    static DWORD WINAPI TimerThreadMain(void *playback);
    void RunTimer();
    static void RegisterWindowClass();
    static void UnregisterWindowClass();
    // False once the loop should end.
    bool ProcessCommands();
    void CarryOut(LONG word);
    void OnMediaEvent();
    // The end of the item's last loop, or the next loop (renderer lock held); true when the
    // item ended and the sink is to hear it.
    bool OnCompletion();
    // How long the running loop is to hold its last frame before its end (0: none).
    DWORD EarlyEndHold();
    // The running loop's end (renderer lock held): the next one starts, or the item ends
    // (true: the sink is to hear it).
    bool EndLoop();
    // The clip's position now starts the running loop's count (a pause, a change of rate).
    void LoopGoesOnFromHere();
    // How long the loop may wait: until the load's bound, the next loop that is due or the next
    // look at the playing item.
    DWORD WaitLimit();
    void OnWaitLimit();
    // The player window owned from now on, also published to the player object so that its
    // end can hide the window from another thread.
    void ReplaceWindow(HWND window);
    void CreatePlayerWindow();
    // Where a full-screen player window belongs now: over the output areas, or the desktop.
    RECT WantedWindowPlace();
    // False when the output areas changed since the full-screen window was made elsewhere:
    // the next load makes a new one, as a change of style does.
    bool WindowFitsAreas(const MediaItem &item);
    // Ends the item on screen as failed (renderer lock held): the renderer keeps no graph,
    // the sink hears the result, and pendingAdds wait for the next Play.
    void EndItemAsFailed(HRESULT result, LONG pendingAdds);
    // As EndItemAsFailed, for an item whose streams are stuck: its graph is freed elsewhere.
    void EndStuckItem(HRESULT result);

    // Loads (item_loads.cpp, loader threads in media_loader.h): a new item is opened
    // while the current picture stays, then shown in one step.
    void StartItemLoad(LONG word, MediaItem &&item, LONGLONG taken);
    void FinishItemLoad();
    void PrepareItem();
    std::shared_ptr<LoadJob> NewLoadJob(MediaItem &&item);
    // Whether the job opens what the item asks for: the same file, for the same renderer.
    bool Opens(const LoadJob &job, const MediaItem &item) const;
    bool PreparedFor(const MediaItem &item) const { return prepared_ && Opens(*prepared_, item); }
    // A load word came while the load was on its way (a held arrow key): the item asked
    // last is opened in its place, unless it is the one already open. stuck: the load ran
    // out of time. False when the load carries on.
    bool Retarget(bool stuck);
    void DiscardLoad(std::shared_ptr<LoadJob> &job);
    void ReapDiscardedLoads();
    void AbandonAllLoads();
    void EndLoadOutOfTime();

    // Carries out the settings bits of a word on the renderer on screen (renderer lock held).
    void ApplySettings(LONG word);
    void ContinueMotion(PlaybackItem &fields);
    // Runs the graph when Play is what was asked and there is one; false, with the item
    // ended as failed, when it does not run. fromHeldFrame: a graph just loaded and shown,
    // paused on its first frame, whose stream then counts from when that frame was shown.
    bool RunIfPlaying(LONG word, bool fromHeldFrame = false);
    RHRenderer *Current() { return player_.Screen().renderer.get(); }

    // Player window procedure: one handler per message.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT OnEraseBackground(HWND window, HDC dc);
    LRESULT OnSize();
    LRESULT OnClose();
    LRESULT OnQueryEndSession();
    LRESULT OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam);

    Framewheel &player_;
    SharedLock &rendererLock_;

    // The item on screen, which the renderer on screen reads.
    MediaItem current_;
    UniqueWindow window_;
    UniqueHandle timerThread_;
    LONG loopCounter_ = 0;
    PlaybackWatch watch_;
    // A loop whose stream ended before the clip's length (a single frame of a second, as the
    // message video is; a title card) holds its last frame for the rest: it would otherwise
    // flash by, and an endless one would start its graph again many times a second for as
    // long as the show runs. Where the running loop started, on the clock and in the clip.
    DWORD loopStartedAt_ = 0;
    double loopFrom_ = 0.0;
    bool nextLoopDue_ = false;
    DWORD nextLoopAt_ = 0;
    // How long a change of item takes, from the outgoing item's end to the incoming picture
    // on screen (a running estimate, ms): an item on its graph's own start ends that much
    // before its last frame's end, so that the frame is on screen for its whole length and
    // no longer. It starts from about what a switch to a prepared item takes here; the
    // first change of a run is slower than the rest (one-time costs) and is not counted.
    // endedAt_: when the last item ended, until the next picture shows (0: none).
    DWORD changeWorkMs_ = 30;
    DWORD endedAt_ = 0;
    bool firstChangeSeen_ = false;
    void NoteChangeWork();

    // What the commands asked for, and what the screen shows: Play asks at once, the
    // picture plays only once its load and its graph's run succeeded.
    LONG asked_ = STATE_STOPPED;
    LONG state_ = STATE_STOPPED;
    LONG pending_ = CMD_RENDERER; // what the next Play must carry out
    LONG lastStyle_ = -1;
    RECT windowPlace_{}; // where the full-screen player window was made
    int savedDx_ = 0, savedDy_ = 0;
    bool wasBouncing_ = false;
    bool stopRequested_ = false;

    // The load being waited for, the one opened ahead, and loads let go whose loader has not
    // finished yet (freed here once it has). While a load or a preparation is on its way,
    // newer asks wait for it instead of starting more loaders.
    std::shared_ptr<LoadJob> loading_;
    std::shared_ptr<LoadJob> prepared_;
    bool retarget_ = false;
    bool prepareDeferred_ = false;
    std::vector<std::shared_ptr<LoadJob>> discarded_;
};
