#include "shared_clock.h"

#include <wrl/client.h>

#include <utility>

#include "render_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

// The pointer is raw and the state never destroyed: nothing is released when the library
// unloads, when it may no longer be safe.
SRWLOCK lock = SRWLOCK_INIT;
IReferenceClock *theClock = nullptr;
long users = 0;

} // namespace

void SharedClock::Join()
{
    AcquireSRWLockExclusive(&lock);
    ++users;
    ReleaseSRWLockExclusive(&lock);
}

void SharedClock::Leave()
{
    IReferenceClock *freed = nullptr;
    AcquireSRWLockExclusive(&lock);
    if (--users == 0)
        freed = std::exchange(theClock, nullptr);
    ReleaseSRWLockExclusive(&lock);
    if (freed)
        freed->Release();
}

void SharedClock::Time(IGraphBuilder *graph)
{
    ComPtr<IReferenceClock> shared;
    AcquireSRWLockExclusive(&lock);
    if (!theClock)
        (void)CoCreateInstance(kSystemClockClass, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                               reinterpret_cast<void **>(&theClock));
    shared = theClock;
    ReleaseSRWLockExclusive(&lock);
    ComPtr<IMediaFilter> timing;
    if (shared && SUCCEEDED(graph->QueryInterface(IID_IMediaFilter,
                                                  reinterpret_cast<void **>(timing.GetAddressOf()))))
        (void)timing->SetSyncSource(shared.Get());
}
