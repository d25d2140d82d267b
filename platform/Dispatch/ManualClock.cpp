#include "Dispatch/ManualClock.h"

#include <algorithm>

ManualClock::ManualClock(Duration start) : now_(start) {}

DispatchClock::Duration ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

DispatchClock::TimerId ManualClock::schedule(Duration due, std::function<void()> fire) {
    std::lock_guard lock(mutex_);
    TimerId id = nextId_++;
    timers_.emplace(Key{due, id}, std::move(fire));
    dueOf_.emplace(id, due);
    return id;
}

void ManualClock::cancel(TimerId id) {
    std::function<void()> dropped;
    std::lock_guard lock(mutex_);
    auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    auto timer = timers_.find(Key{it->second, id});
    dropped = std::move(timer->second);
    timers_.erase(timer);
    dueOf_.erase(it);
}

std::size_t ManualClock::advance(Duration by) {
    Duration target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + std::max(by, Duration::zero());
    }
    return advanceTo(target);
}

std::size_t ManualClock::advanceTo(Duration time) {
    std::size_t fired = 0;
    while (true) {
        std::function<void()> fire;
        {
            std::lock_guard lock(mutex_);
            auto first = timers_.begin();
            if (first == timers_.end() || first->first.first > time) {
                now_ = std::max(now_, time);
                return fired;
            }
            now_ = std::max(now_, first->first.first);
            fire = std::move(first->second);
            dueOf_.erase(first->first.second);
            timers_.erase(first);
        }
        fire();
        ++fired;
    }
}

std::size_t ManualClock::pendingCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}
