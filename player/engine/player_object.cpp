// The player object's COM methods and its event sinks.
#include "player_object.h"

#include <cstring>
#include <new>

#include "server/module.h"
#include "render/renderer.h"

using Microsoft::WRL::ComPtr;

namespace {

BYTE Flag(BYTE value) { return value ? 1 : 0; }

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

Framewheel::Framewheel() : item_(DefaultPlaybackItem()), nextItem_(DefaultPlaybackItem())
{
    item_.fileName = nullptr;
    nextItem_.fileName = nullptr;
}

Framewheel::~Framewheel()
{
    // The playback thread stops the timer thread and destroys the renderer itself. While it
    // does, it may send messages to this thread (a child window's parent lives here) or
    // call a sink of this apartment, so the wait answers them. Orphaned, this runs on the
    // playback thread itself after its loop.
    if (thread_) {
        if (GetThreadId(thread_.get()) != GetCurrentThreadId()) {
            playbackQueue_.Post(CMD_QUIT);
            WaitAnswering(thread_.get());
        }
        thread_.reset();
    }
    if (table_) {
        for (auto &list : sinks_) {
            for (const SinkRegistration &registration : list)
                table_->RevokeInterfaceFromGlobal(registration.tableCookie);
            list.clear();
        }
        table_.Reset();
    }
}

bool Framewheel::valid() const
{
    return itemLock_.valid() && sinkLock_.valid() && rendererLock_.valid() &&
           playbackQueue_.valid() && timerQueue_.valid() && callEnded_;
}

STDMETHODIMP Framewheel::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IHCYFramewheel) ||
        IsEqualIID(riid, IID_IHCYFramewheel2) || IsEqualIID(riid, IID_IHCYFramewheel3)) {
        *ppv = static_cast<IHCYFramewheel3 *>(this);
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
        const size_t length = fileName_.size();
        auto *name = static_cast<wchar_t *>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
        if (!name) {
            guard.Unlock();
            std::memset(item, 0, sizeof *item);
            return E_OUTOFMEMORY;
        }
        std::memcpy(name, fileName_.c_str(), (length + 1) * sizeof(wchar_t));
        const DWORD callersMask = item->validMask;
        *item = item_;
        item->fileName = name;
        item->validMask = callersMask;
    }
    // The playback thread may hold the lock while it sends this thread a message (creating
    // or placing a child of a window that lives here), so the wait answers them.
    ReadGuard guard(rendererLock_, true);
    item->position = renderer_ ? renderer_->CurrentPosition() : 0.0;
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
            thread_.reset(CreateThread(nullptr, 0, &Framewheel::PlaybackThreadMain, this, 0, nullptr));
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
        // The first item after creation counts as a change in every masked group.
        const bool all = firstItem_;
        auto wanted = [&](DWORD bit, bool differs) { return (mask & bit) && (differs || all); };
        PlaybackItem &current = item_;

        if (wanted(ITEM_BOUNCE, Flag(item->bounce) != current.bounce)) {
            current.bounce = Flag(item->bounce);
            word |= CMD_BOUNCE;
        }
        if (wanted(ITEM_BOUNCE_MOTION, item->bounceStep != current.bounceStep ||
                                           item->bounceInterval != current.bounceInterval)) {
            current.bounceStep = item->bounceStep;
            current.bounceInterval = item->bounceInterval;
            word |= CMD_BOUNCE;
        }
        const wchar_t *name = item->fileName ? item->fileName : L"";
        if (wanted(ITEM_FILENAME, fileName_ != name)) {
            try {
                fileName_ = name;
                word |= CMD_LOAD;
            } catch (const std::bad_alloc &) {
                hr = E_OUTOFMEMORY; // the old name stays; nothing to load
            }
        }
        if (wanted(ITEM_KEEP_ASPECT, Flag(item->keepAspect) != current.keepAspect)) {
            current.keepAspect = Flag(item->keepAspect);
            word |= CMD_LAYOUT;
        }
        if (mask & ITEM_LOOPS) {
            // Always: a caller restores the count of an item that is played again.
            current.loops = item->loops;
            word |= CMD_LOOPS;
        }
        if (wanted(ITEM_STYLE, item->style != current.style)) {
            current.style = item->style;
            word |= CMD_RENDERER;
        }
        if (wanted(ITEM_PER_MONITOR, Flag(item->perMonitor) != current.perMonitor)) {
            current.perMonitor = Flag(item->perMonitor);
            word |= CMD_RENDERER;
        }
        if (wanted(ITEM_POSITION, item->position != current.position)) {
            current.position = item->position;
            word |= CMD_SEEK;
        }
        if (wanted(ITEM_SCALE, item->scale != current.scale)) {
            current.scale = item->scale;
            word |= CMD_LAYOUT;
        }
        if (wanted(ITEM_SCALE_TO_SCREEN, Flag(item->scaleToScreen) != current.scaleToScreen)) {
            current.scaleToScreen = Flag(item->scaleToScreen);
            word |= CMD_LAYOUT;
        }
        if (wanted(ITEM_RATE, item->rate != current.rate)) {
            current.rate = item->rate;
            word |= CMD_RATE;
        }
        if (wanted(ITEM_POSITION_XY,
                   item->xPosition != current.xPosition || item->yPosition != current.yPosition)) {
            current.xPosition = item->xPosition;
            current.yPosition = item->yPosition;
            word |= CMD_LAYOUT;
        }
        if (wanted(ITEM_VOLUME, item->volume != current.volume)) {
            current.volume = item->volume;
            word |= CMD_VOLUME;
        }
        if (wanted(ITEM_WINDOW_RECT,
                   item->windowLeft != current.windowLeft || item->windowTop != current.windowTop ||
                       item->windowWidth != current.windowWidth ||
                       item->windowHeight != current.windowHeight)) {
            current.windowLeft = item->windowLeft;
            current.windowTop = item->windowTop;
            current.windowWidth = item->windowWidth;
            current.windowHeight = item->windowHeight;
            word |= CMD_LAYOUT;
        }
        if (wanted(ITEM_PARENT, item->parentWindow != current.parentWindow)) {
            current.parentWindow = item->parentWindow;
            word |= CMD_LAYOUT;
        }
        // What the window swallows is always taken, whatever the mask says.
        current.blockMonitorPower = Flag(item->blockMonitorPower);
        current.blockScreenSaver = Flag(item->blockScreenSaver);
        firstItem_ = false;
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
    if (!cookie)
        return E_POINTER;
    const LONGLONG value = static_cast<LONGLONG>(
        (static_cast<ULONGLONG>(eventMask) << 32) |
        static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(sink)));
    *cookie = value;
    if (!sink && (eventMask & EVENT_ALL))
        return E_POINTER;

    WriteGuard guard(sinkLock_);
    if (!table_) {
        const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&table_));
        if (FAILED(hr))
            return hr;
    }
    // All registrations of this call or none: a sink that cannot be reached from the
    // playback thread must not look registered to the caller.
    struct Added {
        int event;
        DWORD tableCookie;
    } added[SINK_EVENT_COUNT];
    int count = 0;
    HRESULT hr = S_OK;
    for (int event = 0; event < SINK_EVENT_COUNT; ++event) {
        if (!(eventMask & (1u << event)))
            continue;
        DWORD tableCookie = 0;
        hr = table_->RegisterInterfaceInGlobal(sink, IID_IHCYFramewheelEventSink, &tableCookie);
        if (FAILED(hr))
            break;
        added[count++] = {event, tableCookie};
    }
    if (SUCCEEDED(hr)) {
        try {
            for (int i = 0; i < count; ++i)
                sinks_[added[i].event].reserve(sinks_[added[i].event].size() + 1);
        } catch (const std::bad_alloc &) {
            hr = E_OUTOFMEMORY;
        }
    }
    if (FAILED(hr)) {
        for (int i = 0; i < count; ++i)
            table_->RevokeInterfaceFromGlobal(added[i].tableCookie);
        return hr;
    }
    for (int i = 0; i < count; ++i)
        sinks_[added[i].event].push_back({value, added[i].tableCookie});
    guard.Unlock();
    playbackQueue_.Post(CMD_SINKS);
    return S_OK;
}

