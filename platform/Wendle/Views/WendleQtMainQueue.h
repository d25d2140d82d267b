#pragma once

#include "Dispatch/MainQueue.h"

#include <atomic>
#include <memory>

// The main queue bound to Qt's event loop: blocks are posted to the
// application object and run by the event loop of the GUI thread, in order.
// A sync hop from another thread waits only for the event loop to reach the
// block; the GUI thread itself never waits here (its hops run at once).
//
// Destroying the queue drops the blocks still waiting in the event loop (a
// sync hop waiting for one of them is released).
class WendleQtMainQueue final : public MainQueue {
public:
    // Needs a QCoreApplication; the GUI thread is the application's thread.
    explicit WendleQtMainQueue(std::shared_ptr<DispatchClock> clock = DispatchClock::steady());
    ~WendleQtMainQueue() override;

    void async(DispatchBlock block) override;
    bool isCurrent() const override;

    // Creates a queue and makes it the process-wide main queue.
    static std::shared_ptr<WendleQtMainQueue> installAsMain();

private:
    // Shared with the posted blocks, which run only while it is set.
    std::shared_ptr<std::atomic<bool>> alive_;
};
