#include "Dispatch/SteadyClock.h"

#include <pthread.h>

std::shared_ptr<DispatchClock> DispatchClock::steady() {
    // Never destroyed: queues in static objects may still schedule at exit.
    static auto* clock = new std::shared_ptr<DispatchClock>(std::make_shared<SteadyClock>());
    return *clock;
}

SteadyClock::SteadyClock() : epoch_(std::chrono::steady_clock::now()) {}

SteadyClock::~SteadyClock() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

DispatchClock::Duration SteadyClock::now() const {
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - epoch_);
}

DispatchClock::TimerId SteadyClock::schedule(Duration due, std::function<void()> fire) {
    std::lock_guard lock(mutex_);
    TimerId id = nextId_++;
    timers_.emplace(Key{due, id}, std::move(fire));
    dueOf_.emplace(id, due);
    if (!thread_.joinable() && !stopping_) thread_ = std::thread([this] { run(); });
    wake_.notify_all();
    return id;
}

void SteadyClock::cancel(TimerId id) {
    std::function<void()> dropped;
    std::lock_guard lock(mutex_);
    auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    auto timer = timers_.find(Key{it->second, id});
    dropped = std::move(timer->second); // released after the lock, see declaration order
    timers_.erase(timer);
    dueOf_.erase(it);
}

void SteadyClock::run() {
    pthread_setname_np(pthread_self(), "dispatch-timer");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (timers_.empty()) {
            wake_.wait(lock);
            continue;
        }
        auto first = timers_.begin();
        Duration due = first->first.first;
        if (now() < due) {
            wake_.wait_until(lock, epoch_ + due);
            continue;
        }
        std::function<void()> fire = std::move(first->second);
        dueOf_.erase(first->first.second);
        timers_.erase(first);
        lock.unlock();
        fire();
        fire = nullptr;
        lock.lock();
    }
}
