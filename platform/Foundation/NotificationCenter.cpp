#include "Foundation/NotificationCenter.h"

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

ObservationToken NotificationCenter::addObserver(std::string name, Callback callback) {
    return observers_.add(std::move(name), std::move(callback));
}

void NotificationCenter::postNotification(const Notification& notification) const {
    observers_.notify(notification.name, notification);
}

void NotificationCenter::postNotification(std::string name, std::any object, nlohmann::json userInfo) const {
    postNotification(Notification{std::move(name), std::move(object), std::move(userInfo)});
}
