#include "Wendle/Views/WendleQtObservers.h"

#include "Dispatch/MainQueue.h"

#include <QCoreApplication>
#include <QThread>

WendleQtSubscription::WendleQtSubscription(QObject* receiver) : QObject(receiver) {}

WendleQtSubscription::~WendleQtSubscription() {
    // Posted deliveries check this on the GUI thread, where we are now.
    state_->alive = false;
    // Waits for a notice being handed over on another thread.
    token_.invalidate();
}

bool WendleQtSubscription::onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void WendleQtSubscription::post(std::function<void()> block) {
    if (auto main = MainQueue::main()) {
        main->async(std::move(block));
        return;
    }
    // No application: nothing could ever run it.
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(block), Qt::QueuedConnection);
}

WendleQtSubscription* observeNotification(QObject* receiver, std::string name,
                                          std::function<void(const Notification&)> callback,
                                          NotificationCenter& center) {
    auto* subscription = new WendleQtSubscription(receiver);
    subscription->setToken(center.addObserver(
        std::move(name), [subscription, callback = std::move(callback)](const Notification& notification) {
            subscription->deliver(callback, notification);
        }));
    return subscription;
}

WendleQtSubscription* observeKey(QObject* receiver, KeyValueObservable& model, std::string key,
                                 std::function<void(const std::string& key)> callback) {
    auto* subscription = new WendleQtSubscription(receiver);
    subscription->setToken(model.addObserver(
        std::move(key), [subscription, callback = std::move(callback)](const std::string& changed, bool) {
            subscription->deliver(callback, changed);
        }));
    return subscription;
}
