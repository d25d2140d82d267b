#pragma once

#include "Dispatch/DispatchClock.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

using DispatchBlock = std::function<void()>;

class DispatchQueue;

namespace dispatch_detail {
struct Gate;
struct SyncTicket;
struct DelayedState;
} // namespace dispatch_detail

// A handle on one block scheduled with asyncAfter(). cancel() makes sure the
// block never starts: its owner may cancel it in its destructor (or on the
// queue itself) and then be sure that no stray flush or retry touches it. A
// block that has already started runs to its end. Copies share the block.
class DelayedWork {
public:
    DelayedWork() = default;

    void cancel();
    bool isCancelled() const;
    explicit operator bool() const { return state_ != nullptr; }

private:
    friend class DispatchQueue;
    explicit DelayedWork(std::shared_ptr<dispatch_detail::DelayedState> state) : state_(std::move(state)) {}
    std::shared_ptr<dispatch_detail::DelayedState> state_;
};

// What every queue offers: blocks run one at a time, in submission order, on
// the queue's thread (a SerialQueue's own thread, or the main thread for a
// MainQueue).
//
// Destroying a queue drops the blocks that have not started (queued and
// delayed), and a sync() waiting for one of them returns false. Dropping, not
// draining, is the rule because the owner of a queue is usually what its
// blocks work on: once the owner goes, their work is moot.
class DispatchQueue {
public:
    virtual ~DispatchQueue();

    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    // Queues the block and returns at once.
    virtual void async(DispatchBlock block) = 0;

    // Runs the block on the queue and returns when it has run: true then.
    // On the queue itself it runs at once (a serial queue cannot wait for
    // itself). False, with the block not run, when the block was dropped
    // because this queue went away, or because the calling thread's own
    // serial queue is being destroyed; then the caller must just unwind.
    bool sync(DispatchBlock block);

    // Queues the block when the queue's clock has advanced by `delay`.
    // Delayed blocks reach the queue in due-time order, then submission order.
    DelayedWork asyncAfter(DispatchClock::Duration delay, DispatchBlock block);

    // True on this queue's thread (for the main queue: on the main thread).
    virtual bool isCurrent() const = 0;

    const std::shared_ptr<DispatchClock>& clock() const { return clock_; }

    // Queue-specific values: set on a queue, read back by whatever code runs
    // on it, so that a layer can tell which of its queues (if any) it is on
    // without being handed the queue. Keys are addresses; values are not
    // owned. Setting nullptr removes the key.
    void setSpecific(const void* key, void* value);
    void* specific(const void* key) const;
    // The value for `key` of the queue the calling thread is running, or
    // nullptr (also when the thread runs no queue).
    static void* getSpecific(const void* key);

    // The queue whose block the calling thread is running: its serial queue,
    // else the shared main queue on the main thread, else nullptr.
    static DispatchQueue* current();

protected:
    explicit DispatchQueue(std::shared_ptr<DispatchClock> clock);

    // Stops delayed blocks from reaching this queue. A derived destructor
    // calls it first, before its own members go.
    void closeGate();

    // For a serial queue destroyed by its own block: the rest of that block
    // must not find the queue as current any more.
    static void forgetCurrent();

    // For the queue's threads: marks the calling thread as running `queue`
    // until the marker goes, so current() and getSpecific() find it.
    class CurrentMarker {
    public:
        explicit CurrentMarker(DispatchQueue* queue);
        ~CurrentMarker();
        CurrentMarker(const CurrentMarker&) = delete;
        CurrentMarker& operator=(const CurrentMarker&) = delete;

    private:
        DispatchQueue* previous_;
    };

private:
    std::shared_ptr<DispatchClock> clock_;
    std::shared_ptr<dispatch_detail::Gate> gate_;
    mutable std::mutex specificsMutex_;
    std::unordered_map<const void*, void*> specifics_;
};