STDMETHODIMP Framewheel::Unadvise(LONGLONG cookie)
{
    {
        WriteGuard guard(sinkLock_);
        for (auto &list : sinks_) {
            for (auto it = list.begin(); it != list.end();) {
                if (it->cookie == cookie) {
                    table_->RevokeInterfaceFromGlobal(it->tableCookie);
                    it = list.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    playbackQueue_.Post(CMD_SINKS);
    // No call to the sink may follow the return, so one already running is waited for.
    WaitForSinkCall(cookie);
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
    PlaybackItem next;
    std::wstring name;
    try {
        ReadGuard guard(itemLock_);
        next = item_;
        name = fileName_;
        if (item->validMask & ITEM_FILENAME)
            name = item->fileName ? item->fileName : L"";
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    if (item->validMask & ITEM_STYLE)
        next.style = item->style;
    if (item->validMask & ITEM_PER_MONITOR)
        next.perMonitor = Flag(item->perMonitor);
    if (item->validMask & ITEM_POSITION)
        next.position = item->position;
    next.fileName = nullptr;
    {
        CriticalSectionLock guard(nextLock_);
        nextItem_ = next;
        nextName_.swap(name);
        nextWaiting_ = true;
    }
    playbackQueue_.Post(CMD_PREPARE);
    return S_OK;
}

Framewheel::LoadTiming Framewheel::LastLoadTiming()
{
    CriticalSectionLock guard(timingLock_);
    return lastLoad_;
}

size_t Framewheel::SinkCount(SinkEvent event)
{
    ReadGuard guard(sinkLock_);
    return sinks_[event].size();
}

// Calls every sink of one event in registration order; answers how many returned S_OK and,
// in *registered, how many registrations there were. The sink lock is held only to copy
// the list: a sink in a single-threaded apartment is called (and its proxy released)
// through that apartment's message loop, and that thread may be waiting in Advise or
// Unadvise for the lock meanwhile. A sink unadvised after the copy is no longer in the
// table and is skipped; one unadvised during its call makes Unadvise wait for the call.
template <typename Call>
int Framewheel::FireEvent(SinkEvent event, Call call, size_t *registered)
{
    std::vector<SinkRegistration> targets;
    ComPtr<IGlobalInterfaceTable> table;
    {
        ReadGuard guard(sinkLock_);
        table = table_;
        try {
            targets = sinks_[event];
        } catch (const std::bad_alloc &) {
            targets.clear(); // nobody is called, nobody agrees
        }
        if (registered)
            *registered = sinks_[event].size();
    }
    if (targets.empty() || !AddRefIfAlive())
        return 0; // a dying player calls nobody
    GUID causality{};
    if (FAILED(CoGetCurrentLogicalThreadId(&causality)))
        causality = GUID_NULL;
    int agreed = 0;
    for (const SinkRegistration &target : targets) {
        // Marked before the look-up: an Unadvise that revokes the registration after this
        // point waits for the call, one before it makes the look-up fail.
        {
            CriticalSectionLock guard(callLock_);
            calling_ = true;
            callCookie_ = target.cookie;
            callThread_ = GetCurrentThreadId();
            callCausality_ = causality;
            ResetEvent(callEnded_.get());
        }
        HRESULT result = E_FAIL;
        {
            ComPtr<IHCYFramewheelEventSink> sink;
            if (SUCCEEDED(table->GetInterfaceFromGlobal(target.tableCookie, IID_PPV_ARGS(&sink))))
                result = call(sink.Get());
        }
        {
            CriticalSectionLock guard(callLock_);
            calling_ = false;
            SetEvent(callEnded_.get());
        }
        if (result == S_OK)
            ++agreed;
    }
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
    stopRequested_ = true;
}

void Framewheel::WaitForSinkCall(LONGLONG cookie)
{
    GUID causality{};
    if (FAILED(CoGetCurrentLogicalThreadId(&causality)))
        causality = GUID_NULL;
    for (;;) {
        {
            CriticalSectionLock guard(callLock_);
            if (!calling_ || callCookie_ != cookie || callThread_ == GetCurrentThreadId())
                return;
            // Called back from inside that call through another apartment.
            if (causality != GUID_NULL && causality == callCausality_)
                return;
        }
        WaitAnswering(callEnded_.get());
    }
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
