#include "Wendle/Views/WendleQtMainQueue.h"

#include "Foundation/Assert.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

WendleQtMainQueue::WendleQtMainQueue(std::shared_ptr<DispatchClock> clock)
    : MainQueue(std::move(clock)), alive_(std::make_shared<std::atomic<bool>>(true)) {
    ORVIK_ASSERT(QCoreApplication::instance() != nullptr);
}

WendleQtMainQueue::~WendleQtMainQueue() {
    closeGate();
    alive_->store(false);
}

void WendleQtMainQueue::async(DispatchBlock block) {
    QCoreApplication* app = QCoreApplication::instance();
    // Without an application there is no event loop to run the block: it is
    // dropped, which releases a sync caller.
    if (!app) return;
    QMetaObject::invokeMethod(
        app,
        [this, alive = alive_, block = std::move(block)]() mutable {
            if (!alive->load()) return;
            DispatchBlock run = std::move(block);
            CurrentMarker marker(this);
            run();
        },
        Qt::QueuedConnection);
}

bool WendleQtMainQueue::isCurrent() const {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::shared_ptr<WendleQtMainQueue> WendleQtMainQueue::installAsMain() {
    auto queue = std::make_shared<WendleQtMainQueue>();
    MainQueue::setMain(queue);
    return queue;
}
