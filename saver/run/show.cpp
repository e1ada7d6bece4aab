#include "show.h"

#include <wrl/client.h>

#include <chrono>
#include <cwchar>
#include <utility>

#include "handles.h"
#include "settings.h"
#include "video_cache.h"

using Microsoft::WRL::ComPtr;

int RandomDraws::Draw()
{
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fff);
}

LONG RandomDraws::Steps(LONG count, LONG first)
{
    LONG steps = first;
    while (steps < Draw() % (count - 1) + first)
        ++steps;
    return steps;
}

Show::Show(const Settings &settings, IHCYFWPlaylist *playlist, VideoCache &cache)
    : settings_(settings), playlist_(playlist), cache_(cache)
{
}

Show::~Show() { LeaveMessageVideo(); }

void Show::Seed(uint32_t seed)
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    random_.Seed(seed);
}

LONG Show::Count()
{
    LONG count = 0;
    (void)playlist_->GetCount(&count);
    return count;
}

LONG Show::CurrentIndex()
{
    PlaylistPosition position{-1, 0};
    return SUCCEEDED(playlist_->GetPosition(&position)) ? position.index : -1;
}

bool Show::Failed(LONG entry) const
{
    return entry >= 0 && entry < static_cast<LONG>(failed_.size()) && failed_[entry];
}

void Show::ForgetResults()
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    const LONG count = Count();
    for (LONG i = 0; i < count; ++i) {
        PlaylistPosition position{};
        (void)playlist_->GetPosition(&position);
        position.playResult = S_OK;
        (void)playlist_->SetPosition(&position, POSITION_RESULT);
        (void)playlist_->Next();
    }
    failed_.assign(count, 0);
}

LONG Show::NextEntry(LONG current, Move move, LONG steps, LONG count) const
{
    if (count <= 0)
        return -1;
    if (move == Move::Forward)
        return (current + 1) % count;
    if (move == Move::Back)
        return (current + count - 1) % count;
    const LONG start = (current + steps) % count;
    const bool apart = settings_.randomOrderPlayback && lanes_.size() > 1 &&
                       count > static_cast<LONG>(lanes_.size());
    for (int pass = apart ? 0 : 1; pass < 2; ++pass) {
        for (LONG i = 1; i <= count; ++i) {
            const LONG entry = (start + i) % count;
            if (pass == 0 && ShownElsewhere(entry))
                continue;
            if (entry == current ? move == Move::Prepared || !Failed(entry) : !Failed(entry))
                return entry;
        }
    }
    return -1;
}

bool Show::ShownElsewhere(LONG entry) const
{
    for (size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (lane != active_ && lanes_[lane].cursor == entry)
            return true;
    }
    return false;
}

size_t Show::LaneOf(IHCYFramewheel *player) const
{
    if (lanes_.size() == 1)
        return 0;
    for (size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (lanes_[lane].player == player)
            return lane;
    }
    return kNoLane;
}

void Show::Park(size_t lane)
{
    if (lane == active_)
        return;
    Active().cursor = CurrentIndex();
    MoveTo(Active().cursor, lanes_[lane].cursor, Count());
    active_ = lane;
}

// The playlist wraps: the shorter way round.
void Show::MoveTo(LONG from, LONG to, LONG count)
{
    if (count <= 0)
        return;
    const LONG ahead = ((to - from) % count + count) % count;
    if (ahead <= count - ahead) {
        for (LONG i = 0; i < ahead; ++i)
            (void)playlist_->Next();
    } else {
        for (LONG i = 0; i < count - ahead; ++i)
            (void)playlist_->Previous();
    }
}

ShowItem Show::ReadCurrent()
{
    ShowItem entry;
    PlaybackItem record = DefaultPlaybackItem();
    record.fileName = nullptr;
    entry.read = playlist_->GetCurrentItem(&record);
    CoTaskString name(record.fileName); // the playlist's copy, freed here
    if (FAILED(entry.read))
        record = DefaultPlaybackItem();
    entry.item.Assign(record);
    entry.index = CurrentIndex();
    PlaybackItem &item = entry.item.fields;
    item.xPosition = 0.5;
    item.yPosition = 0.5;
    item.bounceStep = static_cast<double>(settings_.bounceStep);
    item.bounceInterval = static_cast<double>(settings_.bounceInterval);
    item.style = 0;
    item.blockScreenSaver = 1;
    item.blockMonitorPower = 0;
    item.validMask = ITEM_ALL;
    // Only the main monitor is heard: several soundtracks at once are noise.
    if (active_ > 0)
        item.volume = 0;
    return entry;
}

