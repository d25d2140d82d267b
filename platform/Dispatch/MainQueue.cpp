#include "Dispatch/MainQueue.h"

#include <mutex>
#include <utility>

namespace {
std::mutex& mainMutex() {
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<MainQueue>& mainSlot() {
    static std::shared_ptr<MainQueue> queue;
    return queue;
}
} // namespace

void MainQueue::setMain(std::shared_ptr<MainQueue> queue) {
    std::shared_ptr<MainQueue> previous;
    {
        std::lock_guard lock(mainMutex());
        previous = std::exchange(mainSlot(), std::move(queue));
    }
    // `previous` may be the last owner: let it go outside the lock.
}

std::shared_ptr<MainQueue> MainQueue::main() {
    std::lock_guard lock(mainMutex());
    return mainSlot();
}
