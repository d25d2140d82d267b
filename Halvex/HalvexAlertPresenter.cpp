#include "Halvex/HalvexAlertPresenter.h"

#include "Dispatch/MainQueue.h"
#include "Foundation/Log.h"
#include "Wendle/WendleDispatch.h"

#include <mutex>

namespace {
std::mutex gMutex;
std::shared_ptr<HalvexAlertPresenter> gPresenter;
} // namespace

std::shared_ptr<HalvexAlertPresenter> HalvexAlertPresenter::sharedPresenter() {
    std::lock_guard lock(gMutex);
    return gPresenter;
}

void HalvexAlertPresenter::setSharedPresenter(std::shared_ptr<HalvexAlertPresenter> presenter) {
    std::lock_guard lock(gMutex);
    gPresenter = std::move(presenter);
}

long HalvexAlertPresenter::run(const HalvexAlert& alert) {
    auto presenter = sharedPresenter();
    if (!presenter) {
        Log::warning("No one to ask \"{}\"; answered \"{}\"", alert.messageText,
                     alert.buttons.empty() ? std::string() : alert.buttons.front());
        return FirstButton;
    }
    if (!MainQueue::main()) return presenter->runModalAlert(alert);
    long answer = FirstButton;
    if (!WendleDispatchSyncOnMainQueue([&] { answer = presenter->runModalAlert(alert); })) {
        Log::warning("The main queue went away while asking \"{}\"; answered with its first button",
                     alert.messageText);
        return FirstButton;
    }
    return answer;
}
