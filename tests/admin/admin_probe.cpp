// Helper of the administration tests, run under Wine:
//   read LIST.plst   loads the playlist with the library's playlist object and prints each
//                    entry (UTF-8) as "file|loops|scaleToScreen|keepAspect|scale|bounce|volume|
//                    perMonitor|rate|playResult", then "count N"; exit 1 when Load fails
//   options MS       waits for the configuration sheet, opens its Options page, prints the
//                    master volume and bounce speed sliders' positions and cancels the sheet
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <wrl/client.h>

#include <cstdio>
#include <cwchar>

#include "abi.h"
#include "handles.h"
#include "test_kit.h"

namespace {

int Read(const wchar_t *path)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> list;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IHCYFWPlaylist, reinterpret_cast<void **>(list.GetAddressOf()));
    if (FAILED(hr) || FAILED(hr = list->Load(path))) {
        std::printf("load 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    LONG count = 0;
    list->GetCount(&count);
    for (LONG i = 0; i < count; ++i, list->Next()) {
        PlaybackItem item{};
        PlaylistPosition position{};
        list->GetCurrentItem(&item);
        CoTaskString name(item.fileName);
        list->GetPosition(&position);
        char file[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, item.fileName, -1, file, sizeof(file) - 1, nullptr,
                            nullptr);
        std::printf("%s|%ld|%d|%d|%g|%d|%ld|%d|%g|%ld\n", file, item.loops,
                    item.scaleToScreen, item.keepAspect, static_cast<double>(item.scale),
                    item.bounce, item.volume, item.perMonitor, static_cast<double>(item.rate),
                    static_cast<long>(position.playResult));
    }
    std::printf("count %ld\n", count);
    return 0;
}

// The page dialog of the sheet that holds control id.
HWND PageWith(HWND sheet, int id)
{
    for (HWND page = FindWindowExW(sheet, nullptr, L"#32770", nullptr); page;
         page = FindWindowExW(sheet, page, L"#32770", nullptr)) {
        if (GetDlgItem(page, id))
            return page;
    }
    return nullptr;
}

int Options(DWORD timeout)
{
    const HWND sheet = WaitForWindow(FindPropertySheet, timeout);
    if (!sheet) {
        std::printf("no sheet\n");
        return 2;
    }
    PostMessageW(sheet, PSM_SETCURSEL, 1, 0);
    const HWND page = WaitForWindow([sheet] { return PageWith(sheet, 1022); }, timeout);
    int code = 0;
    if (!page) {
        std::printf("no Options page\n");
        code = 2;
    } else {
        std::printf("master-volume %ld\nbounce-speed %ld\n",
                    static_cast<long>(SendDlgItemMessageW(page, 1014, TBM_GETPOS, 0, 0)),
                    static_cast<long>(SendDlgItemMessageW(page, 1022, TBM_GETPOS, 0, 0)));
    }
    PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    return code;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"read") == 0)
        return Read(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"options") == 0)
        return Options(static_cast<DWORD>(_wtoi(argv[2])));
    std::fprintf(stderr, "usage: admin_probe read LIST.plst | options TIMEOUT_MS\n");
    return 64;
}
