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
    for (LONG i = 1; i <= count; ++i) {
        const LONG entry = (start + i) % count;
        if (entry == current ? move == Move::Prepared || !Failed(entry) : !Failed(entry))
            return entry;
    }
    return -1;
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

void Show::SetEntry(IHCYFramewheel *player, LONG from, LONG to, LONG count)
{
    MoveTo(from, to, count);
    ShowItem item = TakeItem(from, to);
    const PlaybackItem record = item.item.Record();
    (void)player->SetItem(&record);
}

ShowItem Show::TakeItem(LONG from, LONG wanted)
{
    ++changes_;
    Following following = std::move(following_);
    following_ = Following{};
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
        PlaylistPosition position{0, result};
        (void)playlist_->SetPosition(&position, POSITION_RESULT);
        const LONG count = Count();
        const LONG from = CurrentIndex();
        if (static_cast<LONG>(failed_.size()) != count)
            failed_.resize(count, 0);
        if (from >= 0 && from < count)
            failed_[from] = FAILED(result);
        LONG steps = 0;
        if (settings_.randomOrderPlayback && count >= 2) {
            // The draw made when this entry started is the choice; drawing again would make
            // the prepared entry a guess.
            steps = following_.valid && following_.from == from ? following_.steps
                                                                : random_.Steps(count, 0);
        }
        // The choice itself is made again: an entry that failed since it was prepared is
        // skipped.
        const LONG next = from >= 0 ? NextEntry(from, Move::Ended, steps, count) : -1;
        if (next < 0) {
            ++changes_;
            following_ = Following{};
            messageMode_ = true;
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
    // The message video stays on: the playlist has nothing playable to step to. Input that
    // reaches the run's own window (no player given) steps nothing: nothing plays yet.
    if (!player || InMessageVideo())
        return;
    {
        std::lock_guard<std::timed_mutex> guard(lock_);
        const LONG count = Count();
        if (count <= 1)
            return;
        const LONG from = CurrentIndex();
        const LONG wanted = NextEntry(from, forward ? Move::Forward : Move::Back, 0, count);
        (void)player->Pause();
        SetEntry(player, from, wanted, count);
        (void)player->Play();
    }
    PrepareFollowing(player);
}

void Show::PrepareFollowing(IHCYFramewheel *player)
{
    ComPtr<IHCYFramewheel3> player3;
    if (!player || FAILED(player->QueryInterface(IID_IHCYFramewheel3, reinterpret_cast<void **>(player3.GetAddressOf()))))
        return;
    std::unique_lock<std::timed_mutex> guard(lock_);
    const LONG count = Count();
    const LONG current = CurrentIndex();
    // A lone entry repeats in the player itself; the message video follows only a failure.
    if (InMessageVideo() || count < 2 || current < 0 || current >= count ||
        (following_.valid && following_.from == current))
        return;
    const LONG steps = settings_.randomOrderPlayback ? random_.Steps(count, 0) : 0;
    const LONG next = NextEntry(current, Move::Prepared, steps, count);
    if (next < 0)
        return;
    MoveTo(current, next, count);
    ShowItem item = ReadCurrent();
    MoveTo(next, current, count);
    item.index = next;
    const unsigned changes = changes_;
    // A copy into the cache may take long: the current entry may change meanwhile.
    guard.unlock();
    item.item.fileName = cache_.Resolve(item.item.fileName.c_str());
    guard.lock();
    if (changes != changes_)
        return;
    following_ = Following{true, current, steps, std::move(item)};
    const PlaybackItem record = following_.next.item.Record();
    (void)player3->PrepareNextItem(&record);
}

LONG Show::CurrentEntry()
{
    std::unique_lock<std::timed_mutex> guard(lock_, std::defer_lock);
    (void)guard.try_lock_for(std::chrono::milliseconds(200));
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
    if (!messageVideo_.empty())
        return true;
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

    // The message drifts across the whole desktop at its own size, without end.
    PlaybackItem item = DefaultPlaybackItem();
    item.bounceStep = static_cast<double>(settings_.bounceStep);
    item.bounceInterval = static_cast<double>(settings_.bounceInterval);
    item.fileName = file;
    item.loops = 0;
    item.scaleToScreen = 0;
    item.bounce = 1;
    item.perMonitor = 0;
    item.blockScreenSaver = 1;
    return SUCCEEDED(player->SetItem(&item));
}

void Show::LeaveMessageVideo()
{
    std::lock_guard<std::timed_mutex> guard(lock_);
    if (!messageVideo_.empty())
        DeleteFileW(messageVideo_.c_str());
    messageVideo_.clear();
    messageMode_ = false;
}
