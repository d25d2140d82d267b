#include "Dispatch/DrivableMainQueue.h"

#include "Foundation/Assert.h"
#include <algorithm>

DrivableMainQueue::DrivableMainQueue(std::shared_ptr<DispatchClock> clock)
    : MainQueue(std::move(clock)), mainThread_(std::this_thread::get_id()) {}

DrivableMainQueue::~DrivableMainQueue() {
    closeGate();
    std::deque<DispatchBlock> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(blocks_);
    }
    // Dropping a sync request releases its caller; do it outside the lock.
}

void DrivableMainQueue::async(DispatchBlock block) {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
    arrived_.notify_all();
}

bool DrivableMainQueue::isCurrent() const {
    std::lock_guard lock(mutex_);
    return std::this_thread::get_id() == mainThread_;
}

void DrivableMainQueue::bindToCurrentThread() {
    std::lock_guard lock(mutex_);
    mainThread_ = std::this_thread::get_id();
}

bool DrivableMainQueue::runOne() {
    DispatchBlock block;
    {
        std::lock_guard lock(mutex_);
        if (blocks_.empty()) return false;
        block = std::move(blocks_.front());
        blocks_.pop_front();
    }
    {
        CurrentMarker marker(this);
        block();
    }
    return true;
}

std::size_t DrivableMainQueue::runUntilIdle() {
    ORVIK_ASSERT(isCurrent());
    std::size_t count = 0;
    while (runOne())
        ++count;
    return count;
}

bool DrivableMainQueue::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
    ORVIK_ASSERT(isCurrent());
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        while (runOne())
            if (done()) return true;
        if (done()) return true;
        // The condition may be met by another thread without any block
        // arriving, so the wait is cut into short slices that look again.
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return done();
        std::unique_lock lock(mutex_);
        arrived_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(1)),
                            [this] { return !blocks_.empty(); });
    }
}

std::size_t DrivableMainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}
