#include "run_saver.h"

#include <windows.h>
#include <wrl/client.h>

#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "abi.h"
#include "fw_sink.h"
#include "handles.h"
#include "input_window.h"
#include "mixer.h"
#include "monitor_choice.h"
#include "settings.h"
#include "show.h"
#include "video_cache.h"
#include "windows_version.h"

using Microsoft::WRL::ComPtr;

namespace {

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

// Windows 2000 and older ship no video mixing renderer: there the player keeps to the
// classic one. The 64-bit program never runs there; the test stays because Wine can report
// those version numbers.
bool IsOlderThanXp()
{
    const WindowsVersion version = GetWindowsVersion();
    return version.major < 5 || (version.major == 5 && version.minor == 0);
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

// Each monitor its own video: the players after the main one, each with its sink's cookie.
struct OtherPlayer {
    ComPtr<IHCYFramewheel> player;
    LONGLONG cookie = 0;
};

// Waits until the sink signals the end; suspends the machine when the power scheme's idle
// time passes meanwhile, and then plays on from the same positions. players: the main
// one first; the others only once the start is done with them.
void WaitForEnd(const std::vector<IHCYFramewheel *> &players, Show &show, HANDLE endEvent, DWORD timeout)
{
    IHCYFramewheel *const player = players.front();
    for (;;) {
        const DWORD wait = WaitForSingleObject(endEvent, timeout);
        if (wait == WAIT_OBJECT_0) {
            if (show.monitorOff.exchange(false)) {
                // The sink stopped the player when the monitor went off: put the position back.
                PlaybackItem item = CurrentPosition(player);
                (void)player->SetItem(&item);
                (void)player->Play();
            }
            return;
        }
        if (wait == WAIT_TIMEOUT) {
            std::vector<PlaybackItem> items;
            try {
                items.reserve(players.size());
            } catch (const std::bad_alloc &) {
                // Then nothing stops: the players play on through the standby.
            }
            if (items.capacity() >= players.size()) {
                for (IHCYFramewheel *each : players) {
                    (void)each->Stop();
                    items.push_back(CurrentPosition(each));
                }
            }
            // Returns after the system has resumed, or at once when it refused.
            SetSystemPowerState(TRUE, FALSE);
            for (size_t i = 0; i < items.size(); ++i) {
                (void)players[i]->SetItem(&items[i]);
                (void)players[i]->Play();
            }
        } else if (wait == WAIT_FAILED) {
            return;  // no event to wait on: ending beats spinning
        }
    }
}

// Reads a file from end to end, only to wait for it. A playlist path can name a device or
// a pipe that never answers, or a share that takes long; every call to the playlist object
// goes through one thread of COM's, so such a wait inside Load would hold up every other
// call too. Here it holds up only the thread that starts playback.
void ReadThrough(const std::wstring &path)
{
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;  // Load reports it
    static char buffer[64 * 1024];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
}

// What the run's thread and the thread that starts playback share. Each holds it through a
// shared_ptr: a start stuck in the system keeps alive what it uses after the run has ended.
struct RunStart {
    enum class Phase { Opening, Playing, Failed };

    explicit RunStart(Settings &runSettings) : settings(runSettings) {}

    Settings &settings;
    ComPtr<IHCYFramewheel> player;
    ComPtr<IHCYFWPlaylist> playlist;
    UniqueHandle endEvent;
    VideoCache cache;
    std::optional<Show> show; // made once the playlist is there
    ComPtr<IHCYFramewheelEventSink> sinkInterface;
    std::vector<OtherPlayer> others;  // each monitor its own video: monitors 2 on
    UniqueHandle done;  // set when the start has played, failed or given up

    // Held for each step of the start that changes the player or the playlist, never
    // across one that may wait on a file.
    std::mutex lock;
    bool ended = false;
    bool loaded = false;  // the playlist was read: it may be written back
    Phase phase = Phase::Opening;

    void Start();
    // Each monitor its own video: a player for every chosen monitor after the main one,
    // told its monitor and given its start item; the main player is told its own. False
    // (and nothing changed) when one player plays as always.
    bool StartOtherPlayers(std::unique_lock<std::mutex> &guard);
    static DWORD WINAPI Main(void *parameter);
};

DWORD WINAPI RunStart::Main(void *parameter)
{
    std::unique_ptr<std::shared_ptr<RunStart>> owner(static_cast<std::shared_ptr<RunStart> *>(parameter));
    const std::shared_ptr<RunStart> start = *owner;
    {
        ComApartment apartment(COINIT_MULTITHREADED);
        start->Start();
    }
    SetEvent(start->done.get());
    return 0;
}

// Keeps the player to the areas (none: the whole desktop again), where it can be told.
HRESULT SetOutputAreas(IHCYFramewheel *player, UINT count, const RECT *areas)
{
    ComPtr<IHCYFramewheel4> player4;
    HRESULT hr = player->QueryInterface(IID_IHCYFramewheel4, reinterpret_cast<void **>(player4.GetAddressOf()));
    if (SUCCEEDED(hr))
        hr = player4->SetOutputAreas(count, areas);
    return hr;
}

// With the "Monitors" setting leaving monitors out, the player keeps to the chosen ones;
// the run's own window keeps the others black and takes their input. With every monitor
// chosen the player is not told, so the run is today's.
// Out of memory, every monitor plays.
void ConfineToChosenMonitors(IHCYFramewheel *player, const Settings &settings)
{
    std::vector<RECT> areas;
    try {
        const std::vector<DisplayMonitor> present = PresentMonitors();
        const std::vector<DisplayMonitor> chosen = ChooseMonitors(settings.monitors, present);
        if (chosen.empty() || chosen.size() == present.size())
            return;
        for (const DisplayMonitor &monitor : chosen)
            areas.push_back(monitor.area);
    } catch (const std::bad_alloc &) {
        return;
    }
    (void)SetOutputAreas(player, static_cast<UINT>(areas.size()), areas.data());
}

// The monitors that play a video each: the chosen ones, main monitor first, when "Each
// Monitor Own Video" is on and more than one is chosen. Empty otherwise, and out of memory.
std::vector<RECT> OwnVideoAreas(const Settings &settings)
{
    std::vector<RECT> areas;
    if (!settings.eachMonitorOwnVideo)
        return areas;
    try {
        for (const DisplayMonitor &monitor : ChooseMonitors(settings.monitors, PresentMonitors()))
            areas.push_back(monitor.area);
    } catch (const std::bad_alloc &) {
        areas.clear();
    }
    if (areas.size() < 2 || areas.size() > Show::kMaxLanes)
        areas.clear();
    return areas;
}

void UseRendererOptions(IHCYFramewheel *player, const Settings &settings)
{
    ComPtr<IHCYFramewheel2> player2;
    (void)player->QueryInterface(IID_IHCYFramewheel2, reinterpret_cast<void **>(player2.GetAddressOf()));
    if (player2 && (IsOlderThanXp() || settings.useClassicVideoRenderer))
        (void)player2->UseClassicVideoRenderer();
    if (player2 && settings.useSingleRendererDesktopMode)
        (void)player2->UseSingleRendererDesktopMode();
}

// Until the player's item has begun to play (its position moves), or a few seconds pass.
// Under Wine the first items of several players opened at once sometimes never show,
// though their graphs run: the others therefore open after the main one.
void WaitForFirstPicture(IHCYFramewheel *player)
{
    constexpr DWORD kLimitMs = 5000, kPollMs = 50;
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < kLimitMs) {
        if (CurrentPosition(player).position > 0.0)
            return;
        Sleep(kPollMs);
    }
}

bool RunStart::StartOtherPlayers(std::unique_lock<std::mutex> &guard)
{
    const std::vector<RECT> areas = OwnVideoAreas(settings);
    if (areas.empty() || show->InMessageVideo())
        return false;
    std::vector<OtherPlayer> made;  // let go again on every way out below but the last
    std::vector<IHCYFramewheel *> players{player.Get()};
    std::vector<ShowItem> starts;
    try {
        for (size_t i = 1; i < areas.size(); ++i) {
            OtherPlayer other;
            if (FAILED(CoCreateInstance(CLSID_Framewheel, nullptr, kClassContext, IID_IHCYFramewheel,
                                        reinterpret_cast<void **>(other.player.GetAddressOf()))) ||
                FAILED(SetOutputAreas(other.player.Get(), 1, &areas[i])))
                return false;
            UseRendererOptions(other.player.Get(), settings);
            players.push_back(other.player.Get());
            made.push_back(std::move(other));
        }
        if (FAILED(SetOutputAreas(player.Get(), 1, &areas[0])))
            return false;
        starts = show->SpreadLanes(players);
    } catch (const std::bad_alloc &) {
        starts.clear();
    }
    // The lanes are spread only when every player has its start item.
    if (starts.size() + 1 != players.size()) {
        (void)SetOutputAreas(player.Get(), 0, nullptr);
        return false;
    }
    // From here on the show hands these players items: they stay the run's until its end.
    others.swap(made);
    guard.unlock();
    // Copies, if due, are made in the background.
    for (ShowItem &start : starts)
        start.item.fileName = cache.Resolve(start.item.fileName.c_str());
    guard.lock();
    if (ended)
        return true;
    for (size_t i = 0; i < others.size(); ++i) {
        IHCYFramewheel *const other = others[i].player.Get();
        (void)other->Advise(sinkInterface.Get(), EVENT_ALL, &others[i].cookie);
        const PlaybackItem record = starts[i].item.Record();
        (void)other->SetItem(&record);
    }
    return true;
}

void RunStart::Start()
{
    // A playlist on a network drive is played from its local copy when caching is on.
    const std::wstring path = cache.Resolve(settings.playlist);
    ReadThrough(path);
    const HRESULT loaded = playlist->Load(path.c_str());

    std::unique_lock<std::mutex> guard(lock);
    if (ended)
        return;
    LONG count = 0;
    (void)playlist->GetCount(&count);
    this->loaded = SUCCEEDED(loaded);
    if (FAILED(loaded) || count == 0) {
        if (!show->EnterMessageVideo(player.Get())) {
            phase = Phase::Failed;
            return;
        }
    }

    const bool messageMode = show->InMessageVideo();
    if (!messageMode)
        show->ForgetResults();

    show->Seed(GetTickCount());
    (void)playlist->GetCount(&count);
    ShowItem item = show->ChooseStart(count);
    if (!messageMode) {
        guard.unlock();
        // A copy, if one is due, is made in the background.
        item.item.fileName = cache.Resolve(item.item.fileName.c_str());
        guard.lock();
        if (ended)
            return;
        const PlaybackItem record = item.item.Record();
        (void)player->SetItem(&record);
    }

    UseRendererOptions(player.Get(), settings);
    if (!StartOtherPlayers(guard))
        ConfineToChosenMonitors(player.Get(), settings);
    if (ended)
        return;

    (void)player->Play();
    if (!others.empty()) {
        // Their items are set, so a show that falls back to the message video meanwhile
        // hands them that instead.
        guard.unlock();
        WaitForFirstPicture(player.Get());
        guard.lock();
        if (ended)
            return;
    }
    for (OtherPlayer &other : others)
        (void)other.player->Play();
    phase = Phase::Playing;
    show->Playing(player.Get());
    guard.unlock();
    show->PrepareFollowing(player.Get());
    for (OtherPlayer &other : others)
        show->PrepareFollowing(other.player.Get());
}

}  // namespace

