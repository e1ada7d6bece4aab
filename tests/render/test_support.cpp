#include "test_support.h"

#include <filesystem>
#include <fstream>

namespace {

// A Unix folder named in the environment, as a path on Wine's Z: drive.
std::wstring FolderFromEnv(const wchar_t *variable)
{
    const wchar_t *value = _wgetenv(variable);
    return value && *value ? WindowsPath(std::wstring(value)) + L'\\' : std::wstring();
}

}  // namespace

std::wstring ClipPath(const wchar_t *name)
{
    const std::wstring folder = FolderFromEnv(L"RH_MEDIA_DIR");
    return folder.empty() ? folder : folder + name;
}

UniqueWindow CreatePlayerWindow(int clientW, int clientH)
{
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"Render Test Player";
        return RegisterClassW(&wc) != 0;
    }();
    if (!registered)
        return {};
    const bool popup = clientW == 0;
    const DWORD style = popup ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    RECT r{50, 50, 50 + clientW, 50 + clientH};
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_TOPMOST);
    if (popup)
        r = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
             GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
             GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    UniqueWindow window(CreateWindowExW(WS_EX_TOPMOST | (popup ? WS_EX_TOOLWINDOW : 0), L"Render Test Player",
                                        L"Render test", style | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                        r.bottom - r.top, nullptr, nullptr, nullptr, nullptr));
    PumpMessages(100);
    return window;
}

void PumpMessages(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (DWORD spent = 0; ; spent = GetTickCount() - start) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

bool ScreenColours(const std::vector<POINT> &points, std::vector<Rgb> &colours)
{
    const std::wstring dir = FolderFromEnv(L"RH_SHOT_DIR");
    if (dir.empty())
        return false;
    const std::filesystem::path request = dir + L"req.tmp", answer = dir + L"ans";
    {
        std::ofstream out(request);
        for (const POINT &p : points)
            out << p.x << ' ' << p.y << '\n';
    }
    std::filesystem::rename(request, dir + L"req");
    // The wrapper answers within a second or two; the video windows keep painting meanwhile.
    for (int waited = 0; !std::filesystem::exists(answer); waited += 50) {
        if (waited > 30000)
            return false;
        PumpMessages(50);
    }
    colours.clear();
    {
        std::ifstream in(answer);
        for (Rgb c; in >> c.r >> c.g >> c.b;)
            colours.push_back(c);
    }
    std::filesystem::remove(answer);
    return colours.size() == points.size();
}
