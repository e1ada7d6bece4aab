// The playback thread's loop: command words, media events, the loads' bounds and the watch
// on the playing item (the loads themselves in item_loads.cpp, the screen in
// playback_screen.cpp).
#include "playback.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "render/graph_turn.h"
#include "render/renderer.h"
#include "server/module.h"

namespace {

constexpr DWORD kAllMessages = 0xff; // every input, posted, sent, timer, paint and hot-key message

} // namespace

DWORD WINAPI PlaybackThreadMain(void *parameter)
{
    auto *player = static_cast<Framewheel *>(parameter);
    // The orphaned player's sinks are revoked in its destructor, inside this apartment.
    ComApartment apartment(COINIT_MULTITHREADED);
    {
        Playback playback(*player);
        playback.Run();
    }
    if (player->Orphaned()) {
        delete player;
        LibraryRelease();
    }
    return 0;
}

Playback::Playback(Framewheel &player) : player_(player), rendererLock_(player.Screen().lock) {}

void Playback::Run()
{
    ShowCursor(FALSE);
    RegisterWindowClass();

    std::unique_ptr<RHRenderer> &screen = player_.Screen().renderer;
    {
        // A placeholder until the first Play builds the renderer for the item's style; it
        // answers position and media events without a graph.
        RendererWriteGuard guard(rendererLock_);
        try {
            screen = MakeWindowedRenderer(current_, nullptr, player_.Switches().classic);
        } catch (const std::bad_alloc &) {
            screen.reset(); // the first Play builds one again
        }
    }
    CommandQueue &queue = player_.PlaybackQueue();
    timerThread_.reset(CreateThread(nullptr, 0, &Playback::TimerThreadMain, this, 0, nullptr));
    if (timerThread_) {
        while (!stopRequested_ && !player_.Orphaned()) {
            ReapDiscardedLoads();
            HANDLE handles[4] = {queue.WakeEvent(), nullptr, nullptr, nullptr};
            DWORD count = 1, media = MAXDWORD, load = MAXDWORD, prepared = MAXDWORD;
            // Fetched again every time: a command may have replaced the renderer or its graph.
            if (screen) {
                media = count;
                handles[count++] = screen->GetEventHandle();
            }
            if (loading_ && loading_->done) {
                load = count;
                handles[count++] = loading_->done.get();
            }
            if (prepareDeferred_ && prepared_ && prepared_->done) {
                prepared = count;
                handles[count++] = prepared_->done.get();
            }
            const DWORD woken = MsgWaitForMultipleObjects(count, handles, FALSE, WaitLimit(), kAllMessages);
            if (woken == WAIT_TIMEOUT) {
                OnWaitLimit();
            } else if (woken == WAIT_OBJECT_0) {
                // A log-off agreed during a command (sent messages are dispatched inside
                // some calls) must not be forgotten.
                stopRequested_ = !ProcessCommands() || stopRequested_;
            } else if (woken == WAIT_OBJECT_0 + media) {
                OnMediaEvent();
            } else if (woken == WAIT_OBJECT_0 + load) {
                FinishItemLoad();
            } else if (woken == WAIT_OBJECT_0 + prepared) {
                // The preparation a hint waited for is done: taken up below.
            } else if (woken == WAIT_OBJECT_0 + count) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
            } else {
                break; // a handle went bad: waiting again would spin
            }
            // A hint that waited for a preparation now gone (played, or let go).
            if (prepareDeferred_ && (!prepared_ || LoadFinished(*prepared_)))
                PrepareItem();
        }
        AbandonAllLoads();
        player_.TimerQueue().Post(CMD_QUIT);
        // A tick may be moving a video window of this thread through the framework, which
        // sends the move here and waits for it.
        WaitAnswering(timerThread_.get());
        timerThread_.reset();
    }
    {
        RendererWriteGuard guard(rendererLock_);
        screen.reset();
    }
    ReplaceWindow(nullptr);
    ShowCursor(TRUE);
    UnregisterWindowClass();
}

void Playback::OnMediaEvent()
{
    bool ended = false;
    {
        RendererWriteGuard guard(rendererLock_);
        RHRenderer *renderer = Current();
        if (!renderer || !renderer->TakeCompletion())
            return; // anything but completion is dropped
        ended = OnCompletion();
    }
    // Outside the renderer lock, so a sink may ask GetItem from any apartment.
    if (ended)
        player_.FirePlaybackEnded(S_OK);
}

bool Playback::OnCompletion()
{
    RHRenderer *renderer = Current();
    if (loading_) {
        // The item on screen is already being replaced: keep its last frame up.
        renderer->StopGraph();
        return false;
    }
    if (const DWORD hold = EarlyEndHold()) {
        nextLoopDue_ = true;
        nextLoopAt_ = GetTickCount() + hold;
        return false;
    }
    return EndLoop();
}

