#include "Dispatch/DispatchQueue.h"

#include "Dispatch/DispatchDetail.h"
#include "Dispatch/MainQueue.h"

#include <algorithm>

namespace dispatch_detail {

bool SyncTicket::start() {
    std::lock_guard lock(mutex);
    if (state != State::Pending) return false;
    state = State::Running;
    return true;
}

void SyncTicket::finish() {
    std::lock_guard lock(mutex);
    state = State::Done;
    changed.notify_all();
}

void SyncTicket::abandon() {
    std::lock_guard lock(mutex);
    if (state != State::Pending) return;
    state = State::Abandoned;
    changed.notify_all();
}

bool SyncTicket::wait() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return state == State::Done || state == State::Abandoned; });
    return state == State::Done;
}

WorkerCore*& currentWorker() {
    thread_local WorkerCore* worker = nullptr;
    return worker;
}

namespace {
// Abandons the request when the last copy of its block goes without running,
// e.g. when the target queue is destroyed with the block still queued.
struct DropGuard {
    explicit DropGuard(std::shared_ptr<SyncTicket> t) : ticket(std::move(t)) {}
    DropGuard(const DropGuard&) = delete;
    DropGuard& operator=(const DropGuard&) = delete;
    ~DropGuard() { ticket->abandon(); }
    std::shared_ptr<SyncTicket> ticket;
};

thread_local DispatchQueue* tlsCurrentQueue = nullptr;
} // namespace

} // namespace dispatch_detail

using namespace dispatch_detail;

void DelayedWork::cancel() {
    if (!state_) return;
    state_->cancelled = true;
    auto gate = state_->gate.lock();
    if (!gate) return;
    std::shared_ptr<DispatchClock> clock;
    DispatchClock::TimerId timer = 0;
    {
        std::lock_guard lock(gate->mutex);
        timer = state_->timer;
        if (gate->timers.erase(timer) == 0) return; // fired already, or the queue closed
        clock = gate->clock;
    }
    clock->cancel(timer);
}

bool DelayedWork::isCancelled() const {
    return state_ && state_->cancelled;
}

DispatchQueue::DispatchQueue(std::shared_ptr<DispatchClock> clock)
    : clock_(clock ? std::move(clock) : DispatchClock::steady()), gate_(std::make_shared<Gate>()) {
    gate_->queue = this;
    gate_->clock = clock_;
}

DispatchQueue::~DispatchQueue() {
    closeGate();
}

void DispatchQueue::closeGate() {
    std::unordered_set<DispatchClock::TimerId> timers;
    {
        std::lock_guard lock(gate_->mutex);
        if (!gate_->queue) return;
        gate_->queue = nullptr;
        timers.swap(gate_->timers);
    }
    for (auto id : timers)
        clock_->cancel(id);
}

bool DispatchQueue::sync(DispatchBlock block) {
    if (isCurrent()) {
        block();
        return true;
    }
    auto ticket = std::make_shared<SyncTicket>();
    WorkerCore* me = currentWorker();
    if (me) {
        std::lock_guard lock(me->mutex);
        if (me->stopping) return false;
        me->blockedOn = ticket;
    }
    auto guard = std::make_shared<DropGuard>(ticket);
    async([guard = std::move(guard), block = std::move(block)] {
        if (!guard->ticket->start()) return;
        block();
        guard->ticket->finish();
    });
    bool ran = ticket->wait();
    if (me) {
        std::lock_guard lock(me->mutex);
        me->blockedOn.reset();
    }
    return ran;
}

DelayedWork DispatchQueue::asyncAfter(DispatchClock::Duration delay, DispatchBlock block) {
    auto state = std::make_shared<DelayedState>();
    state->gate = gate_;
    DispatchBlock wrapped = [state, block = std::move(block)] {
        if (!state->cancelled) block();
    };
    std::weak_ptr<Gate> weakGate = gate_;
    auto fire = [weakGate, state, wrapped = std::move(wrapped)]() mutable {
        auto gate = weakGate.lock();
        if (!gate) return;
        std::lock_guard lock(gate->mutex);
        if (!gate->queue || gate->timers.erase(state->timer) == 0) return;
        gate->queue->async(std::move(wrapped));
    };
    std::lock_guard lock(gate_->mutex);
    if (!gate_->queue) return DelayedWork(std::move(state)); // the queue is going away
    auto due = clock_->now() + std::max(delay, DispatchClock::Duration::zero());
    state->timer = clock_->schedule(due, std::move(fire));
    gate_->timers.insert(state->timer);
    return DelayedWork(std::move(state));
}

void DispatchQueue::setSpecific(const void* key, void* value) {
    std::lock_guard lock(specificsMutex_);
    if (value)
        specifics_[key] = value;
    else
        specifics_.erase(key);
}

void* DispatchQueue::specific(const void* key) const {
    std::lock_guard lock(specificsMutex_);
    auto it = specifics_.find(key);
    return it == specifics_.end() ? nullptr : it->second;
}

void* DispatchQueue::getSpecific(const void* key) {
    DispatchQueue* queue = current();
    return queue ? queue->specific(key) : nullptr;
}

DispatchQueue* DispatchQueue::current() {
    if (tlsCurrentQueue) return tlsCurrentQueue;
    auto main = MainQueue::main();
    if (main && main->isCurrent()) return main.get();
    return nullptr;
}

DispatchQueue::CurrentMarker::CurrentMarker(DispatchQueue* queue) : previous_(tlsCurrentQueue) {
    tlsCurrentQueue = queue;
}

DispatchQueue::CurrentMarker::~CurrentMarker() {
    tlsCurrentQueue = previous_;
}

void DispatchQueue::forgetCurrent() {
    tlsCurrentQueue = nullptr;
}
