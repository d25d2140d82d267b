#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/SerialQueue.h"
#include "Wendle/WendleDispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class WendleDispatchTest : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::setMain(main_); }
    void TearDown() override { MainQueue::setMain(nullptr); }
    std::shared_ptr<DrivableMainQueue> main_ = std::make_shared<DrivableMainQueue>();
};

TEST_F(WendleDispatchTest, SyncOnTheMainThreadRunsAtOnce) {
    bool ran = false;
    EXPECT_TRUE(WendleDispatchSyncOnMainQueue([&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_EQ(main_->pendingCount(), 0u);
}

TEST_F(WendleDispatchTest, SyncFromAnotherThreadHasRunOnTheMainThreadOnReturn) {
    std::vector<int> order; // touched on the main thread only
    std::atomic<bool> done{false};
    std::thread ssh([&] {
        WendleDispatchAsyncOnMainQueue([&] { order.push_back(1); });
        EXPECT_TRUE(WendleDispatchSyncOnMainQueue([&] {
            EXPECT_TRUE(main_->isCurrent());
            order.push_back(2);
        }));
        done = true;
    });
    EXPECT_TRUE(main_->runUntil([&] { return done.load(); }, 10s));
    ssh.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2})); // queued work before it ran first
}

TEST_F(WendleDispatchTest, AsyncOnlyQueues) {
    int ran = 0;
    WendleDispatchAsyncOnMainQueue([&] { ++ran; });
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(main_->runUntilIdle(), 1u);
    EXPECT_EQ(ran, 1);
}

} // namespace
