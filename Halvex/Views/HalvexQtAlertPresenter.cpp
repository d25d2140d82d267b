#include "Halvex/Views/HalvexQtAlertPresenter.h"

#include "Dispatch/MainQueue.h"
#include "Halvex/Views/HalvexAlertDialog.h"
#include "Wendle/WendleDispatch.h"

#include <QCoreApplication>
#include <QThread>

namespace {

bool onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

HalvexQtAlertPresenter::HalvexQtAlertPresenter(QWidget* parent) : parent_(parent) {}

HalvexQtAlertPresenter::~HalvexQtAlertPresenter() {
    *alive_ = false;
}

long HalvexQtAlertPresenter::runModalAlert(const HalvexAlert& alert) {
    if (onGuiThread()) return runHere(alert);
    if (!MainQueue::main()) return FirstButton;
    long answer = FirstButton;
    const auto alive = alive_;
    WendleDispatchSyncOnMainQueue([&] {
        if (*alive) answer = runHere(alert);
    });
    return answer;
}

long HalvexQtAlertPresenter::runHere(const HalvexAlert& alert) {
    QPointer<HalvexAlertDialog> dialog = new HalvexAlertDialog(alert, parent_.data());
    const auto alive = alive_;
    long answer = dialog->runModal();
    // Gone with its parent while it ran: nothing was chosen.
    if (!dialog) return FirstButton;
    delete dialog.data();
    return *alive ? answer : FirstButton;
}
