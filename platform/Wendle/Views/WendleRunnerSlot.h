#pragma once

#include <memory>
#include <mutex>
#include <utility>

// The process-wide slot of one injectable runner (alerts, file panels): the
// real runner unless another was installed. Thread-safe.
template <class Runner, class Default>
class WendleRunnerSlot {
public:
    std::shared_ptr<Runner> get() {
        std::lock_guard lock(mutex_);
        if (!runner_) runner_ = std::make_shared<Default>();
        return runner_;
    }
    // Installs `runner` (null restores the default) and returns the previous one.
    std::shared_ptr<Runner> exchange(std::shared_ptr<Runner> runner) {
        std::lock_guard lock(mutex_);
        return std::exchange(runner_, std::move(runner));
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Runner> runner_;
};

// Installs a runner for the lifetime of the object, then puts back the one it
// replaced. Runner is a class with static install(std::shared_ptr<Runner>).
template <class Runner>
class WendleScopedRunner {
public:
    explicit WendleScopedRunner(std::shared_ptr<Runner> runner)
        : previous_(Runner::install(std::move(runner))) {}
    ~WendleScopedRunner() { Runner::install(std::move(previous_)); }
    WendleScopedRunner(const WendleScopedRunner&) = delete;
    WendleScopedRunner& operator=(const WendleScopedRunner&) = delete;

private:
    std::shared_ptr<Runner> previous_;
};
