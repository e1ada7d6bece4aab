// Helper for the run's end-to-end tests: builds playlists through the library's playlist
// object, and runs the saver's run mode with the registry's settings while it logs every
// change of the master volume and mute state.
//   run_tool make PLST FILE...   run_tool run INSTALLFOLDER   run_tool displaychange
#include <windows.h>
#include <mmsystem.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "abi.h"
#include "handles.h"
#include "run_saver.h"
#include "settings.h"
#include "test_kit.h"

using Microsoft::WRL::ComPtr;

namespace {

// The entries in order, with the object's defaults.
int Make(int argc, wchar_t **argv)
{
    ComPtr<IHCYFWPlaylist> playlist;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER, IID_IHCYFWPlaylist,
                                  reinterpret_cast<void **>(playlist.GetAddressOf()));
    for (int i = 3; SUCCEEDED(hr) && i < argc; ++i) {
        PlaybackItem item = DefaultPlaybackItem();
        item.fileName = argv[i];
        hr = playlist->Insert(&item, -1);
    }
    if (SUCCEEDED(hr))
        hr = playlist->Save(argv[2], FALSE);
    if (FAILED(hr))
        printf("make %s\n", HrText(hr).c_str());
    return FAILED(hr) ? 1 : 0;
}

// Reads mixer 0's speakers volume and mute as "volume mute", or "none", through one handle
// opened once. Wine numbers a mixer handle with a count of the process's opens that runs
// into the device bits after 256 opens, so a watcher that opened the mixer per reading
// would soon (and the run's own opens after it) reach another device's controls.
class MixerWatch {
public:
    MixerWatch() { mixerOpen(&mixer_, 0, 0, 0, MIXER_OBJECTF_MIXER); }
    ~MixerWatch() { mixerClose(mixer_); }
    void Describe(char (&text)[32])
    {
        DWORD volume = 0, mute = 0;
        if (Read(MIXERCONTROL_CONTROLTYPE_VOLUME, volume) && Read(MIXERCONTROL_CONTROLTYPE_MUTE, mute))
            snprintf(text, sizeof text, "%lu %d", volume & 0xffff, mute ? 1 : 0);
        else
            snprintf(text, sizeof text, "none");
    }

private:
    bool Read(DWORD type, DWORD &value)
    {
        const auto object = reinterpret_cast<HMIXEROBJ>(mixer_);
        MIXERLINEW line{};
        line.cbStruct = sizeof line;
        line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
        if (mixerGetLineInfoW(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE))
            return false;
        MIXERCONTROLW control{};
        MIXERLINECONTROLSW controls{};
        controls.cbStruct = sizeof controls;
        controls.dwLineID = line.dwLineID;
        controls.dwControlType = type;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof control;
        controls.pamxctrl = &control;
        if (mixerGetLineControlsW(object, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE))
            return false;
        MIXERCONTROLDETAILS details{};
        details.cbStruct = sizeof details;
        details.dwControlID = control.dwControlID;
        details.cChannels = 1;
        details.cbDetails = sizeof value;
        details.paDetails = &value;
        return mixerGetControlDetailsW(object, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) == 0;
    }

    HMIXER mixer_ = nullptr;
};

int Run(const wchar_t *installFolder)
{
    static Settings settings;
    settings.SetDefaults();
    settings.Load();
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        MixerWatch mixer;
        char last[32] = "", now[32];
        while (!done) {
            mixer.Describe(now);
            if (strcmp(now, last) != 0) {
                printf("mixer %s\n", now);
                fflush(stdout);
                strcpy(last, now);
            }
            Sleep(10);
        }
    });
    RunSaver(settings, installFolder);
    done = true;
    watcher.join();
    return 0;
}

}  // namespace

// What every top-level window hears when a monitor comes or goes, sent as Windows sends it.
int DisplayChange()
{
    const LPARAM size = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, size, SMTO_ABORTIFHUNG, 5000, &result);
    return 0;
}

int wmain(int argc, wchar_t **argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"run") == 0)
        return Run(argv[2]);  // joins its own apartment
    ComApartment apartment(COINIT_MULTITHREADED);
    if (argc >= 3 && wcscmp(argv[1], L"make") == 0)
        return Make(argc, argv);
    if (argc == 2 && wcscmp(argv[1], L"displaychange") == 0)
        return DisplayChange();
    fprintf(stderr, "usage: run_tool make PLST FILE... | run INSTALLFOLDER | displaychange\n");
    return 2;
}
