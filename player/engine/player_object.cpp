// The player object's COM methods and its event sinks.
#include "player_object.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "media_loader.h"
#include "playback.h"
#include "render/renderer.h"
#include "server/module.h"

using Microsoft::WRL::ComPtr;

namespace {

// The command each changed field group asks of the playback thread.
constexpr struct {
    DWORD group;
    LONG command;
} kGroupCommands[] = {
    {ITEM_POSITION_XY, CMD_LAYOUT},   {ITEM_BOUNCE_MOTION, CMD_BOUNCE},
    {ITEM_WINDOW_RECT, CMD_LAYOUT},   {ITEM_POSITION, CMD_SEEK},
    {ITEM_FILENAME, CMD_LOAD},        {ITEM_PARENT, CMD_LAYOUT},
    {ITEM_LOOPS, CMD_LOOPS},          {ITEM_VOLUME, CMD_VOLUME},
    {ITEM_STYLE, CMD_RENDERER},       {ITEM_SCALE, CMD_LAYOUT},
    {ITEM_RATE, CMD_RATE},            {ITEM_SCALE_TO_SCREEN, CMD_LAYOUT},
    {ITEM_KEEP_ASPECT, CMD_LAYOUT},   {ITEM_BOUNCE, CMD_BOUNCE},
    {ITEM_PER_MONITOR, CMD_RENDERER},
};

// Taken from every SetItem whatever its mask: what the window swallows.
constexpr DWORD kAlwaysTaken = ITEM_BLOCK_SCREEN_SAVER | ITEM_BLOCK_MONITOR_POWER;

} // namespace

HRESULT CreateFramewheelObject(REFIID riid, void **ppv)
{
    if (ppv)
        *ppv = nullptr;
    Framewheel *player = nullptr;
    try {
        player = new Framewheel(); // its members may allocate as well
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    if (!player->valid()) {
        delete player;
        return E_OUTOFMEMORY;
    }
    player->AddRef();
    const HRESULT hr = player->QueryInterface(riid, ppv);
    player->Release();
    return hr;
}

Framewheel::Framewheel() : loads_(std::make_shared<LoadsUnderWay>()) {}

Framewheel::~Framewheel()
{
    // The playback thread stops the timer thread and destroys the renderer itself. While it
    // does, it may send messages to this thread (a child window's parent lives here) or
    // call a sink of this apartment, so the wait answers them. Orphaned, this runs on the
    // playback thread itself after its loop.
    if (thread_) {
        if (GetThreadId(thread_.get()) != GetCurrentThreadId()) {
            // The loads are broken off first, from here: the playback thread may itself be
            // waiting for one's build (the graph turn), and none of them is of use any more.
            loads_->BreakOff();
            // The screen comes back at once: before it can free its own graph the playback
            // thread may wait for one being built on a loader thread (the graph turn), and it
            // answers sent messages meanwhile, so the window hides then.
            if (const HWND window = window_.load())
                ShowWindowAsync(window, SW_HIDE);
            playbackQueue_.Post(CMD_QUIT);
            WaitAnswering(thread_.get());
        }
        thread_.reset();
    }
}

bool Framewheel::valid() const
{
    return itemLock_.valid() && sinks_.valid() && screen_.lock.valid() && playbackQueue_.valid() &&
           timerQueue_.valid();
}

STDMETHODIMP Framewheel::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHCYFramewheel) ||
        IsEqualIID(riid, IID_IHCYFramewheel2) || IsEqualIID(riid, IID_IHCYFramewheel3) ||
        IsEqualIID(riid, IID_IHCYFramewheel4)) {
        *ppv = static_cast<IHCYFramewheel4 *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) Framewheel::AddRef()
{
    LibraryAddRef();
    return InterlockedIncrement(&refs_);
}

STDMETHODIMP_(ULONG) Framewheel::Release()
{
    const LONG count = InterlockedDecrement(&refs_);
    if (count == 0)
        delete this;
    // Only after the object is gone: a count of 0 lets COM unload the code we run in.
    LibraryRelease();
    return count;
}

STDMETHODIMP Framewheel::GetItem(PlaybackItem *item)
{
    if (!item)
        return E_POINTER;
    {
        ReadGuard guard(itemLock_);
        const std::wstring &fileName = item_.fileName;
        auto *name = static_cast<wchar_t *>(CoTaskMemAlloc((fileName.size() + 1) * sizeof(wchar_t)));
        if (!name) {
            guard.Unlock();
            std::memset(item, 0, sizeof *item);
            return E_OUTOFMEMORY;
        }
        std::memcpy(name, fileName.c_str(), (fileName.size() + 1) * sizeof(wchar_t));
        const DWORD callersMask = item->validMask;
        *item = item_.fields;
        item->fileName = name;
        item->validMask = callersMask;
    }
    // The playback thread may hold the lock while it sends this thread a message (creating
    // or placing a child of a window that lives here), so the wait answers them.
    ReadGuard guard(screen_.lock, true);
    item->position = screen_.renderer ? screen_.renderer->CurrentPosition() : 0.0;
    return S_OK;
}

