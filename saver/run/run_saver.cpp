#include "run_saver.h"

#include <windows.h>
#include <wrl/client.h>

#include <cwchar>
#include <memory>

#include "abi.h"
#include "fw_sink.h"
#include "handles.h"
#include "master_volume.h"
#include "run_shared.h"
#include "settings.h"
#include "video_cache.h"

using Microsoft::WRL::ComPtr;

std::atomic<wchar_t *> g_messageVideoPath{nullptr};
std::atomic<bool> g_monitorOff{false};
wchar_t g_currentItemPath[MAX_PATH];

namespace {

std::atomic<uint32_t> g_randomState{1};

// In-process server and handler, local and remote server: whatever the registration offers.
constexpr DWORD kClassContext = 0x17;

// Takes the position of the item the player shows, so it can be put back after a pause.
PlaybackItem CurrentPosition(IHCYFramewheel *player)
{
    PlaybackItem item = DefaultPlaybackItem();
    if (SUCCEEDED(player->GetItem(&item)))
        CoTaskMemFree(item.fileName);
    item.fileName = nullptr;
    item.validMask = ITEM_POSITION;
    return item;
}

bool IsOlderThanXp()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version))
        return false;
#pragma GCC diagnostic pop
    return version.dwMajorVersion < 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion == 0);
}

DWORD StandbyTimeout()
{
    DWORD idleSeconds = 0;
    if (!ReadPowerTimeouts(&idleSeconds, nullptr, nullptr) || idleSeconds == 0)
        return INFINITE;
    const ULONGLONG milliseconds = static_cast<ULONGLONG>(idleSeconds) * 1000;
    return milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
}

// Suspending needs the shutdown privilege, which a user's token holds but has switched off;
// without it Windows refuses every standby request.
void EnableShutdownPrivilege()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
        return;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// Waits until the sink signals the end; suspends the machine when the power scheme's idle
// time passes meanwhile, and then plays on from the same position.
void WaitForEnd(IHCYFramewheel *player, HANDLE endEvent, DWORD timeout)
{
    for (;;) {
        const DWORD wait = WaitForSingleObject(endEvent, timeout);
        if (wait == WAIT_OBJECT_0) {
            if (g_monitorOff.exchange(false)) {
                // The sink stopped the player when the monitor went off: put the position back.
                PlaybackItem item = CurrentPosition(player);
                (void)player->SetItem(&item);
                (void)player->Play();
            }
            return;
        }
        if (wait == WAIT_TIMEOUT) {
            (void)player->Stop();
            PlaybackItem item = CurrentPosition(player);
            // Returns after the system has resumed, or at once when it refused.
            SetSystemPowerState(TRUE, FALSE);
            (void)player->SetItem(&item);
            (void)player->Play();
        } else if (wait == WAIT_FAILED) {
            return;  // no event to wait on: ending beats spinning
        }
    }
}

}  // namespace

void ChooseStartItem(const Settings &settings, IHCYFWPlaylist *playlist, VideoCache &cache, LONG count,
                     PlaybackItem &item)
{
    const bool messageMode = InMessageVideoMode();
    if (settings.continueWhereStopped && !messageMode &&
        wcscmp(settings.playlist, settings.lastPlaylist) == 0) {
        // The playlist wraps, so whole rounds change nothing.
        const LONG steps = settings.lastTrack > 0 && count > 0 ? settings.lastTrack % count : 0;
        for (LONG i = 0; i < steps; ++i)
            (void)playlist->Next();
        (void)PrepareCurrentItem(settings, playlist, item, cache);
        item.position = settings.lastPosition;
    } else if (settings.randomOrderPlayback && count >= 2) {
        LONG calls = 0;
        LONG r = 0;
        do {
            (void)playlist->Next();
            ++calls;
            r = DrawRandom() % (count - 1) + 1;
        } while (calls < r);
        (void)PrepareCurrentItem(settings, playlist, item, cache);
    } else if (!messageMode) {
        (void)PrepareCurrentItem(settings, playlist, item, cache);
    }
    // The player repeats a lone item by itself instead of reloading it after every play.
    if (count == 1)
        item.loops = 9999;
}