void RunSaver(Settings &settings, const wchar_t *installFolder)
{
    ComApartment apartment(COINIT_MULTITHREADED);
    auto start = std::make_shared<RunStart>(settings);
    (void)CoCreateInstance(CLSID_Framewheel, nullptr, kClassContext, IID_IHCYFramewheel,
                           reinterpret_cast<void **>(start->player.GetAddressOf()));
    (void)CoCreateInstance(CLSID_Playlist, nullptr, kClassContext, IID_IHCYFWPlaylist,
                           reinterpret_cast<void **>(start->playlist.GetAddressOf()));
    start->endEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    start->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    IHCYFramewheel *const player = start->player.Get();
    IHCYFWPlaylist *const playlist = start->playlist.Get();
    // Without the library or an event there is nothing to show and nothing to wait for.
    if (!player || !playlist || !start->endEvent || !start->done)
        return;

    const WORD savedVolume = GetMasterVolume();
    const bool savedMute = GetMasterMute();
    SetMasterVolume(PercentToMixerVolume(settings.masterVolume));
    SetMasterMute(false);
    auto restoreVolume = [&] {
        SetMasterVolume(savedVolume);
        SetMasterMute(savedMute);
    };

    start->cache.Start(installFolder, settings);
    Show &show = start->show.emplace(settings, playlist, start->cache);

    auto *sink = new FwSink(settings, show, start->endEvent.get());
    (void)sink->QueryInterface(IID_IHCYFramewheelEventSink,
                               reinterpret_cast<void **>(start->sinkInterface.GetAddressOf()));
    LONGLONG cookie = 0;
    (void)player->Advise(start->sinkInterface.Get(), EVENT_ALL, &cookie);

    InputWindow inputWindow;
    inputWindow.Open(sink);
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, nullptr, 0);

    // Loading and the first item's preparation may wait on files; they run on a thread of
    // their own so that this one can end the run whenever input comes.
    bool started = false;
    {
        auto *owner = new std::shared_ptr<RunStart>(start);
        UniqueHandle thread(CreateThread(nullptr, 0, &RunStart::Main, owner, 0, nullptr));
        if (thread) {
            const HANDLE waits[] = {start->endEvent.get(), start->done.get()};
            started = WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
        } else {
            delete owner;
            start->Start();
            SetEvent(start->done.get());
            started = true;
        }
    }
    RunStart::Phase phase;
    bool loaded;
    // Every player, the main one first; with a video of its own on each monitor, the others
    // too, as the start made them.
    std::vector<IHCYFramewheel *> players;
    auto takePlayers = [&] {
        try {
            players.assign(1, player);
            for (const OtherPlayer &other : start->others)
                players.push_back(other.player.Get());
        } catch (const std::bad_alloc &) {
            // The others then only end as they are let go.
        }
    };
    {
        std::lock_guard<std::mutex> guard(start->lock);
        phase = start->phase;
        takePlayers();
    }
    if (started && phase != RunStart::Phase::Failed && !players.empty()) {
        const DWORD timeout = StandbyTimeout();
        if (timeout != INFINITE)
            EnableShutdownPrivilege();
        WaitForEnd(players, show, start->endEvent.get(), timeout);
    }
    // A copy in progress stops while the rest of the run ends, not after it: it would
    // otherwise go on writing, and hold up the process's end, until Stop.
    start->cache.Cancel();
    inputWindow.Close();
    SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, nullptr, 0);
    {
        std::lock_guard<std::mutex> guard(start->lock);
        start->ended = true;
        phase = start->phase;
        loaded = start->loaded;
        takePlayers();  // no more are made once the run has ended
    }

    (void)player->Stop();
    for (size_t i = 1; i < players.size(); ++i)
        (void)players[i]->Stop();
    restoreVolume();
    if (phase != RunStart::Phase::Failed) {
        if (settings.continueWhereStopped && phase == RunStart::Phase::Playing && !show.InMessageVideo()) {
            settings.lastPosition = CurrentPosition(player).position;
            const LONG track = show.CurrentEntry();
            if (track >= 0)
                settings.lastTrack = track;
            wcsncpy(settings.lastPlaylist, settings.playlist, std::size(settings.lastPlaylist) - 1);
            settings.lastPlaylist[std::size(settings.lastPlaylist) - 1] = L'\0';
            (void)settings.Save(true);
        } else {
            (void)settings.Save(false);
        }
        // The file named in the settings, not a cached copy; an empty playlist writes
        // nothing, and a playlist that was never read is not written either.
        if (loaded)
            (void)playlist->Save(settings.playlist, FALSE);
    }

    // Unadvise returns once a call to the sink under way has returned: from here on no sink
    // call hands any player an item, so the players may go in any order.
    (void)player->Unadvise(cookie);
    {
        std::lock_guard<std::mutex> guard(start->lock);
        for (const OtherPlayer &other : start->others)
            (void)other.player->Unadvise(other.cookie);
    }
    if (WaitForSingleObject(start->done.get(), 0) != WAIT_OBJECT_0) {
        // The start waits on a file that does not answer (a device, a pipe, a share gone
        // quiet): it keeps its references to the objects, and the process ends without
        // waiting for it; ending the process ends that thread too.
        show.LeaveMessageVideo();
        start->cache.Stop();
        return;
    }
    start->sinkInterface.Reset();
    start->endEvent.reset();
    start->playlist.Reset();
    start->others.clear();
    start->player.Reset();
    // Once the player has let go of it.
    show.LeaveMessageVideo();
    start->show.reset();
    start->cache.Stop();
    // Leaving COM happens as the apartment goes.
}
