// The playback thread (window, renderer, media graph, command words) and the bounce timer
// thread of the player object.
#include <windows.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "playback_context.h"
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

DWORD WINAPI Framewheel::PlaybackThreadMain(void *player)
{
    auto *self = static_cast<Framewheel *>(player);
    // The orphaned player's table is revoked in its destructor, inside this apartment.
    ComApartment apartment(COINIT_MULTITHREADED);
    self->RunPlaybackThread();
    if (self->orphaned_) {
        delete self;
        LibraryRelease();
    }
    return 0;
}

DWORD WINAPI Framewheel::TimerThreadMain(void *player)
{
    static_cast<Framewheel *>(player)->RunTimerThread();
    return 0;
}

void Framewheel::RunPlaybackThread()
{
    ComApartment apartment(COINIT_MULTITHREADED);
    PlaybackContext context;
    ShowCursor(FALSE);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Framewheel::WindowProc;
    windowClass.hInstance = CodeModule();
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass); // another player of this process may have registered it

    {
        // A placeholder until the first Play builds the renderer for the item's style; it
        // answers position and media events without a graph.
        RendererWriteGuard guard(rendererLock_);
        try {
            renderer_ = MakeWindowedRenderer(&context.item, nullptr, classicVideoRenderer_);
        } catch (const std::bad_alloc &) {
            renderer_.reset(); // the first Play builds one again
        }
    }
    context.timerThread.reset(CreateThread(nullptr, 0, &Framewheel::TimerThreadMain, this, 0, nullptr));
    if (context.timerThread) {
        stopRequested_ = false;
        while (!stopRequested_) {
            ReapDiscardedLoads();
            HANDLE handles[3] = {playbackQueue_.WakeEvent(), nullptr, nullptr};
            DWORD count = 1, media = MAXDWORD, load = MAXDWORD;
            // Fetched again every time: a command may have replaced the renderer or its graph.
            if (renderer_) {
                media = count;
                handles[count++] = renderer_->GetEventHandle();
            }
            if (loading_ && loading_->done) {
                load = count;
                handles[count++] = loading_->done.get();
            }
            const DWORD woken = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, kAllMessages);
            if (woken == WAIT_OBJECT_0) {
                // A log-off agreed during a command (sent messages are dispatched inside
                // some calls) must not be forgotten.
                stopRequested_ = ProcessCommands(context) || stopRequested_;
            } else if (woken == WAIT_OBJECT_0 + media) {
                OnMediaEvent(context);
            } else if (woken == WAIT_OBJECT_0 + load) {
                FinishItemLoad(context);
            } else if (woken == WAIT_OBJECT_0 + count) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&message);
            } else {
                break; // a handle went bad: waiting again would spin
            }
        }
        AbandonAllLoads();
        timerQueue_.Post(CMD_QUIT);
        // A tick may be moving a video window of this thread through the framework, which
        // sends the move here and waits for it.
        WaitAnswering(context.timerThread.get());
        context.timerThread.reset();
        context.loopCounter = 0;
    }
    {
        RendererWriteGuard guard(rendererLock_);
        renderer_.reset();
    }
    context.window.reset();
    ShowCursor(TRUE);
    // A class left behind would point at code that is gone once the library unloads;
    // this fails harmlessly while another player still has a window of it.
    UnregisterClassW(kWindowClass, CodeModule());
}

void Framewheel::OnMediaEvent(PlaybackContext &context)
{
    bool ended = false;
    {
        RendererWriteGuard guard(rendererLock_);
        if (!renderer_ || !renderer_->TakeCompletion())
            return; // anything but completion is dropped
        if (loading_) {
            // The item on screen is already being replaced: keep its last frame up.
            renderer_->StopGraph();
            return;
        }
        if (context.loopCounter != -1)
            --context.loopCounter;
        if (context.loopCounter != 0) {
            renderer_->Rewind();
            // A completion that arrives just after a Pause must not start the graph behind
            // the Paused state's back; Play runs it again.
            if (state_ == STATE_PLAYING)
                (void)renderer_->RunGraph();
        } else {
            renderer_->StopGraph();
            renderer_->Rewind();
            state_ = STATE_PAUSED;
            ended = true;
        }
    }
    // Outside the renderer lock, so a sink may ask GetItem from any apartment.
    if (ended)
        FirePlaybackEnded(S_OK);
}

