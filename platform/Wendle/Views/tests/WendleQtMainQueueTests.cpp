// The main queue bound to Qt's event loop.

#include "Wendle/Views/WendleQtMainQueue.h"
#include "Wendle/Views/tests/DialogTestSupport.h"
#include "Wendle/WendleDispatch.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using dialog_test::pumpEvents;

namespace {

TEST(WendleQtMainQueue, BlocksRunInOrderOnTheGuiThreadFromTheEventLoop) {
    auto queue = std::make_shared<WendleQtMainQueue>();
    EXPECT_TRUE(queue->isCurrent());
    std::vector<int> order;
    std::thread::id ranOn;
    std::thread poster([&] {
        EXPECT_FALSE(queue->isCurrent());
        for (int i = 0; i < 5; ++i)
            queue->async([&order, &ranOn, i] {
                order.push_back(i);
                ranOn = std::this_thread::get_id();
            });
    });
    poster.join();
    EXPECT_TRUE(order.empty()); // nothing runs until the event loop does
    pumpEvents();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(WendleQtMainQueue, SyncFromAWorkerWaitsForTheEventLoopAndFromTheGuiThreadRunsAtOnce) {
    auto queue = std::make_shared<WendleQtMainQueue>();
    MainQueue::setMain(queue);
    bool inline_ = false;
    EXPECT_TRUE(WendleDispatchSyncOnMainQueue([&] { inline_ = true; }));
    EXPECT_TRUE(inline_);

    std::atomic<bool> done{false};
    std::atomic<bool> ranOnGui{false};
    const std::thread::id gui = std::this_thread::get_id();
    std::thread worker([&] {
        const bool ran = WendleDispatchSyncOnMainQueue([&] { ranOnGui = std::this_thread::get_id() == gui; });
        EXPECT_TRUE(ran);
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_TRUE(ranOnGui);
    MainQueue::setMain(nullptr);
}

TEST(WendleQtMainQueue, ADestroyedQueueDropsTheBlocksStillWaitingInTheEventLoop) {
    auto queue = std::make_shared<WendleQtMainQueue>();
    int ran = 0;
    queue->async([&] { ++ran; });
    auto kept = std::make_shared<int>(0);
    std::weak_ptr<int> watch = kept;
    queue->async([kept = std::move(kept)] {});
    queue.reset();
    pumpEvents();
    EXPECT_EQ(ran, 0);
    // The dropped block itself is released, with what it held.
    EXPECT_TRUE(watch.expired());
}

} // namespace
