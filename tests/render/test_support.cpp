#include "test_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Halcyra\\Reelhaven";
constexpr wchar_t kDurationValue[] = L"PictureDisplayDuration";

// A Unix folder from the environment as a path on Wine's Z: drive.
std::wstring FolderFromEnv(const wchar_t *variable)
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(variable, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::wstring path = buffer;
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t &c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    if (path.back() != L'\\')
        path += L'\\';
    return path;
}

LRESULT CALLBACK PlayerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t *PlayerClass()
{
    static const ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PlayerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"Render Test Player";
        return RegisterClassW(&wc);
    }();
    return atom != 0 ? L"Render Test Player" : nullptr;
}

}  // namespace

std::wstring ClipPath(const wchar_t *name)
{
    return FolderFromEnv(L"RH_MEDIA_DIR") + name;
}

bool HaveClips()
{
    return !FolderFromEnv(L"RH_MEDIA_DIR").empty();
}

PictureDurationValue::PictureDurationValue(const DWORD *seconds)
{
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    DWORD size = sizeof(oldValue_);
    hadValue_ = RegQueryValueExW(key.get(), kDurationValue, nullptr, nullptr,
                                 reinterpret_cast<BYTE *>(&oldValue_), &size) == ERROR_SUCCESS;
    if (seconds != nullptr)
        RegSetValueExW(key.get(), kDurationValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE *>(seconds), sizeof(*seconds));
    else
        RegDeleteValueW(key.get(), kDurationValue);
}

PictureDurationValue::~PictureDurationValue()
{
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    if (hadValue_)
        RegSetValueExW(key.get(), kDurationValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE *>(&oldValue_), sizeof(oldValue_));
    else
        RegDeleteValueW(key.get(), kDurationValue);
}

UniqueWindow CreatePlayerWindow()
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    UniqueWindow window(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, PlayerClass(), L"",
                                        WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr));
    PumpMessages(100);
    return window;
}

UniqueWindow CreateFramedWindow(int clientW, int clientH)
{
    RECT r{0, 0, clientW, clientH};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    UniqueWindow window(CreateWindowExW(WS_EX_TOPMOST, PlayerClass(), L"Render test",
                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                        r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr));
    PumpMessages(100);
    return window;
}

void PumpMessages(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - spent, QS_ALLINPUT);
    }
}

TestItem::TestItem(const std::wstring &file) : name(file), item(DefaultPlaybackItem())
{
    item.fileName = name.data();
    item.style = 0;
}

bool ScreenServiceAvailable()
{
    return !FolderFromEnv(L"RH_SHOT_DIR").empty();
}

bool ScreenColours(const std::vector<POINT> &points, std::vector<Rgb> &colours)
{
    const std::wstring dir = FolderFromEnv(L"RH_SHOT_DIR");
    if (dir.empty())
        return false;
    const std::wstring request = dir + L"req", answer = dir + L"ans";
    {
        std::ofstream out(std::filesystem::path(dir + L"req.tmp"));
        for (const POINT &p : points)
            out << p.x << ' ' << p.y << '\n';
    }
    if (!MoveFileExW((dir + L"req.tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    // The wrapper answers within a second or two; keep the video windows painting meanwhile.
    for (int waited = 0; GetFileAttributesW(answer.c_str()) == INVALID_FILE_ATTRIBUTES; waited += 50) {
        if (waited > 30000)
            return false;
        PumpMessages(50);
    }
    std::ifstream in{std::filesystem::path(answer)};
    colours.clear();
    Rgb c;
    while (in >> c.r >> c.g >> c.b)
        colours.push_back(c);
    in.close();
    DeleteFileW(answer.c_str());
    return colours.size() == points.size();
}