bool Framewheel::ProcessCommands(PlaybackContext &context)
{
    for (LONG word; (word = playbackQueue_.Take()) != CMD_NONE;) {
        if (word & CMD_QUIT) {
            state_ = STATE_QUITTING;
            return true; // what is still queued stays unprocessed
        }
        if (word & CMD_PREPARE) {
            PrepareItem(context);
            word &= ~CMD_PREPARE;
            if (!word)
                continue;
        }
        if (word & CMD_STOP) {
            DiscardLoad(loading_);
            if (state_ == STATE_PLAYING || state_ == STATE_PAUSED) {
                pending_ = CMD_RENDERER_ADDS;
                {
                    RendererWriteGuard guard(rendererLock_);
                    if (renderer_)
                        renderer_->Unload(); // keeps the position for the reload
                }
                state_ = STATE_STOPPED;
            }
            continue;
        }
        if (word & CMD_PAUSE) {
            if (state_ == STATE_PLAYING) {
                {
                    RendererWriteGuard guard(rendererLock_);
                    if (renderer_)
                        renderer_->StopGraph();
                }
                state_ = STATE_PAUSED;
            }
            continue;
        }

        if (word & CMD_PLAY) {
            if (state_ == STATE_PLAYING)
                continue;
            state_ = STATE_PLAYING;
            // The pending changes move into this word; whatever fails below adds its own.
            word |= std::exchange(pending_, 0);
        }
        const LONGLONG taken = CounterNow();
        word = ExpandCommand(word);
        // The name is copied only where it is used: while stopped, only to see whether the
        // item opened ahead is still the one wanted.
        const bool playing = state_ == STATE_PLAYING;
        const bool checkPrepared = !playing && (word & CMD_LOAD) && prepared_;
        PlaybackItem copy;
        std::wstring name;
        bool copied = true;
        {
            ReadGuard guard(itemLock_);
            copy = item_;
            if (playing || checkPrepared) {
                try {
                    name = fileName_;
                } catch (const std::bad_alloc &) {
                    copied = false;
                }
            }
        }
        if (!playing) {
            pending_ |= word;
            // Another item than the one opened ahead: let that one go now.
            if (checkPrepared && (!copied || !PreparedFor(copy, name)))
                DiscardLoad(prepared_);
            continue;
        }
        if (!copied) {
            EndItemForWantOfMemory(word); // the item cannot be carried out without its name
            continue;
        }
        if (word & CMD_LOAD) {
            // Opened on a loader thread; the rest of the word is carried out when the new
            // item is shown (FinishItemLoad). A load still under way is replaced.
            if (loading_) {
                word |= loading_->word;
                DiscardLoad(loading_);
            }
            StartItemLoad(context, word, copy, name, taken);
            continue;
        }
        if (loading_) {
            // Settings for the item that is opening: they apply to it once it is shown.
            // Input routing applies to the picture on screen at once as well.
            loading_->word |= word;
            if (word & CMD_SINKS) {
                RendererWriteGuard guard(rendererLock_);
                ReadGuard sinks(sinkLock_);
                if (renderer_)
                    renderer_->SetInputRouting(!sinks_[SINK_INPUT].empty());
            }
            continue;
        }
        // The renderer reads the working copy; it changes only under the renderer lock.
        RendererWriteGuard guard(rendererLock_);
        context.fileName.swap(name);
        copy.fileName = const_cast<wchar_t *>(context.fileName.c_str());
        context.item = copy;
        PlaybackItem &item = context.item;

        if (word & CMD_BOUNCE)
            ContinueMotion(item);
        if (!renderer_)
            continue; // nothing to carry the word out on
        ApplySettings(context, word);
        if (word & CMD_PLAY)
            (void)renderer_->RunGraph();
        pending_ = 0;
    }
    return false;
}

// Continue the motion where the picture on screen is instead of jumping back to the set
// placement (renderer lock held).
void Framewheel::ContinueMotion(PlaybackItem &item)
{
    if (!renderer_ || !wasBouncing_ || !item.bounce)
        return;
    std::vector<PlacementFraction> positions;
    try {
        renderer_->GetPositions(positions);
    } catch (const std::bad_alloc &) {
        positions.clear(); // starts from the set placement instead
    }
    if (!positions.empty()) {
        item.xPosition = positions[0].x;
        item.yPosition = positions[0].y;
    }
    renderer_->GetVelocity(savedDx_, savedDy_);
}