ShowItem Show::ChooseStart(LONG count)
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    ShowItem start;
    const bool messageMode = InMessageVideo();
    if (settings_.continueWhereStopped && !messageMode &&
        wcscmp(settings_.playlist, settings_.lastPlaylist) == 0) {
        // The playlist wraps, so whole rounds change nothing.
        const LONG steps = settings_.lastTrack > 0 && count > 0 ? settings_.lastTrack % count : 0;
        for (LONG i = 0; i < steps; ++i)
            (void)playlist_->Next();
        start = ReadCurrent();
        start.item.fields.position = settings_.lastPosition;
    } else if (settings_.randomOrderPlayback && count >= 2) {
        const LONG steps = random_.Steps(count, 1);
        for (LONG i = 0; i < steps; ++i)
            (void)playlist_->Next();
        start = ReadCurrent();
    } else if (!messageMode) {
        start = ReadCurrent();
    }
    // The player repeats a lone item by itself instead of reloading it after every play.
    if (count == 1)
        start.item.fields.loops = 9999;
    return start;
}

std::vector<ShowItem> Show::SpreadLanes(const std::vector<IHCYFramewheel *> &players)
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    std::vector<ShowItem> starts;
    const LONG count = Count();
    const LONG first = CurrentIndex();
    if (players.size() < 2 || players.size() > kMaxLanes || InMessageVideo() || count <= 0 || first < 0)
        return starts;
    try {
        std::vector<Lane> lanes(players.size());
        for (size_t lane = 0; lane < lanes.size(); ++lane) {
            lanes[lane].player = players[lane];
            lanes[lane].cursor = static_cast<LONG>((first + lane) % count);
        }
        starts.reserve(lanes.size() - 1);
        lanes_.swap(lanes);
    } catch (const std::bad_alloc &) {
        return {};
    }
    active_ = 0;
    for (size_t lane = 1; lane < lanes_.size(); ++lane) {
        Park(lane);
        starts.push_back(ReadCurrent()); // reserved: does not throw for want of room
        if (count == 1)
            starts.back().item.fields.loops = 9999;
    }
    Park(0);
    return starts;
}

void Show::SetEntry(IHCYFramewheel *player, LONG from, LONG to, LONG count)
{
    MoveTo(from, to, count);
    ShowItem item = TakeItem(from, to);
    const PlaybackItem record = item.item.Record();
    (void)player->SetItem(&record);
}

ShowItem Show::TakeItem(LONG from, LONG wanted)
{
    ++Active().changes;
    Following following = std::move(Active().following);
    Active().following = Following{};
    if (following.valid && following.from == from && following.next.index == wanted)
        return std::move(following.next);
    return PrepareCurrentItem();
}

ShowItem Show::PrepareCurrentItem()
{
    ShowItem entry = ReadCurrent();
    entry.item.fileName = cache_.Resolve(entry.item.fileName.c_str());
    return entry;
}

void Show::ItemEnded(IHCYFramewheel *player, HRESULT result)
{
    if (InMessageVideo()) {
        // The message video plays without end; it only ends here when it failed, and asking
        // again would retry it without pause. Its result is no playlist entry's.
        if (SUCCEEDED(result))
            (void)player->Play();
        return;
    }
    {
        std::lock_guard<std::timed_mutex> guard(lock_);
        const size_t lane = LaneOf(player);
        if (lane == kNoLane)
            return;
        Park(lane);
        Following &following = Active().following;
        PlaylistPosition position{0, result};
        (void)playlist_->SetPosition(&position, POSITION_RESULT);
        const LONG count = Count();
        const LONG from = CurrentIndex();
        if (static_cast<LONG>(failed_.size()) != count)
            failed_.resize(count, 0);
        if (from >= 0 && from < count)
            failed_[from] = FAILED(result);
        // Another monitor's end switched every monitor to the message video meanwhile.
        if (InMessageVideo())
            return;
        LONG steps = 0;
        if (settings_.randomOrderPlayback && count >= 2) {
            // The draw made when this entry started is the choice; drawing again would make
            // the prepared entry a guess.
            steps = following.valid && following.from == from ? following.steps
                                                              : random_.Steps(count, 0);
        }
        // The choice itself is made again: an entry that failed since it was prepared is
        // skipped.
        const LONG next = from >= 0 ? NextEntry(from, Move::Ended, steps, count) : -1;
        if (next < 0) {
            messageMode_ = true;
            // Every monitor shows it, within its own area.
            for (Lane &each : lanes_) {
                ++each.changes;
                each.following = Following{};
                if (each.player && each.player != player && PrepareMessageVideo(each.player))
                    (void)each.player->Play();
            }
            (void)PrepareMessageVideo(player);
        } else {
            SetEntry(player, from, next, count);
        }
        (void)player->Play();
    }
    PrepareFollowing(player);
}