bool Playback::EndLoop()
{
    RHRenderer *renderer = Current();
    nextLoopDue_ = false;
    if (loopCounter_ != -1)
        --loopCounter_;
    loopFrom_ = 0.0;
    if (loopCounter_ != 0) {
        renderer->Rewind();
        // A completion that arrives just after a Pause must not start the graph behind
        // the Paused state's back; Play runs it again.
        (void)RunIfPlaying(0);
        return false;
    }
    renderer->StopGraph();
    renderer->Rewind();
    asked_ = state_ = STATE_PAUSED;
    endedAt_ = GetTickCount();
    return true;
}

void Playback::NoteChangeWork()
{
    // A change that took longer was a load, not the switch to a prepared item; and the
    // estimate never takes more than a frame (at 25 a second) from the outgoing clip.
    constexpr DWORD kSwitchLimitMs = 100, kMostMs = 40;
    const DWORD ended = std::exchange(endedAt_, 0);
    const DWORD shown = Current() ? Current()->ShownTick() : 0;
    if (ended == 0 || shown == 0)
        return;
    const DWORD took = shown - ended;
    if (took <= kSwitchLimitMs && std::exchange(firstChangeSeen_, true))
        changeWorkMs_ = std::min((3 * changeWorkMs_ + took + 2) / 4, kMostMs);
}

DWORD Playback::EarlyEndHold()
{
    double position = 0.0, end = 0.0, received = 0.0;
    if (!Current()->Progress(position, end, received) || end <= loopFrom_)
        return 0;
    double left = 0.0, slackMs = 50.0;
    if (Current()->OnOwnStart()) {
        // The position counts from the run: the last frame stays until the clip's end, less
        // what the change takes, and the change comes on the clip's own clock.
        left = (end - position) * 1000.0 - changeWorkMs_;
        slackMs = 2.0;
    } else {
        const double rate = current_.fields.rate > 0.0f ? current_.fields.rate : 1.0;
        left = (end - loopFrom_) / rate * 1000.0 - (GetTickCount() - loopStartedAt_);
    }
    if (left <= slackMs)
        return 0;
    return left < kEarlyEndHoldLimitMs ? static_cast<DWORD>(left) : kEarlyEndHoldLimitMs;
}

void Playback::LoopGoesOnFromHere()
{
    double end = 0.0, received = 0.0;
    if (!Current()->Progress(loopFrom_, end, received))
        loopFrom_ = 0.0;
    loopStartedAt_ = GetTickCount();
}

DWORD Playback::WaitLimit()
{
    // The loads' bounds.
    DWORD limit = INFINITE;
    for (const LoadJob *job : {loading_.get(), prepareDeferred_ ? prepared_.get() : nullptr}) {
        if (!job)
            continue;
        const DWORD spent = GetTickCount() - job->startTick;
        limit = std::min(limit, spent < kOpenLimitMs ? kOpenLimitMs - spent : 0);
    }
    if (loading_ || state_ != STATE_PLAYING)
        return limit;
    if (nextLoopDue_) {
        const LONG left = static_cast<LONG>(nextLoopAt_ - GetTickCount());
        return std::min(limit, left > 0 ? static_cast<DWORD>(left) : 0);
    }
    return std::min(limit, kWatchIntervalMs); // the next look at the playing item
}

void Playback::OnWaitLimit()
{
    if (prepareDeferred_ && prepared_ && GetTickCount() - prepared_->startTick >= kOpenLimitMs)
        PrepareItem(); // the stuck preparation gives way to the hint
    if (loading_) {
        if (GetTickCount() - loading_->startTick >= kOpenLimitMs)
            EndLoadOutOfTime();
        return;
    }
    if (state_ != STATE_PLAYING)
        return;
    if (nextLoopDue_) {
        // The held last frame is not watched: it stands at the end on purpose.
        if (static_cast<LONG>(nextLoopAt_ - GetTickCount()) > 0)
            return;
        bool ended = false;
        {
            RendererWriteGuard guard(rendererLock_);
            ended = Current() && EndLoop();
        }
        // Outside the renderer lock, as for the framework's own end.
        if (ended)
            player_.FirePlaybackEnded(S_OK);
        return;
    }
    RendererWriteGuard guard(rendererLock_);
    RHRenderer *renderer = Current();
    double position = 0.0, end = 0.0, received = 0.0;
    if (!renderer || !renderer->Progress(position, end, received))
        return;
    switch (watch_.Check(GetTickCount(), position, end, received, renderer->HoldsStill())) {
    case PlaybackWatch::Verdict::Fine:
        return;
    case PlaybackWatch::Verdict::Stalled:
        EndStuckItem(kPlaybackStalled);
        return;
    case PlaybackWatch::Verdict::Ended:
        // Its streams are stuck short of their end: loops left are not played.
        EndStuckItem(S_OK);
        return;
    }
}

