#include "Dispatch/DispatchSemaphore.h"
#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Records from any thread.
struct Log {
    std::mutex mutex;
    std::vector<int> items;
    void add(int v) {
        std::lock_guard lock(mutex);
        items.push_back(v);
    }
    std::vector<int> get() {
        std::lock_guard lock(mutex);
        return items;
    }
};

TEST(DispatchSerialQueue, RunsBlocksOneAtATimeInSubmissionOrderFromManyThreads) {
    SerialQueue queue("test.order");
    Log log;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 200; ++i) {
                queue.async([&, p, i] {
                    if (running.fetch_add(1) != 0) overlapped = true;
                    log.add(p * 1000 + i);
                    running.fetch_sub(1);
                });
            }
        });
    }
    for (auto& t : producers)
        t.join();
    ASSERT_TRUE(queue.sync([] {}));
    auto items = log.get();
    ASSERT_EQ(items.size(), 800u);
    EXPECT_FALSE(overlapped);
    // Each producer's blocks keep their order.
    std::vector<int> last(4, -1);
    for (int v : items) {
        EXPECT_GT(v % 1000, last[v / 1000]);
        last[v / 1000] = v % 1000;
    }
}

TEST(DispatchSerialQueue, SyncRunsOnTheQueueThreadAfterEarlierBlocksAndInlineOnItself) {
    SerialQueue queue("test.sync");
    std::thread::id queueThread;
    std::vector<int> order;
    queue.async([&] {
        std::this_thread::sleep_for(5ms);
        order.push_back(1);
    });
    bool nestedRanInline = false;
    bool ran = queue.sync([&] {
        queueThread = std::this_thread::get_id();
        order.push_back(2);
        EXPECT_TRUE(queue.isCurrent());
        // A nested sync on the same queue runs at once rather than deadlocking.
        EXPECT_TRUE(queue.sync([&] { nestedRanInline = true; }));
    });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(nestedRanInline);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_NE(queueThread, std::this_thread::get_id());
    EXPECT_FALSE(queue.isCurrent());
}

TEST(DispatchSerialQueue, SyncBetweenTwoQueues) {
    SerialQueue a("test.a"), b("test.b");
    std::atomic<int> value{0};
    ASSERT_TRUE(a.sync([&] {
        EXPECT_TRUE(b.sync([&] {
            EXPECT_TRUE(b.isCurrent());
            EXPECT_FALSE(a.isCurrent());
            value = 7;
        }));
    }));
    EXPECT_EQ(value, 7);
}

TEST(DispatchSerialQueue, DestructionDropsQueuedWorkAndWaitsForTheRunningBlock) {
    std::atomic<int> ran{0};
    std::atomic<bool> firstFinished{false};
    DispatchSemaphore started(0);
    {
        SerialQueue queue("test.drop");
        queue.async([&] {
            started.signal();
            // Long enough that the destructor starts while this block runs,
            // even when the test thread is descheduled on a loaded machine.
            std::this_thread::sleep_for(300ms);
            firstFinished = true;
            ++ran;
        });
        for (int i = 0; i < 10; ++i)
            queue.async([&] { ++ran; });
        started.wait();
    }
    EXPECT_TRUE(firstFinished); // the destructor waited for it
    EXPECT_EQ(ran, 1);          // the queued ones were dropped
}

TEST(DispatchSerialQueue, ABlockMayDestroyItsOwnQueue) {
    auto* queue = new SerialQueue("test.self");
    DispatchSemaphore done(0);
    std::atomic<bool> laterRan{false};
    queue->async([&] {
        queue->async([&] { laterRan = true; });
        delete queue;
        done.signal();
    });
    ASSERT_TRUE(done.waitFor(5s));
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(laterRan);
}

