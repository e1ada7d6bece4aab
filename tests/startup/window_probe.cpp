// A small helper for the start-up and administration test scripts, run under Wine beside
// the screen saver:
//   host WIDTH HEIGHT LIFETIME_MS  a window standing in for the control panel's preview
//                                  area; prints "hwnd clientX clientY", then destroys the
//                                  window after LIFETIME_MS
//   message CAPTION TIMEOUT_MS     waits for a message box with that caption, prints its
//                                  text and presses OK (exit 2 when none appeared)
//   children HWND                  lists the child windows of HWND with their rectangles
//   desktop                        prints the desktop window's handle
//   close CLASS                    closes the desktop's child window of that class
//   sheet TIMEOUT_MS               waits for the configuration sheet, prints its owner
//                                  window, opens the Options page, prints the master volume
//                                  and bounce speed sliders' positions and cancels the sheet
//                                  (closing a welcome dialog first)
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "test_kit.h"

namespace {

unsigned long Number(HWND window) { return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)); }

int Host(int width, int height, UINT lifetime)
{
    // Any window class does for a parent; a static control needs no registration.
    const HWND window = CreateWindowExW(WS_EX_TOPMOST, L"Static", L"Preview Host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                        100, 100, width, height, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 1;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("%lu %ld %ld\n", Number(window), origin.x, origin.y);
    std::fflush(stdout);
    SetTimer(window, 1, lifetime, [](HWND expired, UINT, UINT_PTR, DWORD) {
        DestroyWindow(expired);
        PostQuitMessage(0);
    });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

int Message(const wchar_t *caption, DWORD timeout)
{
    const HWND box = WaitForWindow([&] { return FindWindowW(L"#32770", caption); }, timeout);
    if (!box)
        return 2;
    // A message box's text is its control 0xffff, as in Windows' own dialog template.
    wchar_t text[600] = {};
    GetDlgItemTextW(box, 0xffff, text, 600);
    std::printf("caption: %ls\ntext: %ls\n", caption, text);
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

// The page dialog of the sheet that holds control id.
HWND PageWith(HWND sheet, int id)
{
    HWND page = nullptr;
    while ((page = FindWindowExW(sheet, page, L"#32770", nullptr)) && !GetDlgItem(page, id)) {
    }
    return page;
}

int Sheet(DWORD timeout)
{
    const HWND sheet = WaitForWindow(FindPropertySheet, timeout);
    if (!sheet)
        return 2;
    std::printf("owner: %lu\n", Number(GetWindow(sheet, GW_OWNER)));
    // The first start shows the welcome dialog over the sheet; it goes first.
    if (HWND welcome = WaitForWindow([] { return FindWindowW(L"#32770", L"Welcome to Halcyra Reelhaven"); }, 1000)) {
        PostMessageW(welcome, WM_COMMAND, IDOK, 0);
        WaitForWindow([&] { return IsWindow(welcome) ? nullptr : sheet; }, timeout);
    }
    PostMessageW(sheet, PSM_SETCURSEL, 1, 0);
    const HWND page = WaitForWindow([sheet] { return PageWith(sheet, 1022); }, timeout);
    if (page)
        std::printf("master-volume %ld\nbounce-speed %ld\n",
                    static_cast<long>(SendDlgItemMessageW(page, 1014, TBM_GETPOS, 0, 0)),
                    static_cast<long>(SendDlgItemMessageW(page, 1022, TBM_GETPOS, 0, 0)));
    std::fflush(stdout);
    PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    return page ? 0 : 3;
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

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const auto number = [&](int i) { return static_cast<DWORD>(_wtoi(argv[i])); };
    if (command == L"host" && argc == 5)
        return Host(_wtoi(argv[2]), _wtoi(argv[3]), number(4));
    if (command == L"message" && argc == 4)
        return Message(argv[2], number(3));
    if (command == L"sheet" && argc == 3)
        return Sheet(number(2));
    if (command == L"children" && argc == 3)
        return Children(reinterpret_cast<HWND>(static_cast<LONG_PTR>(_wtoi(argv[2]))));
    if (command == L"desktop" && argc == 2)
        return std::printf("%lu\n", Number(GetDesktopWindow())) < 0;
    if (command == L"close" && argc == 3) { // the desktop's first child of that class
        const HWND child = FindWindowExW(GetDesktopWindow(), nullptr, argv[2], nullptr);
        return child && PostMessageW(child, WM_CLOSE, 0, 0) ? 0 : 2;
    }
    std::fprintf(stderr, "usage: window_probe host W H MS | message CAPTION MS | children HWND |"
                         " desktop | close CLASS | sheet MS\n");
    return 64;
}