STDMETHODIMP Framewheel::Pause()
{
    const bool queued = playbackQueue_.Post(CMD_PAUSE);
    timerQueue_.Post(CMD_PAUSE);
    return queued ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Framewheel::Play()
{
    HRESULT hr = S_OK;
    {
        CriticalSectionLock guard(startLock_);
        // Once started the thread is never started again, even after it has ended.
        if (!thread_) {
            thread_.reset(CreateThread(nullptr, 0, &PlaybackThreadMain, this, 0, nullptr));
            if (!thread_)
                hr = E_FAIL;
        }
    }
    if (!playbackQueue_.Post(CMD_PLAY) && SUCCEEDED(hr))
        hr = E_OUTOFMEMORY;
    timerQueue_.Post(CMD_PLAY);
    return hr;
}

STDMETHODIMP Framewheel::SetItem(const PlaybackItem *item)
{
    if (!item)
        return E_POINTER;
    HRESULT hr = S_OK;
    LONG word = 0;
    {
        WriteGuard guard(itemLock_);
        const DWORD mask = item->validMask;
        // The name is the player's own string; the reserved flag is not kept.
        const DWORD stored = mask & ~(ITEM_FILENAME | ITEM_RESERVED | kAlwaysTaken);
        DWORD changed = CopyItemGroups(item_.fields, *item, stored);
        (void)CopyItemGroups(item_.fields, *item, kAlwaysTaken);
        // The first item after creation counts as a change in every masked group.
        if (firstItem_)
            changed |= stored;
        // Always: a caller restores the count of an item that is played again.
        changed |= mask & ITEM_LOOPS;
        const wchar_t *name = item->fileName ? item->fileName : L"";
        if ((mask & ITEM_FILENAME) && (firstItem_ || nameFailed_ || item_.fileName != name)) {
            try {
                item_.fileName = name;
                changed |= ITEM_FILENAME;
                nameFailed_ = false;
            } catch (const std::bad_alloc &) {
                hr = E_OUTOFMEMORY; // the old name stays; nothing to load
            }
        }
        firstItem_ = false;
        for (const auto &entry : kGroupCommands)
            if (changed & entry.group)
                word |= entry.command;
    }
    if (word) {
        if (!playbackQueue_.Post(word))
            hr = E_OUTOFMEMORY; // stored, but not carried out until a later change
        if (word & CMD_BOUNCE)
            timerQueue_.Post(word);
    }
    return hr;
}

STDMETHODIMP Framewheel::Reserved() { return E_NOTIMPL; }

STDMETHODIMP Framewheel::Stop()
{
    const bool queued = playbackQueue_.Post(CMD_STOP);
    timerQueue_.Post(CMD_STOP);
    return queued ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Framewheel::Advise(IHCYFramewheelEventSink *sink, DWORD eventMask, LONGLONG *cookie)
{
    const HRESULT hr = sinks_.Advise(sink, eventMask, cookie);
    if (SUCCEEDED(hr))
        playbackQueue_.Post(CMD_SINKS);
    return hr;
}

STDMETHODIMP Framewheel::Unadvise(LONGLONG cookie)
{
    sinks_.Remove(cookie);
    playbackQueue_.Post(CMD_SINKS);
    // No call to the sink may follow the return, so one already running is waited for.
    sinks_.WaitForCall(cookie);
    return S_OK;
}

STDMETHODIMP Framewheel::UseClassicVideoRenderer()
{
    classicVideoRenderer_ = true;
    return S_OK;
}

STDMETHODIMP Framewheel::UseSingleRendererDesktopMode()
{
    singleDesktopRenderer_ = true;
    return S_OK;
}

// Only the fields that decide what is opened are taken from the hint: the file, the style
// and the per-monitor flag (the renderer built for it), and the position (where the paused
// graph waits). Groups the mask leaves out are those of the current item, as a SetItem
// with that mask would leave them.
STDMETHODIMP Framewheel::PrepareNextItem(const PlaybackItem *item)
{
    if (!item)
        return E_POINTER;
    {
        WriteGuard guard(itemLock_);
        try {
            MediaItem next = item_;
            if (item->validMask & ITEM_FILENAME)
                next.fileName = item->fileName ? item->fileName : L"";
            nextItem_ = std::move(next);
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
        (void)CopyItemGroups(nextItem_.fields, *item,
                             item->validMask & (ITEM_STYLE | ITEM_PER_MONITOR | ITEM_POSITION));
        nextWaiting_ = true;
    }
    playbackQueue_.Post(CMD_PREPARE);
    return S_OK;
}

// Stored only: the next load builds its renderer for them (NewLoadJob), so the picture on
// screen is never torn down for it.
STDMETHODIMP Framewheel::SetOutputAreas(UINT count, const RECT *areas)
{
    if (count > 0 && !areas)
        return E_POINTER;
    if (count > kMaxOutputAreas)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
        if (areas[i].right <= areas[i].left || areas[i].bottom <= areas[i].top)
            return E_INVALIDARG;
    }
    std::vector<RECT> stored;
    try {
        stored.assign(areas, areas + count);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    WriteGuard guard(itemLock_);
    outputAreas_.swap(stored);
    return S_OK;
}

bool Framewheel::CopyOutputAreas(std::vector<RECT> &out)
{
    ReadGuard guard(itemLock_);
    try {
        out = outputAreas_;
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool Framewheel::HasOutputAreas(const std::vector<RECT> &areas)
{
    ReadGuard guard(itemLock_);
    return std::equal(areas.begin(), areas.end(), outputAreas_.begin(), outputAreas_.end(),
                      [](const RECT &a, const RECT &b) { return EqualRect(&a, &b) != FALSE; });
}

bool Framewheel::CopyItem(MediaItem &out, bool withName)
{
    ReadGuard guard(itemLock_);
    out.fields = item_.fields;
    if (!withName)
        return true;
    try {
        out.fileName = item_.fileName;
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool Framewheel::TakeNextItem(MediaItem &out)
{
    WriteGuard guard(itemLock_);
    if (!nextWaiting_)
        return false;
    nextWaiting_ = false;
    std::swap(out, nextItem_);
    return true;
}

void Framewheel::ForgetLoadedName() { nameFailed_ = true; }

void Framewheel::RecordLoadTiming(const LoadTiming &timing)
{
    CriticalSectionLock guard(timingLock_);
    lastLoad_ = timing;
}

Framewheel::LoadTiming Framewheel::LastLoadTiming()
{
    CriticalSectionLock guard(timingLock_);
    return lastLoad_;
}

// Calls every sink of one event; answers how many returned S_OK and, in *registered, how
// many registrations there were. A dying player calls nobody.
template <typename Call>
int Framewheel::FireEvent(SinkEvent event, Call call, size_t *registered)
{
    const SinkHub::Targets targets = sinks_.TargetsOf(event, registered);
    if (targets.list.empty() || !AddRefIfAlive())
        return 0;
    const int agreed = sinks_.CallEach(targets, call);
    ReleaseOnPlaybackThread();
    return agreed;
}

bool Framewheel::AddRefIfAlive()
{
    for (LONG count = refs_; count > 0;) {
        const LONG seen = InterlockedCompareExchange(&refs_, count + 1, count);
        if (seen == count) {
            LibraryAddRef();
            return true;
        }
        count = seen;
    }
    return false;
}

void Framewheel::ReleaseOnPlaybackThread()
{
    if (InterlockedDecrement(&refs_) != 0) {
        LibraryRelease();
        return;
    }
    // The library count stays up until the thread has deleted the object.
    orphaned_ = true;
}

bool Framewheel::SinksAgreeToClose(LONG reason)
{
    size_t registered = 0;
    const int agreed = FireEvent(
        SINK_QUERY_CLOSE,
        [&](IHCYFramewheelEventSink *sink) { return sink->OnQueryClose(Self(), reason); },
        &registered);
    // Every registration must say S_OK; with none the player acts at once.
    return static_cast<size_t>(agreed) == registered;
}

void Framewheel::FireInput(UINT message, WPARAM wParam, LPARAM lParam)
{
    FireEvent(SINK_INPUT, [&](IHCYFramewheelEventSink *sink) {
        return sink->OnInput(Self(), message, wParam, lParam);
    });
}

void Framewheel::FireMonitorPower(LPARAM state)
{
    FireEvent(SINK_MONITOR_POWER, [&](IHCYFramewheelEventSink *sink) {
        return sink->OnMonitorPower(Self(), state);
    });
}

void Framewheel::FirePlaybackEnded(HRESULT result)
{
    FireEvent(SINK_PLAYBACK_ENDED, [&](IHCYFramewheelEventSink *sink) {
        return sink->OnPlaybackEnded(Self(), result);
    });
}
