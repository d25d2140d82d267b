#include "Dispatch/DispatchSemaphore.h"
#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

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

constexpr auto kFastFlush = 33'333'333ns;
constexpr auto kSlowFlush = 66'666'666ns;

TEST(DispatchDelayedWork, FiresOnlyWhenTheManualClockReachesItsDueTime) {
    auto clock = std::make_shared<ManualClock>();
    SerialQueue queue("test.delay", clock);
    Log log;
    queue.asyncAfter(kFastFlush, [&] { log.add(1); });
    EXPECT_EQ(clock->advance(kFastFlush - 1ns), 0u);
    queue.sync([] {});
    EXPECT_TRUE(log.get().empty());
    EXPECT_EQ(clock->advance(1ns), 1u);
    queue.sync([] {});
    EXPECT_EQ(log.get(), std::vector<int>{1});
    EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST(DispatchDelayedWork, OrderedByDueTimeThenSubmission) {
    auto clock = std::make_shared<ManualClock>();
    SerialQueue queue("test.delayorder", clock);
    Log log;
    queue.asyncAfter(kSlowFlush, [&] { log.add(3); });
    queue.asyncAfter(kFastFlush, [&] { log.add(1); });
    queue.asyncAfter(kFastFlush, [&] { log.add(2); });
    queue.asyncAfter(3s, [&] { log.add(5); });
    queue.asyncAfter(kSlowFlush, [&] { log.add(4); });
    queue.asyncAfter(-5s, [&] { log.add(0); }); // a negative delay is "now"
    EXPECT_EQ(clock->advance(1s), 5u);
    queue.sync([] {});
    EXPECT_EQ(log.get(), (std::vector<int>{0, 1, 2, 3, 4}));
    clock->advance(2s);
    queue.sync([] {});
    EXPECT_EQ(log.get(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(DispatchDelayedWork, DelayIsMeasuredFromSchedulingTime) {
    auto clock = std::make_shared<ManualClock>();
    auto main = std::make_shared<DrivableMainQueue>(clock);
    Log log;
    clock->advance(10s);
    main->asyncAfter(3s, [&] { log.add(1); });
    clock->advance(2s);
    main->runUntilIdle();
    EXPECT_TRUE(log.get().empty());
    clock->advance(1s);
    EXPECT_EQ(main->runUntilIdle(), 1u);
    EXPECT_EQ(log.get(), std::vector<int>{1});
}

TEST(DispatchDelayedWork, CancelledBlockNeverRunsEvenAfterItReachedTheQueue) {
    auto clock = std::make_shared<ManualClock>();
    auto main = std::make_shared<DrivableMainQueue>(clock);
    Log log;
    auto before = main->asyncAfter(1s, [&] { log.add(1); });
    auto after = main->asyncAfter(1s, [&] { log.add(2); });
    auto kept = main->asyncAfter(1s, [&] { log.add(3); });
    before.cancel();
    EXPECT_TRUE(before.isCancelled());
    EXPECT_EQ(clock->pendingCount(), 2u); // the cancelled timer is gone from the clock
    clock->advance(1s);                   // the other two reach the main queue
    after.cancel();                       // cancelled while queued, before it runs
    main->runUntilIdle();
    EXPECT_EQ(log.get(), std::vector<int>{3});
    EXPECT_FALSE(kept.isCancelled());
    kept.cancel(); // cancelling after the run is harmless
    DelayedWork empty;
    empty.cancel();
    EXPECT_FALSE(empty);
}

TEST(DispatchDelayedWork, DestroyingTheQueueDropsItsDelayedWork) {
    // A terminal destroyed with a flush scheduled must see no flush.
    auto clock = std::make_shared<ManualClock>();
    auto flushed = std::make_shared<std::atomic<int>>(0);
    auto owner = std::make_shared<int>(1);
    std::weak_ptr<int> watch = owner;
    {
        SerialQueue render("test.render", clock);
        render.asyncAfter(kFastFlush, [flushed, owner] { ++*flushed; });
        owner.reset();
        EXPECT_EQ(clock->pendingCount(), 1u);
    }
    EXPECT_EQ(clock->pendingCount(), 0u);
    EXPECT_TRUE(watch.expired()); // the block's captures went with the queue
    EXPECT_EQ(clock->advance(1s), 0u);
    EXPECT_EQ(*flushed, 0);
}

TEST(DispatchDelayedWork, CancellingAfterTheQueueWentAwayIsHarmless) {
    auto clock = std::make_shared<ManualClock>();
    DelayedWork work;
    {
        SerialQueue queue("test.late", clock);
        work = queue.asyncAfter(1s, [] { FAIL() << "must not run"; });
    }
    work.cancel();
    EXPECT_EQ(clock->advance(2s), 0u);
}

TEST(DispatchDelayedWork, RealClockFiresInOrder) {
    SerialQueue queue("test.steady");
    Log log;
    DispatchSemaphore done(0);
    // The later block is due long after the earlier one, so a scheduling
    // stall of the test thread between the two calls cannot swap them.
    queue.asyncAfter(300ms, [&] {
        log.add(2);
        done.signal();
    });
    queue.asyncAfter(1ms, [&] { log.add(1); });
    auto cancelled = queue.asyncAfter(5ms, [&] { log.add(9); });
    cancelled.cancel();
    ASSERT_TRUE(done.waitFor(10s));
    EXPECT_EQ(log.get(), (std::vector<int>{1, 2}));
}

TEST(DispatchDelayedWork, ScheduledFromManyThreadsWhileTheClockAdvances) {
    auto clock = std::make_shared<ManualClock>();
    SerialQueue queue("test.racy", clock);
    std::atomic<int> ran{0};
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop)
            clock->advance(1ms);
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                auto w = queue.asyncAfter(std::chrono::milliseconds(i % 3), [&] { ++ran; });
                if (i % 10 == 0) w.cancel();
            }
        });
    for (auto& t : threads)
        t.join();
    stop = true;
    ticker.join();
    clock->advance(1s);
    queue.sync([] {});
    // 10 of each thread's 100 were cancelled, unless they had already run.
    EXPECT_GE(ran, 360);
    EXPECT_LE(ran, 400);
    EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST(DispatchDelayedWork, QueuesDestroyedWhileTheirTimersFireStaySound) {
    // Timers falling due on the real clock's thread race with the queues'
    // destructors; nothing may run after its queue is gone.
    std::atomic<int> lateRuns{0};
    for (int round = 0; round < 30; ++round) {
        auto queue = std::make_unique<SerialQueue>("test.race");
        auto open = std::make_shared<std::atomic<bool>>(true);
        for (int i = 0; i < 20; ++i)
            queue->asyncAfter(std::chrono::microseconds(i * 50), [open, &lateRuns] {
                if (!*open) ++lateRuns;
            });
        std::this_thread::sleep_for(std::chrono::microseconds(round * 20));
        queue.reset();
        *open = false;
    }
    std::this_thread::sleep_for(5ms); // any straggler would fire by now
    EXPECT_EQ(lateRuns, 0);
}

} // namespace
