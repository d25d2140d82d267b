#pragma once

#include <functional>

// Hops to the process-wide main queue (MainQueue::main(), bound by the
// application or a test). Calling either with no main queue bound is a
// programming error and stops the program.

// Runs the block on the main thread and returns when it has run; on the main
// thread it runs at once. Returns false, the block not run, when the hop was
// given up: the main queue went away, or the calling serial queue is being
// destroyed (its owner is gone, so its work is moot).
bool WendleDispatchSyncOnMainQueue(std::function<void()> block);

// Queues the block on the main queue and returns at once.
void WendleDispatchAsyncOnMainQueue(std::function<void()> block);