void Framewheel::ApplySettings(PlaybackContext &context, LONG word)
{
    PlaybackItem &item = context.item;
    if (word & CMD_BOUNCE) {
        if (wasBouncing_ && item.bounce) {
            renderer_->SetVelocity(savedDx_, savedDy_);
        } else {
            const int step = BounceVelocity(item.bounceStep);
            renderer_->SetVelocity(step, step);
        }
        word |= CMD_LAYOUT;
        wasBouncing_ = item.bounce != 0;
    }
    if (word & CMD_LAYOUT)
        renderer_->Layout();
    if (word & CMD_VOLUME)
        renderer_->SetVolume(item.volume);
    if (word & CMD_SEEK)
        renderer_->Seek(item.position);
    if (word & CMD_RATE)
        renderer_->SetRate(item.rate);
    if (word & CMD_LOOPS)
        context.loopCounter = item.loops;
    if (word & CMD_SINKS) {
        ReadGuard sinks(sinkLock_);
        renderer_->SetInputRouting(!sinks_[SINK_INPUT].empty());
    }
}

void Framewheel::CreatePlayerWindow(PlaybackContext &context)
{
    context.window.reset();
    const PlaybackItem &item = context.item;
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
    context.window.reset(window);
}

LRESULT CALLBACK Framewheel::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *player = reinterpret_cast<Framewheel *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!player) {
        if (message == WM_SIZE || message == WM_CLOSE || message == WM_QUERYENDSESSION)
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_SIZE:
        return player->OnSize();
    case WM_CLOSE:
        return player->OnClose();
    case WM_QUERYENDSESSION:
        return player->OnQueryEndSession();
    case WM_SYSCOMMAND:
        return player->OnSysCommand(window, wParam, lParam);
    case WM_ERASEBKGND:
        return OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_KEYDOWN:
    case WM_KEYUP:
        player->FireInput(message, wParam, lParam);
        break;
    default:
        if (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK)
            player->FireInput(message, wParam, lParam);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Black where no video window is. The window does not clip its children, so the default
// erase would paint over the pictures too: when an outgoing item's video windows go, the
// area they leave is erased, and the incoming picture above it would turn black until its
// next frame.
LRESULT Framewheel::OnEraseBackground(HWND window, HDC dc)
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

LRESULT Framewheel::OnSize()
{
    playbackQueue_.Post(CMD_LAYOUT);
    return 0;
}

LRESULT Framewheel::OnClose()
{
    // The window goes with the thread's end, not here.
    if (SinksAgreeToClose(0))
        playbackQueue_.Post(CMD_QUIT);
    return 0;
}

LRESULT Framewheel::OnQueryEndSession()
{
    if (!SinksAgreeToClose(1))
        return FALSE;
    stopRequested_ = true;
    return TRUE;
}

LRESULT Framewheel::OnSysCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (wParam & 0xfff0) {
    case SC_SCREENSAVE: {
        bool block;
        {
            ReadGuard guard(itemLock_);
            block = item_.blockScreenSaver || item_.blockMonitorPower;
        }
        if (block)
            return 0;
        break;
    }
    case SC_MONITORPOWER: {
        bool block;
        {
            ReadGuard guard(itemLock_);
            block = item_.blockMonitorPower != 0;
        }
        if (block)
            return 0;
        FireMonitorPower(lParam);
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(window, WM_SYSCOMMAND, wParam, lParam);
}

void Framewheel::RunTimerThread()
{
    ComApartment apartment(COINIT_MULTITHREADED);
    DWORD timeout = INFINITE;
    for (bool quit = false; !quit;) {
        const DWORD woken = WaitForSingleObject(timerQueue_.WakeEvent(), timeout);
        if (woken == WAIT_TIMEOUT) {
            ReadGuard guard(rendererLock_);
            if (renderer_)
                renderer_->Step();
            continue;
        }
        if (woken != WAIT_OBJECT_0)
            break;
        // Every wake-up restarts the wait, so a command postpones the next tick.
        for (LONG word; (word = timerQueue_.Take()) != CMD_NONE;) {
            if (word & CMD_QUIT) {
                quit = true;
            } else if (word & (CMD_STOP | CMD_PAUSE)) {
                timeout = INFINITE;
            } else if (word & (CMD_PLAY | CMD_BOUNCE)) {
                ReadGuard guard(itemLock_);
                timeout = item_.bounce ? BounceIntervalMs(item_.bounceInterval) : INFINITE;
            }
        }
    }
}
