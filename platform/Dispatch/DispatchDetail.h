#pragma once

// Internals shared by the queue implementations; not for use outside Dispatch.

#include "Dispatch/DispatchQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace dispatch_detail {

// One synchronous request: the waiting caller and the queue that runs the
// block meet here. A request that is dropped before it starts is abandoned,
// which releases the caller.
struct SyncTicket {
    enum class State { Pending, Running, Done, Abandoned };

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Pending;

    bool start();
    void finish();
    void abandon(); // only while still pending
    bool wait();    // true when the block ran
};

// Links a queue with the timers of its delayed blocks. Timers reach the
// queue through the gate, so once the queue closes it nothing more arrives.
struct Gate {
    std::mutex mutex;
    DispatchQueue* queue = nullptr;
    std::shared_ptr<DispatchClock> clock;
    std::unordered_set<DispatchClock::TimerId> timers;
};

struct DelayedState {
    std::atomic<bool> cancelled{false};
    DispatchClock::TimerId timer = 0; // guarded by the gate's mutex
    std::weak_ptr<Gate> gate;
};

// The working part of a serial queue, shared with its thread so that a queue
// destroyed by one of its own blocks stays sound until the block returns.
struct WorkerCore {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<DispatchBlock> blocks;
    bool stopping = false;
    // The sync request this queue's thread is waiting on, if any.
    std::shared_ptr<SyncTicket> blockedOn;
};

// The worker core of the serial queue the calling thread belongs to.
WorkerCore*& currentWorker();

} // namespace dispatch_detail
