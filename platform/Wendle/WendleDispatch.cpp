#include "Wendle/WendleDispatch.h"

#include "Dispatch/MainQueue.h"
#include "Foundation/Assert.h"

bool WendleDispatchSyncOnMainQueue(std::function<void()> block) {
    auto main = MainQueue::main();
    ORVIK_ASSERT(main != nullptr);
    return main->sync(std::move(block));
}

void WendleDispatchAsyncOnMainQueue(std::function<void()> block) {
    auto main = MainQueue::main();
    ORVIK_ASSERT(main != nullptr);
    main->async(std::move(block));
}
