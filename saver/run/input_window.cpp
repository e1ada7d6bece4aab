#include "input_window.h"

#include "fw_sink.h"

namespace {

constexpr wchar_t kClass[] = L"Reelhaven Run";
constexpr UINT_PTR kCoverTimer = 1;
constexpr UINT kCoverCheckMs = 50;

}  // namespace

void InputWindow::Open(FwSink *sink)
{
    sink_ = sink;
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    closed_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ready_ = ready.get();
    if (!ready_ || !closed_)
        return;
    thread_.reset(CreateThread(nullptr, 0, &InputWindow::Main, this, 0, &threadId_));
    if (thread_) {
        const HANDLE waits[] = {ready.get(), thread_.get()};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
    ready_ = nullptr;
}

void InputWindow::Close()
{
    if (!thread_ || !closed_)
        return;
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    const HANDLE waits[] = {closed_.get(), thread_.get()};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

void InputWindow::Join()
{
    if (!thread_)
        return;
    Close();
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

// Several players' windows lie side by side. Under Wine without a window manager a key
// reaches the process only when the window under the pointer is the foreground one, so the
// player window under the pointer is made the foreground (on Windows any of them would do).
// Never this window: in front it would hide the players.
void InputWindow::FollowPointer(HWND window)
{
    POINT cursor{};
    if (!GetCursorPos(&cursor))
        return;
    const HWND under = GetAncestor(WindowFromPoint(cursor), GA_ROOT);
    DWORD process = 0;
    if (!under || under == window || under == GetForegroundWindow() ||
        !GetWindowThreadProcessId(under, &process) || process != GetCurrentProcessId())
        return;
    SetForegroundWindow(under);
}

bool InputWindow::Covered(HWND window)
{
    struct Search {
        HWND own;
        RECT area;
        bool found;
    } search{window, {}, false};
    GetWindowRect(window, &search.area);
    EnumWindows(
        [](HWND other, LPARAM parameter) -> BOOL {
            auto &s = *reinterpret_cast<Search *>(parameter);
            DWORD process = 0;
            GetWindowThreadProcessId(other, &process);
            RECT rect;
            if (other != s.own && process == GetCurrentProcessId() && IsWindowVisible(other) &&
                GetWindowRect(other, &rect) && rect.left <= s.area.left && rect.top <= s.area.top &&
                rect.right >= s.area.right && rect.bottom >= s.area.bottom)
                s.found = true;
            return !s.found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DWORD WINAPI InputWindow::Main(void *parameter)
{
    auto *self = static_cast<InputWindow *>(parameter);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &InputWindow::Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClass;
    RegisterClassW(&windowClass);  // fails harmlessly when a previous run registered it
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    UniqueWindow window(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClass, L"Reelhaven",
                                        WS_POPUP | WS_VISIBLE, left, top,
                                        GetSystemMetrics(SM_CXVIRTUALSCREEN),
                                        GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr, nullptr,
                                        windowClass.hInstance, self));
    if (window) {
        SetForegroundWindow(window.get());
        UpdateWindow(window.get());
        SetTimer(window.get(), kCoverTimer, kCoverCheckMs, nullptr);
    }
    // A message queue exists now, so Close's WM_QUIT cannot be lost.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(self->ready_);
    if (!window) {
        SetEvent(self->closed_.get());
        return 0;
    }
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    SetEvent(self->closed_.get());
    return 0;
}

LRESULT CALLBACK InputWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams));
    auto *self = reinterpret_cast<InputWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_KEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // No player: keyboard controls that step through the playlist do nothing here.
        if (self && self->sink_)
            (void)self->sink_->OnInput(nullptr, message, wParam, lParam);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == kCoverTimer && Covered(window)) {
            KillTimer(window, kCoverTimer);
            PostQuitMessage(0);  // the thread takes the window down as it ends
        } else if (wParam == kCoverTimer) {
            FollowPointer(window);
        }
        return 0;
    case WM_CLOSE:
        return 0;  // as the player's windows: Alt+F4 does not end the screen saver
    case WM_QUERYENDSESSION:
        if (self && self->sink_)
            (void)self->sink_->OnQueryClose(nullptr, 1);
        return TRUE;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
