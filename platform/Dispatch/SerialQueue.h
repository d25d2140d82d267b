#pragma once

#include "Dispatch/DispatchQueue.h"

#include <memory>
#include <string>
#include <thread>

namespace dispatch_detail {
struct WorkerCore;
}

// A serial queue on a thread of its own: blocks run one at a time, in the
// order they were queued. Used for each terminal's render queue and each port
// forwarding's queue.
//
// Destruction drops every block not yet started (queued and delayed) and then
// waits for the running block, if any, to return. If that block is waiting in
// a sync() on another queue for a block that has not started, the wait is
// released (sync() returns false) so that destroying a terminal from the main
// thread cannot deadlock with its render queue hopping to the main thread.
// A block may destroy its own queue: the queue then stops after that block
// without waiting for itself.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label, std::shared_ptr<DispatchClock> clock = DispatchClock::steady());
    ~SerialQueue() override;

    void async(DispatchBlock block) override;
    bool isCurrent() const override;

    const std::string& label() const { return label_; }

private:
    const std::string label_;
    std::shared_ptr<dispatch_detail::WorkerCore> core_;
    std::thread thread_;
};
