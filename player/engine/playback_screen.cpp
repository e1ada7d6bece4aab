// The playback thread's hold on the screen: the player window and its messages, the
// settings carried out on the renderer on screen, running or failing the item there, and
// the bounce timer thread that moves its picture.
#include "media_loader.h"
#include "playback.h"

#include <new>
#include <vector>

#include "render/geometry.h"
#include "render/monitor_layout.h"
#include "render/renderer.h"

namespace {

constexpr wchar_t kWindowClass[] = L"Halcyra Framewheel";

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

void Playback::RegisterWindowClass()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Playback::WindowProc;
    windowClass.hInstance = CodeModule();
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass); // another player of this process may have registered it
}

void Playback::UnregisterWindowClass()
{
    // A class left behind would point at code that is gone once the library unloads;
    // this fails harmlessly while another player still has a window of it.
    UnregisterClassW(kWindowClass, CodeModule());
}

bool Playback::RunIfPlaying(LONG word, bool fromHeldFrame)
{
    // Without a graph (its load failed and was reported) there is nothing to run.
    if (asked_ != STATE_PLAYING || !Current()->HasGraph())
        return true;
    const HRESULT hr = fromHeldFrame ? Current()->RunGraphFromHeldFrame() : Current()->RunGraph();
    if (SUCCEEDED(hr)) {
        state_ = STATE_PLAYING;
        loopStartedAt_ = GetTickCount();
        watch_.Restart(loopStartedAt_);
        nextLoopDue_ = false;
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

// An item whose streams are stuck (samples stopped coming, or the end event never came)
// ends as a failed one does, but its graph is stopped and freed on a thread of its own:
// stopping waits for reads that may never return, and the show goes on meanwhile.
void Playback::EndStuckItem(HRESULT result)
{
    if (RHRenderer *renderer = Current())
        FreeGraphAway(renderer->GiveUpGraph());
    EndItemAsFailed(result, CMD_LOAD_ADDS);
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
    if (word & CMD_SEEK) {
        renderer.Seek(item.position);
        // The loop goes on from there; a next loop that was waiting gives way to it.
        loopFrom_ = item.position;
        loopStartedAt_ = GetTickCount();
        nextLoopDue_ = false;
    }
    if (word & CMD_RATE) {
        renderer.SetRate(item.rate);
        LoopGoesOnFromHere();
    }
    if (word & CMD_LOOPS)
        loopCounter_ = item.loops;
    if (word & CMD_SINKS)
        renderer.SetInputRouting(player_.HasInputSinks());
}

void Playback::ReplaceWindow(HWND window)
{
    player_.PublishWindow(nullptr); // before the old one goes
    window_.reset(window);
    player_.PublishWindow(window);
}

void Playback::CreatePlayerWindow()
{
    ReplaceWindow(nullptr);
    const PlaybackItem &item = current_.fields;
    HWND window = nullptr;
    if (item.style == STYLE_WINDOWED) {
        const HWND parent = ParentWindowOf(item);
        const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
        window = CreateWindowExW(0, kWindowClass, kWindowClass, style, item.windowLeft,
                                 item.windowTop, item.windowWidth, item.windowHeight, parent,
                                 nullptr, CodeModule(), nullptr);
    } else {
        const RECT place = WantedWindowPlace();
        window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kWindowClass, kWindowClass,
                                 WS_POPUP | WS_VISIBLE, place.left, place.top,
                                 place.right - place.left, place.bottom - place.top,
                                 nullptr, nullptr, CodeModule(), nullptr);
        windowPlace_ = place;
    }
    // Set only now: messages of the creation itself find no player and are not acted on.
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ReplaceWindow(window);
}

RECT Playback::WantedWindowPlace()
{
    std::vector<RECT> areas;
    try {
        if (!player_.CopyOutputAreas(areas))
            areas.clear();
    } catch (const std::bad_alloc &) {
        areas.clear();
    }
    return PlayerWindowPlace(QueryMonitorLayout(), areas);
}

bool Playback::WindowFitsAreas(const MediaItem &item)
{
    if (!window_ || item.fields.style == STYLE_WINDOWED)
        return true;
    const RECT wanted = WantedWindowPlace();
    return EqualRect(&wanted, &windowPlace_) != FALSE;
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

DWORD WINAPI Playback::TimerThreadMain(void *playback)
{
    static_cast<Playback *>(playback)->RunTimer();
    return 0;
}
