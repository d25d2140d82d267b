#pragma once

#include "Dispatch/DispatchQueue.h"

#include <memory>

// The queue of the main thread. The application binds it to Qt's event loop;
// tests bind a DrivableMainQueue and run its blocks when they choose. Only
// async() and isCurrent() are the binding's; sync() and asyncAfter() come from
// DispatchQueue, so a sync hop from the main thread runs at once.
//
// Rule of use: nothing the main thread may wait for ever waits for the main
// thread. A sync hop to the main queue is for threads the main thread never
// blocks on (an SSH thread, a render queue the main thread only posts to).
// The one wait the main thread makes on a serial queue, in its destructor, is
// safe: a block of that queue waiting in a sync hop is released, not awaited.
class MainQueue : public DispatchQueue {
public:
    // The process-wide main queue that code without a queue of its own hops
    // to. Set once by the application (or by a test), before any thread uses
    // it; set nullptr to unbind.
    static void setMain(std::shared_ptr<MainQueue> queue);
    static std::shared_ptr<MainQueue> main();

protected:
    using DispatchQueue::DispatchQueue;
};
