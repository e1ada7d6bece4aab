// The graph turn: one holder at a time, a stuck holder losing it after the hold limit
// without breaking it for everybody else, and turns nested on one thread.
#include <gtest/gtest.h>

#include <atomic>

#include "graph_turn.h"
#include "handles.h"
#include "test_support.h"
#include "variants.h"

namespace {

// Counts holders that overlap; the stuck holder, once its turn was taken, is not counted.
struct Overlap {
    std::atomic<int> inside{0};
    std::atomic<int> worst{0};
    void Enter()
    {
        const int now = ++inside;
        int seen = worst.load();
        while (now > seen && !worst.compare_exchange_weak(seen, now)) {
        }
    }
    void Leave() { --inside; }
};

struct Holder {
    UniqueHandle took{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle thread;
    Overlap *overlap = nullptr; // null: not counted
    DWORD holdMs = INFINITE;    // or until release is set
    ULONGLONG tookAt = 0, leftAt = 0;

    void Start(Overlap *counted, DWORD ms = INFINITE)
    {
        overlap = counted;
        holdMs = ms;
        thread.reset(CreateThread(nullptr, 0, &Holder::Main, this, 0, nullptr));
    }
    static DWORD WINAPI Main(void *param)
    {
        auto &self = *static_cast<Holder *>(param);
        GraphTurn turn;
        self.tookAt = GetTickCount64();
        if (self.overlap)
            self.overlap->Enter();
        SetEvent(self.took.get());
        WaitForSingleObject(self.release.get(), self.holdMs);
        if (self.overlap)
            self.overlap->Leave();
        self.leftAt = GetTickCount64();
        return 0;
    }
};

struct HoldLimit {
    explicit HoldLimit(DWORD ms) { GraphTurn::SetHoldLimit(ms); }
    ~HoldLimit() { GraphTurn::SetHoldLimit(GraphTurn::kHoldLimitMs); }
};

} // namespace

TEST(GraphTurn, AStuckHolderLosesItsTurnOnceAndTheOthersStillTakeTurns)
{
    constexpr DWORD kLimit = 1500;
    HoldLimit limit(kLimit);
    Holder stuck;
    stuck.Start(nullptr);
    ASSERT_EQ(WaitForSingleObject(stuck.took.get(), 5000), DWORD(WAIT_OBJECT_0));

    // The first to ask after the stuck one waits out the limit, then has the turn.
    Overlap overlap;
    Holder first, second;
    first.Start(&overlap);
    ASSERT_EQ(WaitForSingleObject(first.took.get(), 10000), DWORD(WAIT_OBJECT_0));
    EXPECT_GE(first.tookAt - stuck.tookAt, kLimit - 50);

    // From then on holders take turns again, and the stuck holder's late release gives away
    // nobody's turn: the second waits for the first.
    second.Start(&overlap);
    EXPECT_EQ(WaitForSingleObject(second.took.get(), 150), DWORD(WAIT_TIMEOUT));
    SetEvent(stuck.release.get());
    ASSERT_EQ(WaitForSingleObject(stuck.thread.get(), 5000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(second.took.get(), 100), DWORD(WAIT_TIMEOUT));
    const ULONGLONG released = GetTickCount64();
    SetEvent(first.release.get());
    ASSERT_EQ(WaitForSingleObject(second.took.get(), 10000), DWORD(WAIT_OBJECT_0));
    // Given back by its holder, the turn is taken at once, not after the limit.
    EXPECT_LT(second.tookAt - released, kLimit / 2);
    SetEvent(second.release.get());
    WaitForSingleObject(first.thread.get(), 5000);
    WaitForSingleObject(second.thread.get(), 5000);
    EXPECT_EQ(overlap.worst.load(), 1);
}

TEST(GraphTurn, NestedOnOneThreadItIsTheSameTurn)
{
    EXPECT_FALSE(GraphTurn::HeldHere());
    Holder other;
    {
        GraphTurn outer;
        {
            GraphTurn inner; // would wait for itself otherwise
            EXPECT_TRUE(GraphTurn::HeldHere());
        }
        EXPECT_TRUE(GraphTurn::HeldHere());
        // Still held after the inner one ended: another thread does not have it.
        other.Start(nullptr);
        EXPECT_EQ(WaitForSingleObject(other.took.get(), 200), DWORD(WAIT_TIMEOUT));
    }
    EXPECT_FALSE(GraphTurn::HeldHere());
    EXPECT_EQ(WaitForSingleObject(other.took.get(), 5000), DWORD(WAIT_OBJECT_0));
    SetEvent(other.release.get());
    WaitForSingleObject(other.thread.get(), 5000);
}

// A graph is built, unloaded and freed only in turn, on whatever thread: a free on the
// playback thread while a loader builds another graph crashed Wine's sound library.
TEST(GraphTurn, RenderersBuildAndFreeGraphsInTurn)
{
    if (ClipPath(L"").empty())
        GTEST_SKIP() << "RH_MEDIA_DIR not set (run through render_tests.sh)";
    ComApartment com(COINIT_MULTITHREADED);
    UniqueWindow window = CreatePlayerWindow(320, 240);
    const MediaItem item = TestItem(ClipPath(L"tone.avi")); // video with sound
    constexpr DWORD kHoldMs = 2000;                         // far above a load's time

    enum Step { kBuild, kUnload, kFree };
    for (Step step : {kBuild, kUnload, kFree}) {
        auto renderer = std::make_unique<RHWindowedRenderer>(item, window.get(), true);
        if (step != kBuild) {
            ASSERT_HR(S_OK, LoadShown(*renderer));
        }
        Holder other;
        other.Start(nullptr, kHoldMs);
        ASSERT_EQ(WaitForSingleObject(other.took.get(), 5000), DWORD(WAIT_OBJECT_0));
        switch (step) {
        case kBuild:
            EXPECT_HR(S_OK, LoadShown(*renderer));
            break;
        case kUnload:
            renderer->Unload();
            break;
        case kFree:
            renderer.reset();
            break;
        }
        const ULONGLONG done = GetTickCount64();
        WaitForSingleObject(other.thread.get(), 5000);
        EXPECT_GE(done, other.leftAt) << "step " << step << " went ahead of the turn's holder";
    }
}
