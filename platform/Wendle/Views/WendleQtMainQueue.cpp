#include "Rellum/View/RellumQtMainQueue.h"

#include "Foundation/Assert.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

RellumQtMainQueue::RellumQtMainQueue(std::shared_ptr<DispatchClock> clock)
    : MainQueue(std::move(clock)), alive_(std::make_shared<std::atomic<bool>>(true)) {
    ORVIK_ASSERT(QCoreApplication::instance() != nullptr);
}

RellumQtMainQueue::~RellumQtMainQueue() {
    closeGate();
    alive_->store(false);
}

void RellumQtMainQueue::async(DispatchBlock block) {
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

bool RellumQtMainQueue::isCurrent() const {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

std::shared_ptr<RellumQtMainQueue> RellumQtMainQueue::installAsMain() {
    auto queue = std::make_shared<RellumQtMainQueue>();
    MainQueue::setMain(queue);
    return queue;
}
