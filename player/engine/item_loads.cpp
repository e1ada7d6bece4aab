// The playback thread's item loads: the next item is opened by a loader thread while the
// current picture stays, then shown in its place in one step; an item handed in ahead is
// opened early so the change-over waits for nothing.
#include <windows.h>

#include <new>
#include <string>
#include <utility>

#include "playback_context.h"
#include "render/renderer.h"

// A renderer for the item, built here so that its video windows belong to this thread, and
// a loader thread that opens the file into it. Null when memory runs out.
std::shared_ptr<LoadJob> Framewheel::NewLoadJob(PlaybackContext &context, const PlaybackItem &item,
                                                const std::wstring &name)
{
    std::shared_ptr<LoadJob> job;
    try {
        job = std::make_shared<LoadJob>();
        job->fileName = name;
        job->item = item;
        job->item.fileName = const_cast<wchar_t *>(job->fileName.c_str());
        job->classic = classicVideoRenderer_;
        job->single = singleDesktopRenderer_;
        const HWND window = context.window.get();
        if (item.style == STYLE_WINDOWED)
            job->renderer = MakeWindowedRenderer(&job->item, window, job->classic);
        else if (item.perMonitor)
            job->renderer = MakeFullscreenMonitorRenderer(&job->item, window, job->classic);
        else
            job->renderer = MakeFullscreenDesktopRenderer(&job->item, window, job->single);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (!job->renderer)
        return nullptr;
    // Input keeps going where it went: the routing is only applied again when sinks change.
    {
        ReadGuard guard(rendererLock_);
        job->renderer->SetInputRouting(renderer_ && renderer_->InputRouting());
    }
    job->renderer->CreateVideoFilters();
    job->started = CounterNow();
    StartLoad(job);
    return job;
}

bool Framewheel::PreparedFor(const PlaybackItem &item, const std::wstring &name) const
{
    return prepared_ && prepared_->fileName == name && prepared_->item.style == item.style &&
           prepared_->item.perMonitor == item.perMonitor &&
           prepared_->classic == classicVideoRenderer_ && prepared_->single == singleDesktopRenderer_;
}

void Framewheel::DiscardLoad(std::shared_ptr<LoadJob> &job)
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

void Framewheel::ReapDiscardedLoads()
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
// go; it never touches this object.
void Framewheel::AbandonAllLoads()
{
    constexpr DWORD kLoaderGraceMs = 250;
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

void Framewheel::PrepareItem(PlaybackContext &context)
{
    PlaybackItem item;
    std::wstring name;
    {
        CriticalSectionLock guard(nextLock_);
        if (!nextWaiting_)
            return;
        nextWaiting_ = false;
        item = nextItem_;
        name.swap(nextName_);
    }
    if (PreparedFor(item, name) && prepared_->item.position == item.position)
        return; // already open
    DiscardLoad(prepared_);
    // Opened into the current player window only; an item that needs another window (a
    // style change) is opened when it is played.
    if (!context.window || item.style != lastStyle_ || name.empty())
        return;
    prepared_ = NewLoadJob(context, item, name);
}

void Framewheel::StartItemLoad(PlaybackContext &context, LONG word, const PlaybackItem &copy,
                               const std::wstring &name, LONGLONG taken)
{
    if ((word & CMD_RENDERER) && copy.style != lastStyle_) {
        // A new player window: nothing of the old one can stay up meanwhile.
        DiscardLoad(prepared_);
        {
            RendererWriteGuard guard(rendererLock_);
            if (word & CMD_BOUNCE) {
                PlaybackItem item = copy;
                ContinueMotion(item);
            }
            renderer_.reset();
        }
        context.item = copy;
        try {
            context.fileName = name;
            context.item.fileName = const_cast<wchar_t *>(context.fileName.c_str());
            CreatePlayerWindow(context);
        } catch (const std::bad_alloc &) {
            EndItemForWantOfMemory(word);
            return;
        }
        lastStyle_ = copy.style;
    }
    if (PreparedFor(copy, name)) {
        loading_ = std::exchange(prepared_, nullptr);
    } else {
        DiscardLoad(prepared_);
        loading_ = NewLoadJob(context, copy, name);
        if (!loading_) {
            EndItemForWantOfMemory(word);
            return;
        }
    }
    loading_->word = word | CMD_PLAY;
    loading_->taken = taken;
    // Opened ahead already, or loaded on this thread: change over now, before anything
    // else queued (such as opening the item after this one) holds it up.
    if (!loading_->done || LoadFinished(*loading_))
        FinishItemLoad(context);
}

// The loader is done with the item being waited for: show it in place of the current one,
// or report its failure as a load that fails in place would.
void Framewheel::FinishItemLoad(PlaybackContext &context)
{
    std::shared_ptr<LoadJob> job = std::exchange(loading_, nullptr);
    LONG word = job->word;
    PlaybackItem copy;
    {
        ReadGuard guard(itemLock_);
        copy = item_;
    }
    RendererWriteGuard guard(rendererLock_);
    context.fileName = job->fileName;
    copy.fileName = const_cast<wchar_t *>(context.fileName.c_str());
    if (word & CMD_BOUNCE)
        ContinueMotion(copy);
    context.item = copy;
    PlaybackItem &item = context.item;
    std::unique_ptr<RHRenderer> incoming = std::move(job->renderer);
    incoming->SetItem(&item);
    if (FAILED(job->result)) {
        // The old picture goes, and the renderer stays without a graph. Reported while the
        // renderer lock is held: a sink called back here may queue commands, but GetItem
        // from another thread waits for the return. Input routing must survive for the
        // next item, whose word would not carry it otherwise.
        renderer_ = std::move(incoming);
        FirePlaybackEnded(job->result);
        pending_ |= CMD_LOAD_ADDS | (word & CMD_SINKS);
        state_ = STATE_STOPPED;
        return;
    }
    LoadTiming timing{};
    timing.taken = job->taken;
    timing.loadStart = job->started > job->taken ? job->started : job->taken;
    timing.loadEnd = job->loaded > job->taken ? job->loaded : job->taken;
    incoming->AttachWindows();
    std::unique_ptr<RHRenderer> outgoing = std::exchange(renderer_, std::move(incoming));
    if (job->seekedTo == item.position)
        word &= ~CMD_SEEK; // the paused graph stands there already, its frame held
    ApplySettings(context, word);
    renderer_->ShowPicture();
    timing.runStart = CounterNow();
    if (state_ == STATE_PLAYING)
        (void)renderer_->RunGraph();
    timing.running = CounterNow();
    // The old windows go only now, under the new ones.
    outgoing.reset();
    CriticalSectionLock timingGuard(timingLock_);
    lastLoad_ = timing;
}

// Ends the item as a failed load ends, with E_OUTOFMEMORY; the next Play tries the whole
// word again, the renderer (and a new style's window) included.
void Framewheel::EndItemForWantOfMemory(LONG word)
{
    RendererWriteGuard guard(rendererLock_);
    if (renderer_)
        renderer_->Unload();
    FirePlaybackEnded(E_OUTOFMEMORY);
    pending_ |= word | CMD_RENDERER | CMD_RENDERER_ADDS;
    state_ = STATE_STOPPED;
}