void Show::Step(IHCYFramewheel *player, bool forward)
{
    // The message video stays on: the playlist has nothing playable to step to.
    if (InMessageVideo())
        return;
    IHCYFramewheel *stepped[kMaxLanes] = {};
    size_t steppedCount = 0;
    {
        std::lock_guard<std::timed_mutex> guard(lock_);
        const bool alone = lanes_.size() == 1;
        if (alone && !player)
            player = lanes_[0].player;
        if (alone && !player)
            return;
        const LONG count = Count();
        if (count <= 1)
            return;
        for (size_t lane = 0; lane < lanes_.size(); ++lane) {
            IHCYFramewheel *const each = alone ? player : lanes_[lane].player;
            if (!each)
                continue;
            Park(lane);
            const LONG from = CurrentIndex();
            const LONG wanted = NextEntry(from, forward ? Move::Forward : Move::Back, 0, count);
            (void)each->Pause();
            SetEntry(each, from, wanted, count);
            (void)each->Play();
            stepped[steppedCount++] = each;
        }
    }
    for (size_t i = 0; i < steppedCount; ++i)
        PrepareFollowing(stepped[i]);
}

void Show::Playing(IHCYFramewheel *player)
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    if (lanes_.size() == 1)
        lanes_[0].player = player;
}

void Show::PrepareFollowing(IHCYFramewheel *player)
{
    ComPtr<IHCYFramewheel3> player3;
    if (!player || FAILED(player->QueryInterface(IID_IHCYFramewheel3, reinterpret_cast<void **>(player3.GetAddressOf()))))
        return;
    std::unique_lock<std::timed_mutex> guard(lock_);
    const size_t lane = LaneOf(player);
    if (lane == kNoLane)
        return;
    Park(lane);
    const LONG count = Count();
    const LONG current = CurrentIndex();
    // A lone entry repeats in the player itself; the message video follows only a failure.
    const Following &following = Active().following;
    if (InMessageVideo() || count < 2 || current < 0 || current >= count ||
        (following.valid && following.from == current))
        return;
    const LONG steps = settings_.randomOrderPlayback ? random_.Steps(count, 0) : 0;
    const LONG next = NextEntry(current, Move::Prepared, steps, count);
    if (next < 0)
        return;
    MoveTo(current, next, count);
    ShowItem item = ReadCurrent();
    MoveTo(next, current, count);
    item.index = next;
    const unsigned changes = Active().changes;
    // A copy into the cache may take long: the current entry may change meanwhile, and
    // another lane may take the playlist's.
    guard.unlock();
    item.item.fileName = cache_.Resolve(item.item.fileName.c_str());
    guard.lock();
    Lane &own = lanes_[lane];
    if (changes != own.changes)
        return;
    own.following = Following{true, current, steps, std::move(item)};
    const PlaybackItem record = own.following.next.item.Record();
    (void)player3->PrepareNextItem(&record);
}

LONG Show::CurrentEntry()
{
    std::unique_lock<std::timed_mutex> guard(lock_, std::defer_lock);
    if (guard.try_lock_for(std::chrono::milliseconds(200)))
        Park(0);
    return CurrentIndex();
}

bool Show::EnterMessageVideo(IHCYFramewheel *player)
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    if (messageMode_.exchange(true))
        return true; // already showing it
    return PrepareMessageVideo(player);
}

bool Show::PrepareMessageVideo(IHCYFramewheel *player)
{
    if (messageVideo_.empty() && !WriteMessageVideo())
        return false;
    // The message drifts across the player's whole area (the desktop, or its monitor) at its
    // own size, without end.
    PlaybackItem item = DefaultPlaybackItem();
    item.bounceStep = static_cast<double>(settings_.bounceStep);
    item.bounceInterval = static_cast<double>(settings_.bounceInterval);
    item.fileName = messageVideo_.data();
    item.loops = 0;
    item.scaleToScreen = 0;
    item.bounce = 1;
    item.perMonitor = 0;
    item.blockScreenSaver = 1;
    return SUCCEEDED(player->SetItem(&item));
}

bool Show::WriteMessageVideo()
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kMessageVideoResource), L"AVI");
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
    try {
        messageVideo_ = file;
    } catch (const std::bad_alloc &) {
        DeleteFileW(file);
        return false;
    }
    return true;
}

void Show::LeaveMessageVideo()
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    if (!messageVideo_.empty())
        DeleteFileW(messageVideo_.c_str());
    messageVideo_.clear();
    messageMode_ = false;
}
