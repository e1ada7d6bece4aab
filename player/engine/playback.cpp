// The playback thread (window, renderer, media graph, command words) and the bounce timer
// thread of the player object.
#include "playback.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "render/geometry.h"
#include "render/monitor_layout.h"
#include "render/renderer.h"
#include "server/module.h"

namespace {

constexpr wchar_t kWindowClass[] = L"Halcyra Framewheel";
constexpr DWORD kAllMessages = 0xff; // every input, posted, sent, timer, paint and hot-key message

// The module this code lives in (the library, or a test program that links the engine).
HINSTANCE CodeModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

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

DWORD WINAPI Playback::TimerThreadMain(void *playback)
{
    static_cast<Playback *>(playback)->RunTimer();
    return 0;
}

void Playback::Run()
{
    ShowCursor(FALSE);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Playback::WindowProc;
    windowClass.hInstance = CodeModule();
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass); // another player of this process may have registered it

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
    window_.reset();
    ShowCursor(TRUE);
    // A class left behind would point at code that is gone once the library unloads;
    // this fails harmlessly while another player still has a window of it.
    UnregisterClassW(kWindowClass, CodeModule());
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
    if (loopCounter_ != -1)
        --loopCounter_;
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
    return true;
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
    // The next look at the playing item; the last loop's again the moment its clock reaches
    // its end. Only this thread replaces the renderer, so it reads it without the lock.
    double position = 0.0, end = 0.0;
    const double rate = current_.fields.rate > 0.0f ? current_.fields.rate : 1.0;
    if (loopCounter_ == 1 && Current() && Current()->Progress(position, end) && end > position) {
        const double ms = (end - position) / rate * 1000.0;
        if (ms < kWatchIntervalMs)
            return std::min(limit, static_cast<DWORD>(ms) + 1);
    }
    return std::min(limit, kWatchIntervalMs);
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
    bool ended = false;
    {
        RendererWriteGuard guard(rendererLock_);
        RHRenderer *renderer = Current();
        double position = 0.0, end = 0.0;
        if (!renderer || !renderer->Progress(position, end))
            return;
        switch (watch_.Check(GetTickCount(), position, end, renderer->HoldsStill(), loopCounter_ == 1)) {
        case PlaybackWatch::Verdict::Fine:
            return;
        case PlaybackWatch::Verdict::Stalled:
            EndItemAsFailed(kPlaybackStalled, CMD_LOAD_ADDS);
            return;
        case PlaybackWatch::Verdict::Ended:
            // The framework's own end event, should it be queued already, is not counted again.
            renderer->DropEvents();
            ended = OnCompletion();
            break;
        }
    }
    if (ended)
        player_.FirePlaybackEnded(S_OK);
}

bool Playback::RunIfPlaying(LONG word)
{
    // Without a graph (its load failed and was reported) there is nothing to run.
    if (asked_ != STATE_PLAYING || !Current()->HasGraph())
        return true;
    const HRESULT hr = Current()->RunGraph();
    if (SUCCEEDED(hr)) {
        state_ = STATE_PLAYING;
        watch_.Restart(GetTickCount());
        return true;
    }
    EndItemAsFailed(hr, CMD_LOAD_ADDS | (word & CMD_SINKS));
    return false;
}

