#pragma once

#include "Dispatch/DispatchClock.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

// The real clock: std::chrono::steady_clock, with one timer thread (started on
// the first schedule) that fires due timers in order.
class SteadyClock final : public DispatchClock {
public:
    SteadyClock();
    ~SteadyClock() override; // stops the timer thread; unfired timers are dropped

    SteadyClock(const SteadyClock&) = delete;
    SteadyClock& operator=(const SteadyClock&) = delete;

    Duration now() const override;
    TimerId schedule(Duration due, std::function<void()> fire) override;
    void cancel(TimerId id) override;

private:
    using Key = std::pair<Duration, TimerId>; // due, then submission order
    void run();

    const std::chrono::steady_clock::time_point epoch_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::map<Key, std::function<void()>> timers_;
    std::unordered_map<TimerId, Duration> dueOf_;
    TimerId nextId_ = 1;
    bool stopping_ = false;
    std::thread thread_;
};
