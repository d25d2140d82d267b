#pragma once

#include "Dispatch/DispatchClock.h"

#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

// A clock that only moves when a test says so. advance() fires every timer
// that falls due, on the calling thread, in due-then-submission order, so a
// test decides exactly when a delayed block reaches its queue.
class ManualClock final : public DispatchClock {
public:
    explicit ManualClock(Duration start = Duration::zero());

    Duration now() const override;
    TimerId schedule(Duration due, std::function<void()> fire) override;
    void cancel(TimerId id) override;

    // Moves the clock forward and fires the timers that are due; returns how
    // many fired. While a timer fires, now() reads that timer's due time.
    std::size_t advance(Duration by);
    std::size_t advanceTo(Duration time);

    // Timers scheduled and not yet fired or cancelled.
    std::size_t pendingCount() const;

private:
    using Key = std::pair<Duration, TimerId>;

    mutable std::mutex mutex_;
    Duration now_;
    std::map<Key, std::function<void()>> timers_;
    std::unordered_map<TimerId, Duration> dueOf_;
    TimerId nextId_ = 1;
};