TEST(DispatchSerialQueue, QueueSpecificValuesAreSeenOnlyByCodeOnThatQueue) {
    static const char key = 0;
    int marker = 42;
    SerialQueue a("test.spec.a"), b("test.spec.b");
    a.setSpecific(&key, &marker);
    void* onA = nullptr;
    void* onB = &marker;
    DispatchQueue* currentOnA = nullptr;
    a.sync([&] {
        onA = DispatchQueue::getSpecific(&key);
        currentOnA = DispatchQueue::current();
    });
    b.sync([&] { onB = DispatchQueue::getSpecific(&key); });
    EXPECT_EQ(onA, &marker);
    EXPECT_EQ(onB, nullptr);
    EXPECT_EQ(currentOnA, &a);
    EXPECT_EQ(DispatchQueue::getSpecific(&key), nullptr); // the test thread runs no queue
    a.setSpecific(&key, nullptr);
    a.sync([&] { onA = DispatchQueue::getSpecific(&key); });
    EXPECT_EQ(onA, nullptr);
}

TEST(DispatchSemaphore, BoundsWorkInFlight) {
    // The render pipeline's pattern: a producer takes a unit per chunk, the
    // queue gives it back when the chunk is done; a producer that spins before
    // it sleeps (as the terminal's does) is held to the same bound, and one
    // held past its spin still wakes.
    for (const std::chrono::nanoseconds spin :
         {std::chrono::nanoseconds(0), std::chrono::nanoseconds(60us)}) {
        SCOPED_TRACE(spin.count());
        DispatchSemaphore slots(4, spin);
        SerialQueue queue("test.sem");
        std::atomic<int> inFlight{0}, maxInFlight{0}, processed{0};
        DispatchSemaphore gate(0);
        std::thread producer([&] {
            for (int i = 0; i < 50; ++i) {
                slots.wait();
                int now = ++inFlight;
                int seen = maxInFlight;
                while (now > seen && !maxInFlight.compare_exchange_weak(seen, now)) {
                }
                queue.async([&] {
                    if (processed == 0) gate.wait(); // hold the first chunk so the producer fills up
                    ++processed;
                    --inFlight;
                    slots.signal();
                });
            }
        });
        std::this_thread::sleep_for(20ms);
        EXPECT_FALSE(slots.tryWait()); // all four units are taken while the queue is held
        gate.signal();
        producer.join();
        queue.sync([] {});
        EXPECT_EQ(processed, 50);
        EXPECT_EQ(maxInFlight, 4);
        EXPECT_TRUE(slots.waitFor(1ms));
        EXPECT_FALSE(slots.waitFor(1ms) && slots.waitFor(1ms) && slots.waitFor(1ms) && slots.waitFor(1ms));
    }
}

TEST(DispatchSemaphore, EverySignalReachesAThreadAsleep) {
    // Two threads hand one unit back and forth, each mostly asleep when the
    // other signals: a signal that missed a sleeper would stop the game.
    // Then units handed to two sleepers at once wake both.
    for (const std::chrono::nanoseconds spin : {std::chrono::nanoseconds(0), std::chrono::nanoseconds(5us)}) {
        SCOPED_TRACE(spin.count());
        DispatchSemaphore ping(0, spin), pong(0, spin);
        constexpr int kRounds = 20000;
        std::atomic<int> returned{0};
        std::thread other([&] {
            for (int i = 0; i < kRounds; ++i) {
                ping.wait();
                ++returned;
                pong.signal();
            }
        });
        int lost = 0;
        for (int i = 0; i < kRounds && lost == 0; ++i) {
            ping.signal();
            if (!pong.waitFor(10s)) ++lost;
        }
        EXPECT_EQ(lost, 0);
        for (int k = 0; lost && k < kRounds; ++k)
            ping.signal(); // lets the other thread end
        other.join();
        EXPECT_EQ(returned, kRounds);
        EXPECT_FALSE(ping.tryWait());
    }
    DispatchSemaphore both(0);
    std::atomic<int> woken{0};
    std::thread a([&] { woken += both.waitFor(10s); }), b([&] { woken += both.waitFor(10s); });
    std::this_thread::sleep_for(20ms);
    both.signal();
    both.signal();
    a.join();
    b.join();
    EXPECT_EQ(woken, 2);
}

} // namespace
