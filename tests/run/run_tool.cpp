// Helper for the run's end-to-end test: builds and reads playlists through the library's
// playlist object, and runs the saver's run mode with the registry's
// settings while it logs every change of the master volume and mute state.
//   run_tool make PLST FILE[*LOOPS]...   run_tool results PLST   run_tool run INSTALLFOLDER
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <thread>

#include "abi.h"
#include "handles.h"
#include "master_volume.h"
#include "run_saver.h"
#include "settings.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IHCYFWPlaylist> NewPlaylist()
{
    ComPtr<IHCYFWPlaylist> playlist;
    const HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER, IID_IHCYFWPlaylist,
                                        reinterpret_cast<void **>(playlist.GetAddressOf()));
    if (FAILED(hr))
        printf("create playlist 0x%08lx\n", static_cast<unsigned long>(hr));
    return playlist;
}

int Make(int argc, wchar_t **argv)
{
    ComPtr<IHCYFWPlaylist> playlist = NewPlaylist();
    if (!playlist)
        return 2;
    for (int i = 3; i < argc; ++i) {
        PlaybackItem item = DefaultPlaybackItem();
        wchar_t *loops = wcschr(argv[i], L'*');
        if (loops) {
            *loops = L'\0';
            item.loops = _wtoi(loops + 1);
        }
        item.fileName = argv[i];
        (void)playlist->Insert(&item, -1);
    }
    const HRESULT hr = playlist->Save(argv[2], FALSE);
    if (FAILED(hr))
        printf("save 0x%08lx\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? 1 : 0;
}

int Results(const wchar_t *path)
{
    ComPtr<IHCYFWPlaylist> playlist = NewPlaylist();
    if (!playlist)
        return 2;
    const HRESULT hr = playlist->Load(path);
    if (FAILED(hr)) {
        printf("load 0x%08lx\n", static_cast<unsigned long>(hr));
        return 0;
    }
    LONG count = 0;
    (void)playlist->GetCount(&count);
    for (LONG i = 0; i < count; ++i, (void)playlist->Next()) {
        PlaylistPosition position{};
        (void)playlist->GetPosition(&position);
        printf("%ld 0x%08lx\n", position.index, static_cast<unsigned long>(position.playResult));
    }
    return 0;
}

int Run(const wchar_t *installFolder)
{
    static Settings settings;
    settings.SetDefaults();
    settings.Load();
    printf("before %u %d\n", GetMasterVolume(), GetMasterMute() ? 1 : 0);
    fflush(stdout);
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        unsigned last = 0x10000;
        int lastMute = -1;
        while (!done) {
            const unsigned volume = GetMasterVolume();
            const int mute = GetMasterMute() ? 1 : 0;
            if (volume != last || mute != lastMute) {
                printf("mixer %u %d\n", volume, mute);
                fflush(stdout);
                last = volume;
                lastMute = mute;
            }
            Sleep(20);
        }
    });
    RunSaver(settings, installFolder);
    done = true;
    watcher.join();
    printf("after %u %d\n", GetMasterVolume(), GetMasterMute() ? 1 : 0);
    fflush(stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"run") == 0)
        return Run(argv[2]);  // joins its own apartment
    ComApartment apartment(COINIT_MULTITHREADED);
    if (argc >= 3 && wcscmp(argv[1], L"make") == 0)
        return Make(argc, argv);
    if (argc == 3 && wcscmp(argv[1], L"results") == 0)
        return Results(argv[2]);
    fprintf(stderr, "usage: run_tool make|results|run ...\n");
    return 2;
}
