// A small helper for the start-up test script, run under Wine beside the screen saver:
//   host WIDTH HEIGHT LIFETIME_MS  a window standing in for the control panel's preview
//                                  area; prints "hwnd clientX clientY", then destroys the
//                                  window after LIFETIME_MS
//   message CAPTION TIMEOUT_MS     waits for a message box with that caption, prints its
//                                  text and presses OK (exit 2 when none appeared)
//   children HWND                  lists the child windows of HWND with their rectangles
//   desktop                        prints the desktop window's handle
//   close CLASS                    closes the desktop's child window of that class
//   sheet TIMEOUT_MS               waits for the configuration sheet, prints its owner
//                                  window and cancels it (closing a welcome dialog first)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int Host(int width, int height, UINT lifetime)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"Preview Host";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(WS_EX_TOPMOST, L"Preview Host", L"Preview Host",
                                        WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, width, height, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 1;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("%lu %ld %ld\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)),
                origin.x, origin.y);
    std::fflush(stdout);
    SetTimer(window, 1, lifetime, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// Polls for a window every 100 ms until the timeout.
template <typename Find>
HWND WaitFor(Find find, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = find())
            return window;
        if (GetTickCount() - start > timeout)
            return nullptr;
        Sleep(100);
    }
}

BOOL CALLBACK PrintStatic(HWND child, LPARAM)
{
    wchar_t className[32] = {}, text[600] = {};
    GetClassNameW(child, className, 32);
    GetWindowTextW(child, text, 600);
    if (_wcsicmp(className, L"Static") == 0 && text[0])
        std::printf("text: %ls\n", text);
    return TRUE;
}

int Message(const wchar_t *caption, DWORD timeout)
{
    const HWND box = WaitFor([&] { return FindWindowW(L"#32770", caption); }, timeout);
    if (!box)
        return 2;
    std::printf("caption: %ls\n", caption);
    EnumChildWindows(box, PrintStatic, 0);
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int Sheet(DWORD timeout)
{
    // The sheet is the dialog that holds a tab control.
    const auto findSheet = [] {
        HWND dialog = nullptr;
        while ((dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) != nullptr) {
            if (FindWindowExW(dialog, nullptr, L"SysTabControl32", nullptr))
                return dialog;
        }
        return static_cast<HWND>(nullptr);
    };
    const HWND sheet = WaitFor(findSheet, timeout);
    if (!sheet)
        return 2;
    wchar_t title[300] = {};
    GetWindowTextW(sheet, title, 300);
    std::printf("sheet: %ls\nowner: %lu\n", title,
                static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetWindow(sheet, GW_OWNER))));
    std::fflush(stdout);
    // The first start shows the welcome dialog over the sheet; it goes first.
    Sleep(1000);
    if (HWND welcome = FindWindowW(L"#32770", L"Welcome to Halcyra Reelhaven")) {
        PostMessageW(welcome, WM_COMMAND, IDOK, 0);
        Sleep(500);
    }
    PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    return 0;
}

// Prints each child of a window: its class, its rectangle in the parent and whether it
// belongs to another process.
int Children(HWND parent)
{
    if (!IsWindow(parent))
        return 2;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&rect), 2);
        DWORD process = 0;
        GetWindowThreadProcessId(child, &process);
        std::printf("child: %ls %ld %ld %ld %ld %s\n", className, rect.left, rect.top, rect.right,
                    rect.bottom, process == GetCurrentProcessId() ? "own" : "foreign");
    }
    std::fflush(stdout);
    return 0;
}

// Closes the first child of the desktop window with the given class.
int CloseChild(const wchar_t *className)
{
    const HWND child = FindWindowExW(GetDesktopWindow(), nullptr, className, nullptr);
    if (!child)
        return 2;
    PostMessageW(child, WM_CLOSE, 0, 0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"host" && argc == 5)
        return Host(_wtoi(argv[2]), _wtoi(argv[3]), static_cast<UINT>(_wtoi(argv[4])));
    if (command == L"message" && argc == 4)
        return Message(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    if (command == L"sheet" && argc == 3)
        return Sheet(static_cast<DWORD>(_wtoi(argv[2])));
    if (command == L"children" && argc == 3)
        return Children(reinterpret_cast<HWND>(static_cast<LONG_PTR>(_wtoi(argv[2]))));
    if (command == L"desktop" && argc == 2) {
        std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetDesktopWindow())));
        return 0;
    }
    if (command == L"close" && argc == 3)
        return CloseChild(argv[2]);
    std::fprintf(stderr, "usage: window_probe host W H MS | message CAPTION MS | children HWND |"
                         " desktop | close CLASS | sheet MS\n");
    return 64;
}
