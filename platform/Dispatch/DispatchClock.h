#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// The time source behind delayed work. Queues never read the system clock
// directly so that tests can swap in a ManualClock and fire delayed work (a
// render flush, a reconnect retry) exactly when they choose.
//
// A clock also keeps the timers: schedule() calls `fire` once, on a thread of
// the clock's choosing, when the clock reaches `due`. Timers fire in order of
// due time, then in the order they were scheduled. `fire` must be short: a
// queue's timer only hands its block to the queue.
class DispatchClock {
public:
    using Duration = std::chrono::nanoseconds;
    using TimerId = std::uint64_t;

    virtual ~DispatchClock() = default;

    // Time since the clock's own epoch; never goes backwards.
    virtual Duration now() const = 0;

    // Returns an id for cancel(); ids are never 0.
    virtual TimerId schedule(Duration due, std::function<void()> fire) = 0;

    // Forgets a timer that has not fired yet; does nothing otherwise.
    virtual void cancel(TimerId id) = 0;

    // The process-wide real clock (steady, unaffected by wall-clock changes).
    static std::shared_ptr<DispatchClock> steady();
};