void Playback::EndItemAsFailed(HRESULT result, LONG pendingAdds)
{
    if (RHRenderer *renderer = Current())
        renderer->Unload();
    // Before the sink hears it: the item it sets next may name the same file.
    player_.ForgetLoadedName();
    // Reported while the renderer lock is held: a sink called back here may queue commands,
    // but GetItem from another thread waits for the return.
    player_.FirePlaybackEnded(result);
    pending_ |= pendingAdds;
    asked_ = state_ = STATE_STOPPED;
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
                    RendererWriteGuard guard(rendererLock_);
                    if (RHRenderer *renderer = Current())
                        renderer->Unload(); // keeps the position for the reload
                }
                asked_ = state_ = STATE_STOPPED;
            }
            continue;
        }
        if (word & CMD_PAUSE) {
            if (asked_ == STATE_PLAYING) {
                if (state_ == STATE_PLAYING) {
                    RendererWriteGuard guard(rendererLock_);
                    if (RHRenderer *renderer = Current())
                        renderer->StopGraph();
                    state_ = STATE_PAUSED;
                }
                asked_ = STATE_PAUSED;
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

// Continue the motion where the picture on screen is instead of jumping back to the set
// placement (renderer lock held).
void Playback::ContinueMotion(PlaybackItem &fields)
{
    RHRenderer *renderer = Current();
    if (!renderer || !wasBouncing_ || !fields.bounce)
        return;
    std::vector<PlacementFraction> positions;
    try {
        renderer->GetPositions(positions);
    } catch (const std::bad_alloc &) {
        positions.clear(); // starts from the set placement instead
    }
    if (!positions.empty()) {
        fields.xPosition = positions[0].x;
        fields.yPosition = positions[0].y;
    }
    renderer->GetVelocity(savedDx_, savedDy_);
}

void Playback::ApplySettings(LONG word)
{
    RHRenderer &renderer = *Current();
    const PlaybackItem &item = current_.fields;
    if (word & CMD_BOUNCE) {
        if (wasBouncing_ && item.bounce) {
            renderer.SetVelocity(savedDx_, savedDy_);
        } else {
            const int step = BounceVelocity(item.bounceStep);
            renderer.SetVelocity(step, step);
        }
        word |= CMD_LAYOUT;
        wasBouncing_ = item.bounce != 0;
    }
    if (word & CMD_LAYOUT)
        renderer.Layout();
    if (word & CMD_VOLUME)
        renderer.SetVolume(item.volume);
    if (word & CMD_SEEK)
        renderer.Seek(item.position);
    if (word & CMD_RATE)
        renderer.SetRate(item.rate);
    if (word & CMD_LOOPS)
        loopCounter_ = item.loops;
    if (word & CMD_SINKS)
        renderer.SetInputRouting(player_.HasInputSinks());
}

void Playback::CreatePlayerWindow()
{
    window_.reset();
    const PlaybackItem &item = current_.fields;
    HWND window = nullptr;
    if (item.style == STYLE_WINDOWED) {
        const HWND parent = ParentWindowOf(item);
        const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        window = CreateWindowExW(0, kWindowClass, kWindowClass, style, item.windowLeft,
                                 item.windowTop, item.windowWidth, item.windowHeight, parent,
                                 nullptr, CodeModule(), nullptr);
    } else {
        const MonitorLayout layout = QueryMonitorLayout();
        const RECT &desktop = layout.desktop;
        window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kWindowClass, kWindowClass,
                                 WS_POPUP | WS_VISIBLE, desktop.left, desktop.top,
                                 desktop.right - desktop.left, desktop.bottom - desktop.top,
                                 nullptr, nullptr, CodeModule(), nullptr);
    }
    // Set only now: messages of the creation itself find no player and are not acted on.
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_.reset(window);
}

LRESULT CALLBACK Playback::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *playback = reinterpret_cast<Playback *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!playback) {
        if (message == WM_SIZE || message == WM_CLOSE || message == WM_QUERYENDSESSION)
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_SIZE:
        return playback->OnSize();
    case WM_CLOSE:
        return playback->OnClose();
    case WM_QUERYENDSESSION:
        return playback->OnQueryEndSession();
    case WM_SYSCOMMAND:
        return playback->OnSysCommand(window, wParam, lParam);
    case WM_ERASEBKGND:
        return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_KEYDOWN:
    case WM_KEYUP:
        playback->player_.FireInput(message, wParam, lParam);
        break;
    default:
        if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK)
            playback->player_.FireInput(message, wParam, lParam);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Black where no video window is. The window does not clip its children, so the default
// erase would paint over the pictures too: when an outgoing item's video windows go, the
// area they leave is erased, and the incoming picture above it would turn black until its
// next frame.
LRESULT Playback::OnEraseBackground(HWND window, HDC dc)
{
    RECT client{};
    GetClientRect(window, &client);
    const int saved = SaveDC(dc);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        RECT area{};
        GetWindowRect(child, &area);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT *>(&area), 2);
        ExcludeClipRect(dc, area.left, area.top, area.right, area.bottom);
    }
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);
    return 1;
}

LRESULT Playback::OnSize()
{
    player_.PlaybackQueue().Post(CMD_LAYOUT);
    return 0;
}

LRESULT Playback::OnClose()
{
    // The window goes with the thread's end, not here.
    if (player_.SinksAgreeToClose(0))
        player_.PlaybackQueue().Post(CMD_QUIT);
    return 0;
}

LRESULT Playback::OnQueryEndSession()
{
    if (!player_.SinksAgreeToClose(1))
        return FALSE;
    stopRequested_ = true;
    return TRUE;
}

LRESULT Playback::OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    // What the window swallows follows the item last set, loaded or not.
    MediaItem item;
    (void)player_.CopyItem(item, false);
    switch (wParam & 0xfff0) {
    case SC_SCREENSAVE:
        if (item.fields.blockScreenSaver || item.fields.blockMonitorPower)
            return 0;
        break;
    case SC_MONITORPOWER:
        if (item.fields.blockMonitorPower)
            return 0;
        player_.FireMonitorPower(lParam);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, WM_SYSCOMMAND, wParam, lParam);
}

void Playback::RunTimer()
{
    ComApartment apartment(COINIT_MULTITHREADED);
    CommandQueue &queue = player_.TimerQueue();
    DWORD timeout = INFINITE;
    for (bool quit = false; !quit;) {
        const DWORD woken = WaitForSingleObject(queue.WakeEvent(), timeout);
        if (woken == WAIT_TIMEOUT) {
            ReadGuard guard(rendererLock_);
            if (RHRenderer *renderer = Current())
                renderer->Step();
            continue;
        }
        if (woken != WAIT_OBJECT_0)
            break;
        // Every wake-up restarts the wait, so a command postpones the next tick.
        for (LONG word; (word = queue.Take()) != CMD_NONE;) {
            if (word & CMD_QUIT) {
                quit = true;
            } else if (word & (CMD_STOP | CMD_PAUSE)) {
                timeout = INFINITE;
            } else if (word & (CMD_PLAY | CMD_BOUNCE)) {
                MediaItem item;
                (void)player_.CopyItem(item, false);
                timeout = item.fields.bounce ? BounceIntervalMs(item.fields.bounceInterval) : INFINITE;
            }
        }
    }
}
