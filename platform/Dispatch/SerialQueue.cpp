#include "Dispatch/SerialQueue.h"

#include "Dispatch/DispatchDetail.h"

#include <deque>
#include <pthread.h>

using dispatch_detail::WorkerCore;

SerialQueue::SerialQueue(std::string label, std::shared_ptr<DispatchClock> clock)
    : DispatchQueue(std::move(clock)), label_(std::move(label)), core_(std::make_shared<WorkerCore>()) {
    thread_ = std::thread([core = core_, queue = this, name = label_.substr(0, 15)] {
        pthread_setname_np(pthread_self(), name.c_str());
        dispatch_detail::currentWorker() = core.get();
        CurrentMarker marker(queue);
        std::unique_lock lock(core->mutex);
        while (true) {
            core->wake.wait(lock, [&] { return core->stopping || !core->blocks.empty(); });
            if (core->stopping) break;
            DispatchBlock block = std::move(core->blocks.front());
            core->blocks.pop_front();
            lock.unlock();
            block();
            block = nullptr; // its captures go on the queue's thread, before the next block
            lock.lock();
        }
        dispatch_detail::currentWorker() = nullptr;
    });
}

SerialQueue::~SerialQueue() {
    closeGate();
    std::deque<DispatchBlock> dropped;
    std::shared_ptr<dispatch_detail::SyncTicket> blocked;
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
        dropped.swap(core_->blocks);
        blocked = core_->blockedOn;
        core_->wake.notify_all();
    }
    if (blocked) blocked->abandon();
    dropped.clear(); // releases sync callers waiting on dropped blocks
    if (thread_.get_id() == std::this_thread::get_id()) {
        forgetCurrent();
        thread_.detach();
    } else {
        thread_.join();
    }
}

void SerialQueue::async(DispatchBlock block) {
    std::lock_guard lock(core_->mutex);
    if (core_->stopping) return;
    core_->blocks.push_back(std::move(block));
    core_->wake.notify_one();
}

bool SerialQueue::isCurrent() const {
    return dispatch_detail::currentWorker() == core_.get();
}
