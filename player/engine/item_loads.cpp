// The playback thread's item loads: the next item is opened by a loader thread while the
// current picture stays, then shown in its place in one step; an item handed in ahead is
// opened early so the change-over waits for nothing.
#include <windows.h>

#include <new>
#include <string>
#include <utility>

#include "playback.h"
#include "render/renderer.h"

// A renderer for the item, built here so that its video windows belong to this thread, and
// a loader thread that opens the file into it. Null when memory runs out.
std::shared_ptr<LoadJob> Playback::NewLoadJob(MediaItem &&item)
{
    std::shared_ptr<LoadJob> job;
    const Framewheel::RendererSwitches switches = player_.Switches();
    try {
        job = std::make_shared<LoadJob>();
        job->item = std::move(item);
        job->loads = player_.Loads();
        job->classic = switches.classic;
        job->single = switches.single;
        if (!player_.CopyOutputAreas(job->areas))
            return nullptr;
        const HWND window = window_.get();
        const PlaybackItem &fields = job->item.fields;
        if (fields.style == STYLE_WINDOWED)
            job->renderer = MakeWindowedRenderer(job->item, window, job->classic);
        else if (fields.perMonitor)
            job->renderer = MakeFullscreenMonitorRenderer(job->item, window, job->classic, job->areas);
        else
            job->renderer = MakeFullscreenDesktopRenderer(job->item, window, job->single, job->areas);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (!job->renderer)
        return nullptr;
    // Input keeps going where it went: the routing is only applied again when sinks change.
    {
        ReadGuard guard(rendererLock_);
        job->renderer->SetInputRouting(Current() && Current()->InputRouting());
    }
    job->renderer->CreateVideoFilters();
    job->startTick = GetTickCount();
    job->started = CounterNow();
    StartLoad(job);
    return job;
}

bool Playback::Opens(const LoadJob &job, const MediaItem &item) const
{
    const PlaybackItem &fields = job.item.fields;
    return job.item.fileName == item.fileName && fields.style == item.fields.style &&
           fields.perMonitor == item.fields.perMonitor &&
           Framewheel::RendererSwitches{job.classic, job.single} == player_.Switches() &&
           player_.HasOutputAreas(job.areas);
}

void Playback::DiscardLoad(std::shared_ptr<LoadJob> &job)
{
    if (!job)
        return;
    InterlockedExchange(&job->abort, 1);
    if (LoadFinished(*job))
        job->renderer.reset(); // its windows go on this thread, their own
    else
        discarded_.push_back(job);
    job.reset();
}

void Playback::ReapDiscardedLoads()
{
    for (auto it = discarded_.begin(); it != discarded_.end();) {
        if (LoadFinished(**it)) {
            (*it)->renderer.reset();
            it = discarded_.erase(it);
        } else {
            ++it;
        }
    }
}

// The thread is ending. A loader stuck inside the system (a blocked open) is not waited for
// beyond a moment: it keeps its job alive and frees the media itself when the system lets
// go; it never touches the player.
void Playback::AbandonAllLoads()
{
    constexpr DWORD kLoaderGraceMs = 250;
    // The player's end did so already, unless it was let go on this thread.
    player_.Loads()->BreakOff();
    if (loading_)
        discarded_.push_back(std::exchange(loading_, nullptr));
    if (prepared_)
        discarded_.push_back(std::exchange(prepared_, nullptr));
    const DWORD start = GetTickCount();
    for (auto &job : discarded_) {
        const DWORD spent = GetTickCount() - start;
        AbandonLoad(job, spent < kLoaderGraceMs ? kLoaderGraceMs - spent : 0);
    }
    discarded_.clear();
}

void Playback::PrepareItem()
{
    // One preparation at a time: the hint waits for the one on its way, unless that one is
    // stuck past the open's bound.
    prepareDeferred_ = prepared_ && !LoadFinished(*prepared_) &&
                       GetTickCount() - prepared_->startTick < kOpenLimitMs;
    if (prepareDeferred_)
        return;
    MediaItem item;
    if (!player_.TakeNextItem(item))
        return;
    if (PreparedFor(item) && prepared_->item.fields.position == item.fields.position)
        return; // already open
    DiscardLoad(prepared_);
    // Opened into the current player window only; an item that needs another window (a
    // style change) is opened when it is played.
    if (!window_ || item.fields.style != lastStyle_ || item.fileName.empty() || !WindowFitsAreas(item))
        return;
    prepared_ = NewLoadJob(std::move(item));
}

void Playback::StartItemLoad(LONG word, MediaItem &&item, LONGLONG taken)
{
    const bool restyled = (word & CMD_RENDERER) && item.fields.style != lastStyle_;
    if (restyled || !WindowFitsAreas(item)) {
        // Everything a new renderer needs: a move of the areas alone asks for none of it.
        if (!restyled)
            word |= CMD_RENDERER | CMD_RENDERER_ADDS;
        // A new player window: nothing of the old one can stay up meanwhile.
        DiscardLoad(prepared_);
        {
            RendererWriteGuard guard(rendererLock_);
            if (word & CMD_BOUNCE) {
                PlaybackItem fields = item.fields;
                ContinueMotion(fields);
            }
            player_.Screen().renderer.reset();
        }
        current_.fields = item.fields; // the window is made for it
        CreatePlayerWindow();
        lastStyle_ = item.fields.style;
    }
    if (PreparedFor(item)) {
        loading_ = std::exchange(prepared_, nullptr);
    } else {
        DiscardLoad(prepared_);
        loading_ = NewLoadJob(std::move(item));
        if (!loading_) {
            RendererWriteGuard guard(rendererLock_);
            EndItemAsFailed(E_OUTOFMEMORY, word | CMD_RENDERER | CMD_RENDERER_ADDS);
            return;
        }
    }
    loading_->word = word | CMD_PLAY;
    loading_->taken = taken;
    // Opened ahead already, or loaded on this thread: change over now, before anything
    // else queued (such as opening the item after this one) holds it up.
    if (!loading_->done || LoadFinished(*loading_))
        FinishItemLoad();
}

// The loader is done with the item being waited for: show it in place of the current one,
// or report its failure as a load that fails in place would.
void Playback::FinishItemLoad()
{
    if (retarget_ && Retarget(false))
        return;
    std::shared_ptr<LoadJob> job = std::exchange(loading_, nullptr);
    LONG word = job->word;
    MediaItem item;
    (void)player_.CopyItem(item, false); // the settings as they are now, the job's name
    // The renderer replaced goes after the renderer lock: freeing its graph waits for the
    // graph turn, which another graph's build may hold, and GetItem must not wait with it.
    std::unique_ptr<RHRenderer> outgoing;
    RendererWriteGuard guard(rendererLock_);
    if (word & CMD_BOUNCE)
        ContinueMotion(item.fields);
    item.fileName = std::move(job->item.fileName);
    current_ = std::move(item);
    std::unique_ptr<RHRenderer> incoming = std::move(job->renderer);
    incoming->SetItem(current_);
    std::unique_ptr<RHRenderer> &screen = player_.Screen().renderer;
    if (FAILED(job->result)) {
        // The old picture goes, and the renderer stays without a graph. Input routing must
        // survive for the next item, whose word would not carry it otherwise.
        outgoing = std::exchange(screen, std::move(incoming));
        EndItemAsFailed(job->result, CMD_LOAD_ADDS | (word & CMD_SINKS));
        return;
    }
    Framewheel::LoadTiming timing{};
    timing.taken = job->taken;
    timing.loadStart = job->started > job->taken ? job->started : job->taken;
    timing.loadEnd = job->loaded > job->taken ? job->loaded : job->taken;
    incoming->AttachWindows();
    outgoing = std::exchange(screen, std::move(incoming));
    loopFrom_ = job->seekedTo;
    if (job->seekedTo == current_.fields.position)
        word &= ~CMD_SEEK; // the paused graph stands there already, its frame held
    ApplySettings(word);
    screen->ShowPicture();
    NoteChangeWork();
    timing.runStart = CounterNow();
    // A seek just made flushed the held frame: the graph runs as after any seek.
    if (!RunIfPlaying(word, !(word & CMD_SEEK)))
        return;
    timing.running = CounterNow();
    player_.RecordLoadTiming(timing);
    // The old windows go only after the new ones show, and outside the lock (above).
}

// The item being waited for did not open (or show its first frame) in time: a pipe nobody
// writes to, a share that stopped answering. Its loader is let go as at the player's end,
// and the item ends as failed so the show moves on.
void Playback::EndLoadOutOfTime()
{
    // Another item was asked for meanwhile: it is no failure of that one.
    if (retarget_ && Retarget(true))
        return;
    std::shared_ptr<LoadJob> job = std::exchange(loading_, nullptr);
    const LONG word = job->word;
    DiscardLoad(job);
    RendererWriteGuard guard(rendererLock_);
    EndItemAsFailed(kOpenTimedOut, CMD_LOAD_ADDS | (word & CMD_SINKS));
}

bool Playback::Retarget(bool stuck)
{
    retarget_ = false;
    MediaItem item;
    if (!player_.CopyItem(item, true) || (!stuck && Opens(*loading_, item)))
        return false;
    std::shared_ptr<LoadJob> job = std::exchange(loading_, nullptr);
    const LONG word = job->word;
    DiscardLoad(job);
    StartItemLoad(word, std::move(item), CounterNow());
    return true;
}
