// Times the configuration sheet on a playlist of 5,000 entries: from the start of configure
// mode until the Playlist page shows its rows, and the repaint of a full page of rows after
// a scroll.   bench_config WORK_FOLDER
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "abi.h"
#include "bench_figures.h"
#include "configuration.h"
#include "settings.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kEntries = 5000;

bool MakePlaylist(const std::wstring &path, const std::wstring &folder)
{
    ComPtr<IHCYFWPlaylist> playlist;
    if (FAILED(CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                reinterpret_cast<void **>(playlist.GetAddressOf()))))
        return false;
    for (int n = 0; n < kEntries; ++n) {
        std::wstring name = folder + L"\\clip" + std::to_wstring(n) + (n % 3 ? L".avi" : L".mpg");
        PlaybackItem item = DefaultPlaybackItem();
        item.fileName = name.data();
        item.loops = 1 + n % 7;
        item.rate = 1.0f + (n % 4) * 0.25f;
        if (FAILED(playlist->Insert(&item, -1)))
            return false;
        if (n % 10 == 0) {
            PlaylistPosition failed{0, static_cast<HRESULT>(0x80040216)};
            playlist->SetPosition(&failed, POSITION_RESULT);
        }
    }
    return SUCCEEDED(playlist->Save(path.c_str(), FALSE));
}

struct FindSheet {
    HWND sheet = nullptr;
    static BOOL CALLBACK Visit(HWND window, LPARAM parameter)
    {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            FindWindowExW(window, nullptr, WC_TABCONTROLW, nullptr)) {
            reinterpret_cast<FindSheet *>(parameter)->sheet = window;
            return FALSE;
        }
        return TRUE;
    }
};

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_config WORK_FOLDER\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::wstring folder = argv[1];
    std::wstring list = folder + L"\\bench.plst";
    if (!MakePlaylist(list, folder)) {
        std::fprintf(stderr, "could not write the playlist (is Framewheel.dll registered?)\n");
        return 1;
    }

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halcyra\\Reelhaven");
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Halcyra\\Reelhaven", L"Playlist", REG_SZ, list.c_str(),
                    static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t)));
    Settings settings{};
    settings.SetDefaults();
    settings.Load();

    std::atomic<bool> done{false};
    double start = NowMs();
    std::thread ui([&] {
        RunConfiguration(nullptr, false, settings);
        done = true;
    });

    // Shown: the sheet is visible and the grid holds every row and has painted.
    FindSheet found;
    HWND grid = nullptr;
    double shown = 0;
    while (NowMs() - start < 60000) {
        if (!found.sheet)
            EnumWindows(FindSheet::Visit, reinterpret_cast<LPARAM>(&found));
        if (found.sheet) {
            HWND page = PropSheet_IndexToHwnd(found.sheet, 0);
            grid = page ? GetDlgItem(page, 32775) : nullptr;
            if (grid && IsWindowVisible(grid) && SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) == kEntries) {
                RECT update;
                if (!GetUpdateRect(grid, &update, FALSE)) {
                    shown = NowMs() - start;
                    break;
                }
            }
        }
        Sleep(1);
    }
    if (!shown) {
        std::fprintf(stderr, "the sheet did not show the playlist within 60 s\n");
        return 1;
    }

    // After scrolling a page: the scroll itself (the list control moves its rows and asks for
    // the new ones) and the full repaint of the page, each measured on its own.
    std::vector<double> scrolls, paints;
    int perPage = static_cast<int>(SendMessageW(grid, LVM_GETCOUNTPERPAGE, 0, 0));
    for (int n = 0; n < 40; ++n) {
        double before = NowMs();
        SendMessageW(grid, WM_VSCROLL, MAKEWPARAM(n < 20 ? SB_PAGEDOWN : SB_PAGEUP, 0), 0);
        UpdateWindow(grid);
        double scrolled = NowMs();
        RedrawWindow(grid, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        paints.push_back(NowMs() - scrolled);
        scrolls.push_back(scrolled - before);
    }
    auto summary = [](const std::vector<double> &values) {
        double sum = 0;
        for (double v : values)
            sum += v;
        static char text[96];
        std::snprintf(text, sizeof(text), "mean %.1f ms, median %.1f ms, max %.1f ms", sum / values.size(),
                      Median(values), Worst(values));
        return std::string(text);
    };
    std::string scrollFigures = summary(scrolls);
    std::string paintFigures = summary(paints);

    PostMessageW(found.sheet, WM_COMMAND, IDCANCEL, 0);
    for (int n = 0; n < 500 && !done; ++n)
        Sleep(10);
    if (done)
        ui.join();
    else
        ui.detach();

    std::printf("playlist entries:                  %d\n", kEntries);
    std::printf("sheet shown with its rows:         %.0f ms (target < 2000 ms)\n", shown);
    std::printf("rows per page:                     %d\n", perPage);
    std::printf("page scroll with its own repaint:  %s\n", scrollFigures.c_str());
    std::printf("full repaint of a page of rows:    %s (target < 50 ms)\n", paintFigures.c_str());
    CoUninitialize();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halcyra\\Reelhaven");
    return 0;
}
