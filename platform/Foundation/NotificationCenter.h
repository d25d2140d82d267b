#pragma once

#include "Foundation/Notification.h"
#include "Foundation/ObservationToken.h"
#include "Foundation/ObserverList.h"

#include <functional>
#include <string>

// Process-wide (or private) notification centre. Posting calls every observer
// of the name synchronously on the posting thread, in registration order.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    // An empty name observes every notification.
    [[nodiscard]] ObservationToken addObserver(std::string name, Callback callback);

    void postNotification(const Notification& notification) const;
    void postNotification(std::string name, std::any object = {}, nlohmann::json userInfo = nullptr) const;

private:
    ObserverList<const Notification&> observers_;
};
