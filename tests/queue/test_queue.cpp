// CommandQueue, SharedLock and the command words, exercised with real threads. Every wait
// is bounded; a hang ends the process through the workers' limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "command_queue.h"
#include "test_threads.h"

namespace {

TEST(CommandWords, Expansions)
{
    // A renderer word brings a load's work and more; a load word brings its own; anything
    // else is carried out as it is.
    const std::pair<LONG, LONG> cases[] = {
        {CMD_RENDERER, 0x3bf}, {CMD_RENDERER | CMD_PLAY, 0x3bd | CMD_RENDERER | CMD_PLAY}, {CMD_LOAD, 0x1bd},
        {CMD_LOAD | CMD_SINKS, 0x1bd | CMD_SINKS}, {CMD_VOLUME | CMD_PLAY, CMD_VOLUME | CMD_PLAY}, {0, 0}};
    for (auto [word, expanded] : cases)
        EXPECT_EQ(expanded, ExpandCommand(word)) << "word 0x" << std::hex << word;
}

TEST(CommandQueue, EmptyTakeAndEventReset)
{
    CommandQueue queue;
    ASSERT_TRUE(queue.valid());
    EXPECT_EQ(CMD_NONE, queue.Take());
    EXPECT_FALSE(IsSignalled(queue.WakeEvent()));

    // Take on an empty queue leaves the event alone, signalled or not.
    SetEvent(queue.WakeEvent());
    EXPECT_EQ(CMD_NONE, queue.Take());
    EXPECT_TRUE(IsSignalled(queue.WakeEvent()));

    // Two posts: one wake-up, both words in order; taking the last resets the event, so a
    // reader that comes back to wait sleeps.
    queue.Post(CMD_PLAY);
    queue.Post(CMD_LOAD | CMD_SEEK);
    EXPECT_EQ(CMD_PLAY, queue.Take());
    EXPECT_EQ(CMD_LOAD | CMD_SEEK, queue.Take());
    EXPECT_EQ(CMD_NONE, queue.Take());
    EXPECT_FALSE(IsSignalled(queue.WakeEvent()));

    queue.Post(CMD_STOP);
    EXPECT_TRUE(IsSignalled(queue.WakeEvent()));
    EXPECT_FALSE(IsSignalled(queue.WakeEvent())); // auto-reset: one wake-up per signal
    EXPECT_EQ(CMD_STOP, queue.Take());
}

// Producers on three threads, one reader that waits and drains as the playback thread
// does: every word arrives exactly once, each producer's words in order, and the reader
// never sleeps through a word (a lost wake-up shows as a wait that times out).
TEST(CommandQueue, ProducersAndOneReaderLoseNothing)
{
    constexpr LONG kPerProducer = 20000;
    constexpr int kProducers = 3;
    CommandQueue queue;

    std::vector<LONG> next(kProducers, 0);
    std::atomic<bool> ordered{true};
    LONG received = 0, idleWakeUps = 0;
    bool timedOut = false;
    Worker reader([&] {
        while (received < kPerProducer * kProducers) {
            if (WaitForSingleObject(queue.WakeEvent(), 5000) != WAIT_OBJECT_0) {
                timedOut = true;
                return;
            }
            bool any = false;
            for (LONG word; (word = queue.Take()) != CMD_NONE;) {
                any = true;
                const int producer = word >> 24, sequence = word & 0xffffff;
                if (sequence != next[producer]++)
                    ordered = false;
                ++received;
            }
            if (!any)
                ++idleWakeUps;
        }
    });
    std::vector<std::unique_ptr<Worker>> producers;
    for (int p = 0; p < kProducers; ++p)
        producers.push_back(std::make_unique<Worker>([&queue, p] {
            for (LONG i = 0; i < kPerProducer; ++i) {
                queue.Post((p << 24) | i);
                if (i % 512 == 0)
                    Sleep(0);
            }
        }));
    for (auto &producer : producers)
        ASSERT_TRUE(producer->Finished(30000));
    ASSERT_TRUE(reader.Finished(30000));
    EXPECT_FALSE(timedOut) << "reader slept through a posted word";
    EXPECT_EQ(kPerProducer * kProducers, received);
    EXPECT_TRUE(ordered); // with the count: each producer's words exactly once
    // A wake-up that finds nothing can only come from a signal left behind by a word the
    // reader had already taken; the reset on emptying prevents that.
    EXPECT_EQ(0, idleWakeUps);
    EXPECT_EQ(CMD_NONE, queue.Take());
}

// A worker that takes the lock, reports it holds it, then holds it until released.
struct Holder {
    UniqueHandle holding{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::unique_ptr<Worker> worker;

    Holder(SharedLock &lock, bool write)
    {
        worker = std::make_unique<Worker>([this, &lock, write] {
            write ? lock.WriteLock() : lock.ReadLock();
            SetEvent(holding.get());
            WaitForSingleObject(release.get(), 20000);
            write ? lock.WriteUnlock() : lock.ReadUnlock();
        });
    }
    bool Holding(DWORD ms) { return WaitForSingleObject(holding.get(), ms) == WAIT_OBJECT_0; }
    void Release() { SetEvent(release.get()); }
};

TEST(SharedLock, ReadersShareAndAWriterWaitsForAll)
{
    SharedLock lock;
    ASSERT_TRUE(lock.valid());
    lock.ReadLock();
    Holder second(lock, false);
    EXPECT_TRUE(second.Holding(5000)) << "a second reader was blocked by the first";

    Holder writer(lock, true);
    EXPECT_FALSE(writer.Holding(200)) << "writer got in while two readers held the lock";
    lock.ReadUnlock();
    EXPECT_FALSE(writer.Holding(200)) << "writer got in while one reader still held it";
    second.Release();
    EXPECT_TRUE(writer.Holding(5000));
    writer.Release();
    EXPECT_TRUE(writer.worker->Finished(5000));
}

TEST(SharedLock, AWriterExcludesLaterReadersAndWriters)
{
    SharedLock lock;
    Holder writer(lock, true);
    ASSERT_TRUE(writer.Holding(5000));
    Holder reader(lock, false);
    Holder otherWriter(lock, true);
    EXPECT_FALSE(reader.Holding(200)) << "reader got in beside a writer";
    EXPECT_FALSE(otherWriter.Holding(10)) << "second writer got in beside a writer";
    writer.Release();
    // Which of the two waiting goes first is the system's choice; never both at once.
    HANDLE either[] = {reader.holding.get(), otherWriter.holding.get()};
    const DWORD first = WaitForMultipleObjects(2, either, FALSE, 5000);
    ASSERT_TRUE(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1);
    Holder &winner = first == WAIT_OBJECT_0 ? reader : otherWriter;
    Holder &loser = first == WAIT_OBJECT_0 ? otherWriter : reader;
    EXPECT_FALSE(loser.Holding(200)) << "a reader and a writer held the lock together";
    winner.Release();
    EXPECT_TRUE(loser.Holding(5000));
    loser.Release();

    // The writing thread may read as well (a sink called back on the playback thread may
    // ask GetItem), and the lock is free for others afterwards.
    lock.WriteLock();
    lock.ReadLock();
    lock.ReadUnlock();
    lock.WriteUnlock();
    Holder after(lock, true);
    EXPECT_TRUE(after.Holding(5000));
    after.Release();
    EXPECT_TRUE(lock.TryWriteLock(5000)); // everyone has left
    lock.WriteUnlock();
}

// Readers and writers hammering one lock: writers are alone, readers never see a writer,
// nobody waits forever.
TEST(SharedLock, MixedLoadKeepsExclusion)
{
    SharedLock lock;
    std::atomic<int> readers{0}, writers{0};
    std::atomic<bool> violated{false};
    std::atomic<LONG> writes{0}, reads{0};
    const DWORD end = GetTickCount() + 1500;
    std::vector<std::unique_ptr<Worker>> workers;
    for (int t = 0; t < 4; ++t)
        workers.push_back(std::make_unique<Worker>([&, t] {
            for (unsigned i = 0; GetTickCount() < end; ++i) {
                const bool write = (i + t) % 4 == 0;
                write ? lock.WriteLock() : lock.ReadLock();
                std::atomic<int> &inside = write ? writers : readers;
                const int before = inside.fetch_add(1);
                if (write ? before != 0 || readers.load() != 0 : writers.load() != 0)
                    violated = true;
                YieldProcessor();
                inside.fetch_sub(1);
                write ? lock.WriteUnlock() : lock.ReadUnlock();
                ++(write ? writes : reads);
            }
        }));
    for (auto &worker : workers)
        EXPECT_TRUE(worker->Finished(30000));
    EXPECT_FALSE(violated);
    EXPECT_GT(writes.load(), 0);
    EXPECT_GT(reads.load(), 0);
}

} // namespace
