#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>

// A counting semaphore, for bounding work in flight (the terminal lets at most
// four chunks of host output wait for its render queue). Waits are measured in
// real time, never on an injected clock: a semaphore waits for other threads,
// not for delayed work.
//
// A signal wakes a thread only when one sleeps: the standard library's
// semaphore makes a system call on every signal that finds the count at zero,
// which a producer kept at the bound makes it do for every unit.
class DispatchSemaphore {
public:
    // A semaphore whose `wait` first spins for up to `spin` before it sleeps:
    // a unit that comes back within that time then costs its signaller no
    // system call (for a producer that a busy consumer hands units back to
    // every few tens of microseconds).
    explicit DispatchSemaphore(std::ptrdiff_t value, std::chrono::nanoseconds spin = {})
        : count_(value), spin_(spin) {}

    DispatchSemaphore(const DispatchSemaphore&) = delete;
    DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

    void wait() {
        if (tryWait() || (spin_.count() > 0 && spinFor())) return;
        sleep(std::nullopt);
    }
    bool tryWait() {
        // Sequentially consistent: a sleeper's look at the count comes after
        // its count in sleepers_.
        std::ptrdiff_t count = count_.load();
        while (count > 0)
            if (count_.compare_exchange_weak(count, count - 1)) return true;
        return false;
    }
    // True when a unit was taken before the timeout ran out.
    bool waitFor(std::chrono::nanoseconds timeout) {
        return tryWait() || sleep(std::chrono::steady_clock::now() + timeout);
    }
    void signal() {
        // Sequentially consistent with the sleeper's count: either a sleeper
        // about to wait sees this unit, or this signal sees the sleeper.
        count_.fetch_add(1);
        if (sleepers_.load() == 0) return;
        std::lock_guard lock(mutex_);
        changed_.notify_one();
    }

private:
    // Sleeps, counted among the sleepers, until a unit is taken or `until`
    // (if any) has passed; true when a unit was taken.
    bool sleep(std::optional<std::chrono::steady_clock::time_point> until) {
        std::unique_lock lock(mutex_);
        sleepers_.fetch_add(1);
        const auto take = [this] { return tryWait(); };
        bool taken = true;
        if (until)
            taken = changed_.wait_until(lock, *until, take);
        else
            changed_.wait(lock, take);
        sleepers_.fetch_sub(1);
        return taken;
    }

    bool spinFor() {
        const auto until = std::chrono::steady_clock::now() + spin_;
        for (;;) {
            for (int i = 0; i < 64; ++i) {
                if (tryWait()) return true;
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            if (std::chrono::steady_clock::now() >= until) return false;
        }
    }

    std::atomic<std::ptrdiff_t> count_;
    std::atomic<int> sleepers_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::nanoseconds spin_;
};
