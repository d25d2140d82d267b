#include "Halvex/HalvexAlertPresenter.h"

#include "Foundation/Log.h"

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
    return presenter->runModalAlert(alert);
}
