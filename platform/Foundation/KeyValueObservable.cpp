#include "Foundation/KeyValueObservable.h"

ObservationToken KeyValueObservable::addObserver(std::string key, Callback callback, bool prior) {
    return observers_.add(std::move(key),
                          [callback = std::move(callback), prior](const std::string& k, bool isPrior) {
                              if (!isPrior || prior) callback(k, isPrior);
                          });
}

void KeyValueObservable::willChangeValueForKey(const std::string& key) const {
    observers_.notify(key, key, true);
}

void KeyValueObservable::didChangeValueForKey(const std::string& key) const {
    observers_.notify(key, key, false);
}
