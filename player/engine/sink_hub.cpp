#include "sink_hub.h"

SinkHub::~SinkHub()
{
    if (!table_)
        return;
    for (auto &list : sinks_) {
        for (const Registration &registration : list)
            table_->RevokeInterfaceFromGlobal(registration.tableCookie);
        list.clear();
    }
}

HRESULT SinkHub::Advise(IHCYFramewheelEventSink *sink, DWORD eventMask, LONGLONG *cookie)
{
    if (!cookie)
        return E_POINTER;
    const LONGLONG value = static_cast<LONGLONG>(
        (static_cast<ULONGLONG>(eventMask) << 32) |
        static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(sink)));
    *cookie = value;
    if (!sink && (eventMask & EVENT_ALL))
        return E_POINTER;

    WriteGuard guard(lock_);
    if (!table_) {
        const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&table_));
        if (FAILED(hr))
            return hr;
    }
    // A sink that cannot be reached from the playback thread must not look registered.
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
    return S_OK;
}

void SinkHub::Remove(LONGLONG cookie)
{
    WriteGuard guard(lock_);
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

void SinkHub::WaitForCall(LONGLONG cookie)
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

size_t SinkHub::Count(SinkEvent event)
{
    ReadGuard guard(lock_);
    return sinks_[event].size();
}

SinkHub::Targets SinkHub::TargetsOf(SinkEvent event, size_t *registered)
{
    Targets targets;
    ReadGuard guard(lock_);
    targets.table = table_;
    try {
        targets.list = sinks_[event];
    } catch (const std::bad_alloc &) {
        targets.list.clear();
    }
    if (registered)
        *registered = sinks_[event].size();
    return targets;
}

// Marked before the look-up: an Unadvise that revokes the registration after this point
// waits for the call, one before it makes the look-up fail.
void SinkHub::BeginCall(LONGLONG cookie, const GUID &causality)
{
    CriticalSectionLock guard(callLock_);
    calling_ = true;
    callCookie_ = cookie;
    callThread_ = GetCurrentThreadId();
    callCausality_ = causality;
    ResetEvent(callEnded_.get());
}

void SinkHub::EndCall()
{
    CriticalSectionLock guard(callLock_);
    calling_ = false;
    SetEvent(callEnded_.get());
}
