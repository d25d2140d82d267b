#include "Dispatch/DispatchSemaphore.h"
#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Waits (bounded) until the main queue holds `count` blocks.
bool waitForPending(DrivableMainQueue& main, std::size_t count) {
    for (int i = 0; i < 5000; ++i) {
        if (main.pendingCount() == count) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

TEST(DispatchMainQueue, RunsBlocksOnlyWhenDrivenAndInOrder) {
    DrivableMainQueue main;
    std::vector<int> order;
    main.async([&] {
        order.push_back(1);
        main.async([&] { order.push_back(3); }); // queued while running: also run
    });
    main.async([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(main.pendingCount(), 2u);
    EXPECT_EQ(main.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(main.runUntilIdle(), 0u);
}

TEST(DispatchMainQueue, SyncFromTheMainThreadRunsAtOnce) {
    DrivableMainQueue main;
    bool ran = false;
    EXPECT_TRUE(main.isCurrent());
    EXPECT_TRUE(main.sync([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(main.pendingCount(), 0u);
}

TEST(DispatchMainQueue, SyncFromAWorkerWaitsForTheMainThread) {
    DrivableMainQueue main;
    std::atomic<bool> returned{false};
    std::thread::id ranOn;
    std::thread worker([&] {
        EXPECT_FALSE(main.isCurrent());
        EXPECT_TRUE(main.sync([&] { ranOn = std::this_thread::get_id(); }));
        returned = true;
    });
    EXPECT_TRUE(main.runUntil([&] { return ranOn != std::thread::id(); }, 10s));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(DispatchMainQueue, RunUntilGivesUpAfterTheTimeout) {
    DrivableMainQueue main;
    bool never = false;
    EXPECT_FALSE(main.runUntil([&] { return never; }, 20ms));
}

TEST(DispatchMainQueue, BindToCurrentThreadMovesTheMainThread) {
    DrivableMainQueue main;
    std::atomic<bool> ranOnOther{false};
    std::thread other([&] {
        main.bindToCurrentThread();
        EXPECT_TRUE(main.isCurrent());
        main.async([&] { ranOnOther = main.isCurrent(); });
        main.runUntilIdle();
    });
    other.join();
    EXPECT_TRUE(ranOnOther);
    EXPECT_FALSE(main.isCurrent());
}

TEST(DispatchMainQueue, SharedMainQueueIsCurrentQueueOnTheMainThread) {
    auto main = std::make_shared<DrivableMainQueue>();
    MainQueue::setMain(main);
    EXPECT_EQ(MainQueue::main(), main);
    EXPECT_EQ(DispatchQueue::current(), main.get());
    DispatchQueue* onWorker = main.get();
    std::thread([&] { onWorker = DispatchQueue::current(); }).join();
    EXPECT_EQ(onWorker, nullptr);
    MainQueue::setMain(nullptr);
    EXPECT_EQ(DispatchQueue::current(), nullptr);
}

TEST(DispatchMainQueue, DestroyedWithASyncRequestQueuedReleasesTheCaller) {
    auto main = std::make_unique<DrivableMainQueue>();
    std::atomic<int> result{-1};
    std::atomic<bool> ran{false};
    std::thread worker([&] { result = main->sync([&] { ran = true; }) ? 1 : 0; });
    ASSERT_TRUE(waitForPending(*main, 1));
    main.reset();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
}

// The terminal's case: the render queue's flush hops synchronously to the main
// queue while the main thread destroys the terminal, and with it the render
// queue. The destructor must not wait for the hop, and the flush must not run.
TEST(DispatchMainQueue, DestroyingARenderQueueWhoseBlockWaitsForMainDoesNotDeadlock) {
    auto clock = std::make_shared<ManualClock>();
    DrivableMainQueue main(clock);
    auto render = std::make_unique<SerialQueue>("test.render", clock);
    std::atomic<int> hop{-1};
    std::atomic<bool> flushRan{false};
    std::atomic<bool> afterHop{false};
    render->asyncAfter(33'333'333ns, [&] {
        hop = main.sync([&] { flushRan = true; }) ? 1 : 0;
        // Further hops from a queue being destroyed return at once.
        afterHop = !main.sync([&] { flushRan = true; });
    });
    clock->advance(33'333'333ns);
    ASSERT_TRUE(waitForPending(main, 1)); // the flush is waiting for the main thread
    render.reset();                       // on the main thread
    EXPECT_EQ(hop, 0);
    EXPECT_TRUE(afterHop);
    EXPECT_EQ(main.runUntilIdle(), 1u); // the abandoned request does nothing
    EXPECT_FALSE(flushRan);
}

TEST(DispatchMainQueue, RenderPipelineRoundTrip) {
    // Four chunks bounded by a semaphore, scanned on the render queue, one
    // flush scheduled on the virtual clock that hops to the main thread.
    auto clock = std::make_shared<ManualClock>();
    DrivableMainQueue main(clock);
    SerialQueue render("test.pipeline", clock);
    DispatchSemaphore slots(4);
    std::atomic<int> scanned{0};
    std::atomic<bool> flushScheduled{false};
    std::vector<int> flushes; // main thread only
    std::thread host([&] {
        for (int i = 0; i < 20; ++i) {
            slots.wait();
            render.async([&] {
                ++scanned;
                if (!flushScheduled.exchange(true)) {
                    render.asyncAfter(33'333'333ns, [&] {
                        flushScheduled = false;
                        int seen = scanned;
                        main.sync([&, seen] { flushes.push_back(seen); });
                    });
                }
                slots.signal();
            });
        }
    });
    host.join();
    render.sync([] {});
    EXPECT_EQ(scanned, 20);
    EXPECT_TRUE(flushes.empty());
    clock->advance(33'333'333ns);
    EXPECT_TRUE(main.runUntil([&] { return !flushes.empty(); }, 10s));
    EXPECT_EQ(flushes, std::vector<int>{20});
    render.sync([] {});
    EXPECT_EQ(clock->pendingCount(), 0u);
}

} // namespace
