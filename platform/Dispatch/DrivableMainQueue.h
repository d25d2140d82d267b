#pragma once

#include "Dispatch/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A main queue for tests: the thread that creates it (or that calls
// bindToCurrentThread) is the main thread, and blocks run only while that
// thread drives the queue. Destroying it drops the blocks not yet run.
class DrivableMainQueue final : public MainQueue {
public:
    explicit DrivableMainQueue(std::shared_ptr<DispatchClock> clock = DispatchClock::steady());
    ~DrivableMainQueue() override;

    void async(DispatchBlock block) override;
    bool isCurrent() const override;

    void bindToCurrentThread();

    // Runs queued blocks, including the ones they queue, until none is left;
    // returns how many ran. Main thread only.
    std::size_t runUntilIdle();

    // Runs blocks as they arrive until `done` holds (checked after each block
    // and while idle) or `timeout` of real time has passed; returns whether
    // `done` holds. Main thread only.
    bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout);

    // Blocks queued and not yet run.
    std::size_t pendingCount() const;

private:
    bool runOne();

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<DispatchBlock> blocks_;
    std::thread::id mainThread_;
};