bool Playback::ProcessCommands()
{
    CommandQueue &queue = player_.PlaybackQueue();
    for (LONG word; (word = queue.Take()) != CMD_NONE;) {
        if (word & CMD_QUIT) {
            asked_ = STATE_QUITTING;
            return false; // what is still queued stays unprocessed
        }
        if (word & CMD_PREPARE) {
            PrepareItem();
            word &= ~CMD_PREPARE;
            if (!word)
                continue;
        }
        if (word & CMD_STOP) {
            DiscardLoad(loading_);
            if (asked_ == STATE_PLAYING || asked_ == STATE_PAUSED) {
                pending_ = CMD_RENDERER_ADDS;
                {
                    // The turn before the lock: a loader building a graph holds the turn, and
                    // GetItem's position read, which shares the lock, must not wait for that
                    // build as well.
                    RHRenderer *renderer = Current();
                    std::optional<GraphTurn> turn;
                    if (renderer && renderer->HasGraph())
                        turn.emplace();
                    RendererWriteGuard guard(rendererLock_);
                    if (renderer)
                        renderer->Unload(); // keeps the position for the reload
                }
                asked_ = state_ = STATE_STOPPED;
            }
            continue;
        }
        if (word & CMD_PAUSE) {
            if (asked_ == STATE_PLAYING) {
                asked_ = STATE_PAUSED;
                bool ended = false;
                if (state_ == STATE_PLAYING) {
                    RendererWriteGuard guard(rendererLock_);
                    if (Current()) {
                        Current()->StopGraph();
                        // A loop holding its last frame is over; otherwise Play goes on
                        // from here.
                        if (nextLoopDue_)
                            ended = EndLoop();
                        else
                            LoopGoesOnFromHere();
                    }
                    state_ = STATE_PAUSED;
                }
                if (ended)
                    player_.FirePlaybackEnded(S_OK);
            }
            continue;
        }
        if (word & CMD_PLAY) {
            if (asked_ == STATE_PLAYING)
                continue;
            asked_ = STATE_PLAYING;
            // The pending changes move into this word; whatever fails below adds its own.
            word |= std::exchange(pending_, 0);
        }
        CarryOut(word);
    }
    return true;
}

void Playback::CarryOut(LONG word)
{
    const LONGLONG taken = CounterNow();
    word = ExpandCommand(word);
    // The name is copied only where it is used: while stopped, only to see whether the
    // item opened ahead is still the one wanted.
    const bool playing = asked_ == STATE_PLAYING;
    const bool checkPrepared = !playing && (word & CMD_LOAD) && prepared_;
    MediaItem item;
    const bool copied = player_.CopyItem(item, playing || checkPrepared);
    if (!playing) {
        pending_ |= word;
        // Another item than the one opened ahead: let that one go now.
        if (checkPrepared && (!copied || !PreparedFor(item)))
            DiscardLoad(prepared_);
        return;
    }
    if (!copied) {
        // The item cannot be carried out without its name.
        RendererWriteGuard guard(rendererLock_);
        EndItemAsFailed(E_OUTOFMEMORY, word | CMD_RENDERER | CMD_RENDERER_ADDS);
        return;
    }
    if (word & CMD_LOAD) {
        // Opened on a loader thread; the rest of the word is carried out when the new
        // item is shown (FinishItemLoad). A load still under way is replaced.
        if (loading_ && !LoadFinished(*loading_)) {
            // Retargeted rather than replaced: a loader cannot be stopped, and one started
            // at every press of a held key would pile up.
            loading_->word |= word;
            retarget_ = true;
            return;
        }
        if (loading_) {
            word |= loading_->word;
            DiscardLoad(loading_);
        }
        StartItemLoad(word, std::move(item), taken);
        return;
    }
    if (loading_) {
        // Settings for the item that is opening: they apply to it once it is shown.
        // Input routing applies to the picture on screen at once as well.
        loading_->word |= word;
        if (word & CMD_SINKS) {
            RendererWriteGuard guard(rendererLock_);
            if (RHRenderer *renderer = Current())
                renderer->SetInputRouting(player_.HasInputSinks());
        }
        return;
    }
    // The renderer reads the item on screen; it changes only under the renderer lock.
    RendererWriteGuard guard(rendererLock_);
    if (word & CMD_BOUNCE)
        ContinueMotion(item.fields);
    current_ = std::move(item);
    if (!Current())
        return; // nothing to carry the word out on
    ApplySettings(word);
    if ((word & CMD_PLAY) && !RunIfPlaying(word))
        return;
    pending_ = 0;
}

