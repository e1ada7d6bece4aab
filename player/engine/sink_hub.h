// The player's event sinks: registration, the Global Interface Table that carries each sink
// to the playback thread (marshalled when it lives in another apartment), and the one sink
// call in flight, which Unadvise waits for.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <new>
#include <vector>

#include "abi.h"
#include "command_queue.h"
#include "handles.h"

// Sink lists, one per event, in the order of the EVENT_* bits (bit = 1 << index).
enum SinkEvent : int {
    SINK_PLAYBACK_ENDED = 0,
    SINK_INPUT = 1,
    SINK_MONITOR_POWER = 2,
    SINK_QUERY_CLOSE = 3,
    SINK_EVENT_COUNT = 4,
};

class SinkHub {
public:
    struct Registration {
        LONGLONG cookie;   // low half the sink pointer, high half the event mask
        DWORD tableCookie; // the Global Interface Table's
    };
    // The sinks of one event as they stood when an event began.
    struct Targets {
        std::vector<Registration> list;
        Microsoft::WRL::ComPtr<IGlobalInterfaceTable> table;
    };

    SinkHub() = default;
    ~SinkHub();
    SinkHub(const SinkHub &) = delete;
    SinkHub &operator=(const SinkHub &) = delete;

    bool valid() const { return lock_.valid() && callEnded_; }

    // All registrations of the call or none; the cookie is written even on failure.
    [[nodiscard]] HRESULT Advise(IHCYFramewheelEventSink *sink, DWORD eventMask, LONGLONG *cookie);
    // Removes every registration under the cookie; a call already running may still end.
    void Remove(LONGLONG cookie);
    // Returns once no call to a sink registered under the cookie is running, unless that call
    // is the one this thread serves (a sink unadvising itself from its own event).
    void WaitForCall(LONGLONG cookie);
    size_t Count(SinkEvent event);

    // The sinks of one event; *registered, when given, how many there are. Empty when
    // memory runs out: nobody is called, nobody agrees.
    Targets TargetsOf(SinkEvent event, size_t *registered = nullptr);
    // Calls each target in registration order; answers how many returned S_OK. The lock is
    // not held meanwhile: a sink in a single-threaded apartment is called (and its proxy
    // released) through that apartment's message loop, and that thread may be waiting in
    // Advise or Unadvise for the lock. A sink unadvised before its look-up is skipped; one
    // unadvised during its call makes Unadvise wait for the call.
    template <typename Call>
    int CallEach(const Targets &targets, Call call)
    {
        GUID causality{};
        if (FAILED(CoGetCurrentLogicalThreadId(&causality)))
            causality = GUID_NULL;
        int agreed = 0;
        for (const Registration &target : targets.list) {
            BeginCall(target.cookie, causality);
            HRESULT result = E_FAIL;
            {
                Microsoft::WRL::ComPtr<IHCYFramewheelEventSink> sink;
                if (SUCCEEDED(targets.table->GetInterfaceFromGlobal(target.tableCookie, IID_PPV_ARGS(&sink))))
                    result = call(sink.Get());
            }
            EndCall();
            if (result == S_OK)
                ++agreed;
        }
        return agreed;
    }

private:
    void BeginCall(LONGLONG cookie, const GUID &causality);
    void EndCall();

    SharedLock lock_;
    std::vector<Registration> sinks_[SINK_EVENT_COUNT];
    Microsoft::WRL::ComPtr<IGlobalInterfaceTable> table_;

    // The sink call in flight (events are fired on the playback thread only, so at most
    // one): its registration cookie, calling thread and COM logical thread, which a sink
    // called through another apartment carries into the calls it makes back.
    CriticalSection callLock_;
    UniqueHandle callEnded_{CreateEventW(nullptr, TRUE, TRUE, nullptr)}; // set while none
    bool calling_ = false;
    LONGLONG callCookie_ = 0;
    DWORD callThread_ = 0;
    GUID callCausality_{};
};
