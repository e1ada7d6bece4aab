#include "fw_sink.h"

#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "mixer.h"
#include "run_shared.h"
#include "settings.h"
#include "video_cache.h"

using Microsoft::WRL::ComPtr;

namespace {

// The mouse test's state, written on the playback thread and reset by the run: atomics so
// that no reader sees a torn or stale point.
std::atomic<bool> g_firstMouseMove{true};
std::atomic<uint64_t> g_mouseReference{0};

uint64_t Pack(POINT point)
{
    return (static_cast<uint64_t>(static_cast<uint32_t>(point.x)) << 32) | static_cast<uint32_t>(point.y);
}

POINT Unpack(uint64_t packed)
{
    return {static_cast<LONG>(static_cast<int32_t>(packed >> 32)),
            static_cast<LONG>(static_cast<int32_t>(packed & 0xffffffffu))};
}

// A jump of more than this many pixels on one axis between two mouse moves ends the run.
constexpr LONG kMouseJump = 20;

LONG CurrentIndex(IHCYFWPlaylist *playlist)
{
    PlaylistPosition position{-1, 0};
    return SUCCEEDED(playlist->GetPosition(&position)) ? position.index : -1;
}

}  // namespace

FwSink::FwSink(Settings &settings, IHCYFWPlaylist *playlist, HANDLE endEvent, VideoCache *cache)
    : settings_(&settings), cache_(cache), playlist_(playlist), endEvent_(endEvent),
      volume_(GetMasterVolume())
{
}

void FwSink::ResetMouseReference() { g_firstMouseMove = true; }

