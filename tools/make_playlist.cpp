// Writes a .plst playlist through the installed player library's playlist object, as the
// configuration dialog does. Options apply to the files that follow them.
//   make_playlist OUT.plst [--loops N] [--size 0..6] [--bounce|--no-bounce]
//                 [--monitor|--desktop] [--volume N] [--speed X] FILE...
#include <windows.h>

#include <wrl/client.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "abi.h"
#include "handles.h"

namespace {

// The size modes as the playlist stores them: scaleToScreen, keepAspect, scale.
struct SizeFields {
    BYTE scaleToScreen;
    BYTE keepAspect;
    float scale;
};
constexpr SizeFields kSizeModes[7] = {{1, 1, 1.0f},  {1, 0, 1.0f}, {1, 1, 0.75f}, {1, 1, 0.5f},
                                      {1, 1, 0.25f}, {0, 1, 1.0f}, {0, 1, 2.0f}};

int Usage()
{
    std::fprintf(stderr, "usage: make_playlist OUT.plst [--loops N] [--size 0..6] [--bounce|--no-bounce]"
                         " [--monitor|--desktop] [--volume N] [--speed X] FILE...\n");
    return 64;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3)
        return Usage();
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> playlist;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_ALL, IID_IHCYFWPlaylist,
                                  reinterpret_cast<void **>(playlist.GetAddressOf()));
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_playlist: no playlist object (0x%08lx); is Reelhaven installed?\n",
                     static_cast<unsigned long>(hr));
        return 1;
    }

    // Fields as the configuration dialog hands them over: all others, validMask too, zero.
    PlaybackItem item{};
    item.loops = 1;
    item.volume = 100;
    item.rate = 1.0f;
    item.perMonitor = 1;
    int size = 0;
    int added = 0;
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--loops" && hasValue)
            item.loops = _wtoi(argv[++i]);
        else if (arg == L"--size" && hasValue)
            size = _wtoi(argv[++i]) % 7;
        else if (arg == L"--volume" && hasValue)
            item.volume = _wtoi(argv[++i]);
        else if (arg == L"--speed" && hasValue)
            item.rate = static_cast<float>(_wtof(argv[++i]));
        else if (arg == L"--bounce" || arg == L"--no-bounce")
            item.bounce = arg == L"--bounce";
        else if (arg == L"--monitor" || arg == L"--desktop")
            item.perMonitor = arg == L"--monitor";
        else if (arg.rfind(L"--", 0) == 0)
            return Usage();
        else {
            wchar_t path[MAX_PATH];
            if (!GetFullPathNameW(argv[i], MAX_PATH, path, nullptr))
                return Usage();
            item.fileName = path;
            item.scaleToScreen = kSizeModes[size].scaleToScreen;
            item.keepAspect = kSizeModes[size].keepAspect;
            item.scale = kSizeModes[size].scale;
            hr = playlist->Insert(&item, -1);
            if (FAILED(hr)) {
                std::fprintf(stderr, "make_playlist: Insert failed (0x%08lx)\n",
                             static_cast<unsigned long>(hr));
                return 1;
            }
            ++added;
        }
    }
    hr = playlist->Save(argv[1], FALSE);
    if (FAILED(hr)) {
        std::fprintf(stderr, "make_playlist: Save failed (0x%08lx)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("%d item(s) written to %ls\n", added, argv[1]);
    return 0;
}
