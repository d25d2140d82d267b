#pragma once

#include "Foundation/ObservationToken.h"
#include "Foundation/ObserverList.h"

#include <functional>
#include <string>

// Change notices of one object's keys. Setters that change an observed value
// call willChangeValueForKey and didChangeValueForKey around the change;
// observers hear the did-notice, and also the will-notice when they ask for it
// (prior). Copying an object never copies its observers.
class KeyValueObservable {
public:
    // isPrior is true for the notice sent before the change.
    using Callback = std::function<void(const std::string& key, bool isPrior)>;

    KeyValueObservable() = default;
    KeyValueObservable(const KeyValueObservable&) {}
    KeyValueObservable& operator=(const KeyValueObservable&) { return *this; }
    virtual ~KeyValueObservable() = default;

    // An empty key observes every key.
    [[nodiscard]] ObservationToken addObserver(std::string key, Callback callback, bool prior = false);

    void willChangeValueForKey(const std::string& key) const;
    void didChangeValueForKey(const std::string& key) const;

private:
    ObserverList<const std::string&, bool> observers_;
};