STDMETHODIMP FwSink::QueryInterface(REFIID riid, void **object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IHCYFramewheelEventSink) || IsEqualIID(riid, IID_IUnknown)) {
        *object = static_cast<IHCYFramewheelEventSink *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FwSink::AddRef() { return static_cast<ULONG>(++references_); }

STDMETHODIMP_(ULONG) FwSink::Release()
{
    const LONG count = --references_;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

// SetEvent, not PulseEvent: the auto-reset event stays signalled until the run's thread
// waits again, so input that comes while the run handles a standby timeout is not lost.
void FwSink::EndRun() { SetEvent(endEvent_); }

STDMETHODIMP FwSink::OnQueryClose(IHCYFramewheel *player, LONG reason)
{
    if (reason == 0)
        return S_FALSE;  // a video window asked to close (Alt+F4) stays open
    EndRun();             // Windows asks whether it may log off or shut down
    return S_OK;
}

STDMETHODIMP FwSink::OnInput(IHCYFramewheel *player, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (settings_->keyboardControls)
            OnKeyDown(player, wParam);
        else
            EndRun();
        break;
    case WM_MOUSEMOVE:
        if (!settings_->ignoreMouseMovement)
            OnMouseMove();
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        EndRun();
        break;
    default:
        break;
    }
    return S_OK;
}

void FwSink::OnMouseMove()
{
    POINT cursor{};
    GetCursorPos(&cursor);
    if (g_firstMouseMove.exchange(false)) {
        POINT reference{};
        GetCursorPos(&reference);
        g_mouseReference = Pack(reference);
    }
    const POINT reference = Unpack(g_mouseReference.exchange(Pack(cursor)));
    if (std::abs(cursor.x - reference.x) > kMouseJump || std::abs(cursor.y - reference.y) > kMouseJump)
        EndRun();
}

void FwSink::OnKeyDown(IHCYFramewheel *player, WPARAM key)
{
    switch (key) {
    case VK_LEFT:
        StepItem(player, false);
        break;
    case VK_RIGHT:
        StepItem(player, true);
        break;
    case VK_UP:
        if (muted_) {
            SetMasterMute(false);
            muted_ = false;
        } else if (volume_ < 65535) {
            volume_ = std::min<LONG>(volume_ + volumeStep_, 65535);
            SetMasterVolume(static_cast<WORD>(volume_));
        }
        break;
    case VK_DOWN:
        if (!muted_ && volume_ > 0) {
            volume_ = std::max<LONG>(volume_ - volumeStep_, 0);
            SetMasterVolume(static_cast<WORD>(volume_));
        }
        break;
    case 'M':
        muted_ = !muted_;
        SetMasterMute(muted_);
        break;
    default:
        EndRun();
        break;
    }
}

void FwSink::StepItem(IHCYFramewheel *player, bool forward)
{
    // The message video stays on: the playlist has nothing playable to step to. Input that
    // reaches the run's own window (no player given) steps nothing: nothing plays yet.
    if (!player || InMessageVideoMode())
        return;
    {
        std::lock_guard<std::timed_mutex> guard(choiceLock_);
        LONG count = 0;
        (void)playlist_->GetCount(&count);
        if (count <= 1)
            return;
        const LONG from = CurrentIndex(playlist_);
        (void)player->Pause();
        (void)(forward ? playlist_->Next() : playlist_->Previous());
        ItemToPlay item = TakeItem(from, (from + (forward ? 1 : count - 1)) % count);
        (void)player->SetItem(item.Record());
        (void)player->Play();
    }
    PrepareFollowing(player);
}

STDMETHODIMP FwSink::OnMonitorPower(IHCYFramewheel *player, LPARAM state)
{
    // The run puts the position back into the player when it ends.
    (void)player->Stop();
    g_monitorOff = true;
    return S_OK;
}

STDMETHODIMP FwSink::OnPlaybackEnded(IHCYFramewheel *player, HRESULT result)
{
    if (InMessageVideoMode()) {
        // The message video plays without end; it only ends here when it failed, and asking
        // again would retry it without pause. Its result is no playlist entry's.
        if (SUCCEEDED(result))
            (void)player->Play();
        return S_OK;
    }
    {
        std::lock_guard<std::timed_mutex> guard(choiceLock_);
        PlaylistPosition position{0, result};
        (void)playlist_->SetPosition(&position, POSITION_RESULT);

        LONG count = 0;
        (void)playlist_->GetCount(&count);
        const LONG from = CurrentIndex(playlist_);
        if (from >= 0 && from < static_cast<LONG>(failed_.size()))
            failed_[from] = FAILED(result);
        if (settings_->randomOrderPlayback && count >= 2) {
            // The draw made when this entry started is the choice; drawing again would make
            // the prepared entry a guess.
            const LONG steps = following_.valid && following_.from == from ? following_.steps
                                                                           : RandomSteps(count, 0);
            for (LONG i = 0; i < steps; ++i)
                (void)playlist_->Next();
        }
        // The search itself runs again: an entry that failed since the choice is skipped.
        bool found = false;
        for (LONG i = 0; i < count && !found; ++i) {
            (void)playlist_->Next();
            PlaylistPosition current{};
            found = SUCCEEDED(playlist_->GetPosition(&current)) && current.playResult >= 0;
        }
        if (!found) {
            ++changes_;
            following_ = Following{};
            (void)EnterMessageVideoMode(player, *settings_);
        } else {
            ItemToPlay item = TakeItem(from, CurrentIndex(playlist_));
            (void)player->SetItem(item.Record());
        }
        (void)player->Play();
    }
    PrepareFollowing(player);
    return S_OK;
}

ItemToPlay FwSink::TakeItem(LONG from, LONG wanted)
{
    ++changes_;
    Following following = std::move(following_);
    following_ = Following{};
    if (following.valid && following.from == from && following.next.index == wanted)
        return std::move(following.next);
    return PrepareCurrentItem(*settings_, playlist_, *cache_);
}

LONG FwSink::FollowingEntry(LONG current, LONG steps, LONG count) const
{
    // As OnPlaybackEnded searches, taking the current entry to play to its end.
    const LONG start = (current + steps) % count;
    for (LONG i = 1; i <= count; ++i) {
        const LONG entry = (start + i) % count;
        if (entry == current || entry >= static_cast<LONG>(failed_.size()) || !failed_[entry])
            return entry;
    }
    return current;
}

void FwSink::PrepareFollowing(IHCYFramewheel *player)
{
    ComPtr<IHCYFramewheel3> player3;
    if (!player || FAILED(player->QueryInterface(IID_IHCYFramewheel3, reinterpret_cast<void **>(player3.GetAddressOf()))))
        return;
    std::unique_lock<std::timed_mutex> guard(choiceLock_);
    LONG count = 0;
    (void)playlist_->GetCount(&count);
    const LONG current = CurrentIndex(playlist_);
    // A lone entry repeats in the player itself; the message video follows only a failure.
    if (InMessageVideoMode() || count < 2 || current < 0 || current >= count ||
        (following_.valid && following_.from == current))
        return;
    if (static_cast<LONG>(failed_.size()) != count)
        failed_.assign(count, 0);  // the run cleared every entry's result at the start
    const LONG steps = settings_->randomOrderPlayback ? RandomSteps(count, 0) : 0;
    const LONG next = FollowingEntry(current, steps, count);
    const LONG ahead = (next - current + count) % count;
    for (LONG i = 0; i < ahead; ++i)
        (void)playlist_->Next();
    ItemToPlay item = ReadCurrentItem(*settings_, playlist_);
    for (LONG i = 0; i < ahead; ++i)
        (void)playlist_->Previous();
    item.index = next;
    const unsigned changes = changes_;
    // A copy into the cache may take long: the current entry may change meanwhile.
    guard.unlock();
    item.path = cache_->Resolve(item.path.c_str());
    guard.lock();
    if (changes != changes_)
        return;
    following_ = Following{true, current, steps, std::move(item)};
    (void)player3->PrepareNextItem(following_.next.Record());
}

LONG FwSink::CurrentEntry()
{
    std::unique_lock<std::timed_mutex> guard(choiceLock_, std::defer_lock);
    (void)guard.try_lock_for(std::chrono::milliseconds(200));
    return CurrentIndex(playlist_);
}
