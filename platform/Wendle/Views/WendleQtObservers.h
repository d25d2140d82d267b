#pragma once

#include "Foundation/KeyValueObservable.h"
#include "Foundation/NotificationCenter.h"
#include "Foundation/ObservationToken.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

// Views observe the notification centre and the models' key changes through
// subscriptions owned by a QObject (the receiver), so that they end with it:
//
//     observeNotification(this, "OrvikFontDidChange", [this](const Notification& n) { ... });
//     observeKey(this, *model, "name", [this](const std::string& key) { ... });
//
// The callback always runs on the GUI thread: at once when the notice comes
// from the GUI thread, otherwise posted through the main queue
// (MainQueue::main(), or Qt's event loop when none is bound) with a copy of
// the notice. A callback never runs once its subscription is destroyed,
// whether the receiver died or the subscription was deleted on its own,
// including notices posted from another thread and not delivered yet.
//
// The subscription goes when the receiver's QObject part is destroyed, that
// is after the receiver's own destructor body and members: a receiver whose
// destructor may cause a notice it observes deletes the subscription first.
// Receivers live on the GUI thread.
class WendleQtSubscription : public QObject {
    Q_OBJECT

public:
    // A child of `receiver`.
    explicit WendleQtSubscription(QObject* receiver);
    ~WendleQtSubscription() override;

    // Calls `callback` with `args` on the GUI thread, as above. Thread-safe.
    template <class... Args>
    void deliver(const std::function<void(const Args&...)>& callback, const Args&... args) const {
        if (onGuiThread()) {
            if (state_->alive) callback(args...);
            return;
        }
        post([state = state_, callback, args...] {
            if (state->alive) callback(args...);
        });
    }

    // Keeps the observation registered while the subscription lives.
    void setToken(ObservationToken token) { token_ = std::move(token); }

private:
    struct State {
        std::atomic<bool> alive{true};
    };
    static bool onGuiThread();
    static void post(std::function<void()> block);

    std::shared_ptr<State> state_ = std::make_shared<State>();
    ObservationToken token_;
};

// Observes notifications named `name` (every notification when empty).
WendleQtSubscription* observeNotification(QObject* receiver, std::string name,
                                          std::function<void(const Notification&)> callback,
                                          NotificationCenter& center = NotificationCenter::defaultCenter());

// Observes the changes of `key` of `model` (every key when empty); the
// callback hears the key that changed, after the change. The model may go
// first.
WendleQtSubscription* observeKey(QObject* receiver, KeyValueObservable& model, std::string key,
                                 std::function<void(const std::string& key)> callback);
