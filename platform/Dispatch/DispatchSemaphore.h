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
    // A semaphore whose `wait` first spins for up to `spin` before it sleeps:
    // a unit that comes back within that time then costs its signaller no
    // system call (for a producer that a busy consumer hands units back to
    // every few tens of microseconds).
    explicit DispatchSemaphore(std::ptrdiff_t value, std::chrono::nanoseconds spin = {})
        : semaphore_(value), spin_(spin) {}

    DispatchSemaphore(const DispatchSemaphore&) = delete;
    DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

    void wait() {
        if (spin_.count() > 0 && spinFor()) return;
        semaphore_.acquire();
    }
    bool tryWait() { return semaphore_.try_acquire(); }
    // True when a unit was taken before the timeout ran out.
    bool waitFor(std::chrono::nanoseconds timeout) { return semaphore_.try_acquire_for(timeout); }
    void signal() { semaphore_.release(); }

private:
    bool spinFor() {
        const auto until = std::chrono::steady_clock::now() + spin_;
        for (;;) {
            for (int i = 0; i < 64; ++i) {
                if (semaphore_.try_acquire()) return true;
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            if (std::chrono::steady_clock::now() >= until) return false;
        }
    }

    std::counting_semaphore<> semaphore_;
    std::chrono::nanoseconds spin_;
};
