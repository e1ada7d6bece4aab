#include "graph_turn.h"

namespace {

// The one turn of the process. The event is set exactly while nobody holds the turn;
// both change together under the lock.
struct Turn {
    SRWLOCK lock = SRWLOCK_INIT;
    ULONGLONG holder = 0; // the holding ticket, 0 when free
    ULONGLONG lastTicket = 0;
    ULONGLONG since = 0;  // GetTickCount64 when the holder took it
    HANDLE free = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    volatile LONG holdLimitMs = GraphTurn::kHoldLimitMs;
};

// Never destroyed: loaders left to the system may take or give the turn during the
// process's end, after static destructors ran.
Turn &TheTurn()
{
    static Turn *turn = new Turn;
    return *turn;
}

thread_local int depth = 0;

// Takes the turn when it is free or its holder has had it past the limit; otherwise the
// milliseconds to wait before asking again.
bool TryTake(Turn &turn, ULONGLONG &ticket, DWORD &wait)
{
    AcquireSRWLockExclusive(&turn.lock);
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG limit = static_cast<ULONGLONG>(turn.holdLimitMs);
    const bool take = turn.holder == 0 || now - turn.since >= limit;
    if (take) {
        ticket = ++turn.lastTicket;
        turn.holder = ticket;
        turn.since = now;
        ResetEvent(turn.free);
    } else {
        wait = static_cast<DWORD>(limit - (now - turn.since));
    }
    ReleaseSRWLockExclusive(&turn.lock);
    return take;
}

} // namespace

GraphTurn::GraphTurn()
{
    if (depth++ > 0)
        return;
    Turn &turn = TheTurn();
    DWORD wait = 0;
    while (!TryTake(turn, ticket_, wait)) {
        // Sent messages are handled inside PeekMessage; posted ones stay queued.
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &turn.free, wait, QS_SENDMESSAGE, 0);
        if (woken == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (woken == WAIT_FAILED) {
            Sleep(1); // no event to wait on: the limit still ends the wait
        }
    }
}

GraphTurn::~GraphTurn()
{
    if (--depth > 0)
        return;
    Turn &turn = TheTurn();
    AcquireSRWLockExclusive(&turn.lock);
    // A turn taken away meanwhile belongs to its new holder.
    if (turn.holder == ticket_) {
        turn.holder = 0;
        SetEvent(turn.free);
    }
    ReleaseSRWLockExclusive(&turn.lock);
}

bool GraphTurn::HeldHere()
{
    return depth > 0;
}

void GraphTurn::SetHoldLimit(DWORD ms)
{
    InterlockedExchange(&TheTurn().holdLimitMs, static_cast<LONG>(ms));
}
