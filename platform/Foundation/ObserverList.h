#pragma once

#include "Foundation/ObservationToken.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Observers keyed by a name, shared by the per-model change notices and the
// notification centre. Calls are made on the notifying thread, outside the
// list's lock, over a snapshot: an observer may add or remove observers (itself
// included) from inside its callback. A removal waits for a call of that
// observer that is running on another thread, so the owner of the callback may
// be destroyed right after its token.
template <class... Args>
class ObserverList {
public:
    using Callback = std::function<void(Args...)>;

    ObserverList() : state_(std::make_shared<State>()) {}
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    // An empty name observes every name.
    ObservationToken add(std::string name, Callback callback) {
        auto entry = std::make_shared<Entry>();
        entry->name = std::move(name);
        entry->callback = std::move(callback);
        {
            std::lock_guard lock(state_->mutex);
            state_->entries.push_back(entry);
        }
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Entry> weakEntry = entry;
        return ObservationToken([weakState, weakEntry] {
            auto e = weakEntry.lock();
            if (!e) return;
            if (auto s = weakState.lock()) {
                std::lock_guard lock(s->mutex);
                std::erase(s->entries, e);
            }
            e->alive = false;
            // Wait for a call running elsewhere; a call on this thread holds
            // the recursive lock already and is not waited for.
            std::lock_guard callLock(e->callMutex);
        });
    }

    void notify(const std::string& name, Args... args) const {
        std::vector<std::shared_ptr<Entry>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            snapshot = state_->entries;
        }
        for (const auto& e : snapshot) {
            if (!e->name.empty() && e->name != name) continue;
            std::lock_guard callLock(e->callMutex);
            if (e->alive) e->callback(args...);
        }
    }

    bool empty() const {
        std::lock_guard lock(state_->mutex);
        return state_->entries.empty();
    }

private:
    struct Entry {
        std::string name;
        Callback callback;
        std::atomic<bool> alive{true};
        std::recursive_mutex callMutex;
    };
    struct State {
        mutable std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    std::shared_ptr<State> state_;
};