void SeedRandom(uint32_t seed) { g_randomState = seed; }

int DrawRandom()
{
    uint32_t state = g_randomState.load();
    uint32_t next;
    do {
        next = state * 214013u + 2531011u;
    } while (!g_randomState.compare_exchange_weak(state, next));
    return static_cast<int>((next >> 16) & 0x7fff);
}

HRESULT PrepareCurrentItem(const Settings &settings, IHCYFWPlaylist *playlist, PlaybackItem &item,
                           VideoCache &cache)
{
    item.fileName = nullptr;
    const HRESULT hr = playlist->GetCurrentItem(&item);
    cache.Resolve(SUCCEEDED(hr) ? item.fileName : nullptr, g_currentItemPath);
    CoTaskMemFree(item.fileName);
    item.fileName = g_currentItemPath;
    item.xPosition = 0.5;
    item.yPosition = 0.5;
    item.bounceStep = static_cast<double>(settings.bounceStep);
    item.bounceInterval = static_cast<double>(settings.bounceInterval);
    item.style = 0;
    item.blockScreenSaver = 1;
    item.blockMonitorPower = 0;
    item.validMask = ITEM_ALL;
    return hr;
}

bool PrepareMessageVideo(int resource, IHCYFramewheel *player, const Settings &settings, wchar_t *path)
{
    path[0] = L'\0';
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(resource), L"AVI");
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void *bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(nullptr, found) : 0;
    if (!bytes || size == 0)
        return false;

    wchar_t folder[MAX_PATH];
    wchar_t file[MAX_PATH];
    const DWORD folderLength = GetTempPathW(MAX_PATH, folder);
    if (folderLength == 0 || folderLength >= MAX_PATH || !GetTempFileNameW(folder, L"rhm", 0, file))
        return false;
    {
        UniqueHandle out(CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out || !WriteFile(out.get(), bytes, size, &written, nullptr) || written != size) {
            // A partial video would only fail later in the player.
            out.reset();
            DeleteFileW(file);
            return false;
        }
    }
    wcscpy(path, file);

    // The message drifts across the whole desktop at its own size, without end.
    PlaybackItem item = DefaultPlaybackItem();
    item.bounceStep = static_cast<double>(settings.bounceStep);
    item.bounceInterval = static_cast<double>(settings.bounceInterval);
    item.fileName = path;
    item.loops = 0;
    item.scaleToScreen = 0;
    item.bounce = 1;
    item.perMonitor = 0;
    item.blockScreenSaver = 1;
    return SUCCEEDED(player->SetItem(&item));
}

bool EnterMessageVideoMode(IHCYFramewheel *player, const Settings &settings)
{
    auto buffer = std::make_unique<wchar_t[]>(MAX_PATH);
    wchar_t *path = buffer.get();
    wchar_t *none = nullptr;
    if (!g_messageVideoPath.compare_exchange_strong(none, path))
        return true;  // already showing it
    buffer.release();
    return PrepareMessageVideo(kMessageVideoResource, player, settings, path);
}

void LeaveMessageVideoMode()
{
    std::unique_ptr<wchar_t[]> buffer(g_messageVideoPath.exchange(nullptr));
    if (buffer && buffer[0] != L'\0')
        DeleteFileW(buffer.get());
}

