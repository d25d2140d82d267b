#pragma once

#include <chrono>
#include <cstddef>
#include <semaphore>

// A counting semaphore, for bounding work in flight (the terminal lets at most
// four chunks of host output wait for its render queue). Waits are measured in
// real time, never on an injected clock: a semaphore waits for other threads,
// not for delayed work.
class DispatchSemaphore {
public:
    explicit DispatchSemaphore(std::ptrdiff_t value) : semaphore_(value) {}

    DispatchSemaphore(const DispatchSemaphore&) = delete;
    DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

    void wait() { semaphore_.acquire(); }
    bool tryWait() { return semaphore_.try_acquire(); }
    // True when a unit was taken before the timeout ran out.
    bool waitFor(std::chrono::nanoseconds timeout) { return semaphore_.try_acquire_for(timeout); }
    void signal() { semaphore_.release(); }

private:
    std::counting_semaphore<> semaphore_;
};