void RunSaver(Settings &settings, const wchar_t *installFolder)
{
    ComApartment apartment(COINIT_MULTITHREADED);
    ComPtr<IHCYFramewheel> player;
    ComPtr<IHCYFWPlaylist> playlist;
    (void)CoCreateInstance(CLSID_Framewheel, nullptr, kClassContext, IID_IHCYFramewheel,
                           reinterpret_cast<void **>(player.GetAddressOf()));
    (void)CoCreateInstance(CLSID_Playlist, nullptr, kClassContext, IID_IHCYFWPlaylist,
                           reinterpret_cast<void **>(playlist.GetAddressOf()));
    UniqueHandle endEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    // Without the library or an event there is nothing to show and nothing to wait for.
    if (!player || !playlist || !endEvent)
        return;

    const WORD savedVolume = GetMasterVolume();
    const bool savedMute = GetMasterMute();
    SetMasterVolume(PercentToMixerVolume(settings.masterVolume));
    SetMasterMute(false);
    auto restoreVolume = [&] {
        SetMasterVolume(savedVolume);
        SetMasterMute(savedMute);
    };

    VideoCache cache;
    cache.Start(installFolder, settings);
    g_monitorOff = false;
    FwSink::ResetMouseReference();

    ComPtr<IHCYFramewheelEventSink> sink;
    (void)(new FwSink(settings, playlist.Get(), endEvent.get(), &cache))
        ->QueryInterface(IID_IHCYFramewheelEventSink, reinterpret_cast<void **>(sink.GetAddressOf()));
    LONGLONG cookie = 0;
    (void)player->Advise(sink.Get(), EVENT_ALL, &cookie);

    wchar_t playlistPath[MAX_PATH];
    cache.Resolve(settings.playlist, playlistPath);
    LONG count = 0;
    const HRESULT loaded = playlist->Load(playlistPath);
    (void)playlist->GetCount(&count);
    if (FAILED(loaded) || count == 0) {
        if (!EnterMessageVideoMode(player.Get(), settings)) {
            LeaveMessageVideoMode();
            (void)player->Unadvise(cookie);
            sink.Reset();
            endEvent.reset();
            playlist.Reset();
            player.Reset();
            restoreVolume();
            return;  // the cache stops as it goes; the apartment is left after it
        }
    }

    const bool messageMode = InMessageVideoMode();
    if (!messageMode) {
        // A file that failed last time is tried again.
        for (LONG i = 0; i < count; ++i) {
            PlaylistPosition position{};
            (void)playlist->GetPosition(&position);
            position.playResult = S_OK;
            (void)playlist->SetPosition(&position, POSITION_RESULT);
            (void)playlist->Next();
        }
    }

    SeedRandom(GetTickCount());
    (void)playlist->GetCount(&count);
    PlaybackItem item = DefaultPlaybackItem();
    item.fileName = nullptr;
    ChooseStartItem(settings, playlist.Get(), cache, count, item);
    if (!messageMode)
        (void)player->SetItem(&item);

    ComPtr<IHCYFramewheel2> player2;
    (void)player.As(&player2);
    if (player2 && (IsOlderThanXp() || settings.useClassicVideoRenderer))
        (void)player2->UseClassicVideoRenderer();
    if (player2 && settings.useSingleRendererDesktopMode)
        (void)player2->UseSingleRendererDesktopMode();
    player2.Reset();

    (void)player->Play();
    const DWORD timeout = StandbyTimeout();
    if (timeout != INFINITE)
        EnableShutdownPrivilege();
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0);
    WaitForEnd(player.Get(), endEvent.get(), timeout);
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, nullptr, 0);

    (void)player->Stop();
    restoreVolume();
    if (settings.continueWhereStopped && !InMessageVideoMode()) {
        settings.lastPosition = CurrentPosition(player.Get()).position;
        PlaylistPosition position{};
        if (SUCCEEDED(playlist->GetPosition(&position)))
            settings.lastTrack = position.index;
        wcsncpy(settings.lastPlaylist, settings.playlist, std::size(settings.lastPlaylist) - 1);
        settings.lastPlaylist[std::size(settings.lastPlaylist) - 1] = L'\0';
        (void)settings.Save(true);
    } else {
        (void)settings.Save(false);
    }
    // The file named in the settings, not a cached copy; an empty playlist writes nothing.
    (void)playlist->Save(settings.playlist, FALSE);

    (void)player->Unadvise(cookie);
    sink.Reset();
    endEvent.reset();
    playlist.Reset();
    player.Reset();
    LeaveMessageVideoMode();
    // Leaving COM and then stopping the cache happen as the apartment and cache go.
}
