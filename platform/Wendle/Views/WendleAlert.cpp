#include "Wendle/Views/WendleAlert.h"

#include "Dispatch/MainQueue.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/WendleDispatch.h"

#include <QCoreApplication>
#include <QThread>

namespace {

WendleRunnerSlot<WendleAlertRunner, WendleDialogAlertRunner> gRunner;

bool onGuiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

WendleAlert WendleAlert::alertWithError(const Error& error) {
    WendleAlert alert;
    alert.style = Style::warning;
    alert.messageText = QString::fromStdString(error.localizedDescription);
    alert.informativeText = QString::fromStdString(error.recoverySuggestion);
    alert.buttons = {QStringLiteral("OK")};
    return alert;
}

QStringList WendleAlert::buttonTitles() const {
    return buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : buttons;
}

long WendleAlert::cancelCode() const {
    const qsizetype cancel = buttonTitles().indexOf(QStringLiteral("Cancel"));
    return FirstButton + (cancel < 0 ? 0 : static_cast<long>(cancel));
}

std::shared_ptr<WendleAlertRunner> WendleAlertRunner::shared() {
    return gRunner.get();
}

std::shared_ptr<WendleAlertRunner> WendleAlertRunner::install(std::shared_ptr<WendleAlertRunner> runner) {
    return gRunner.exchange(std::move(runner));
}

long vySafeRunModal(WendleAlert& alert, QWidget* window) {
    // No application at all (a tool, a plain unit test): the runner is asked
    // where we are; the dialog runner answers as Escape would.
    if (!QCoreApplication::instance() || onGuiThread())
        return WendleAlertRunner::shared()->runModal(alert, window);
    long answer = alert.cancelCode();
    if (!MainQueue::main()) return answer;
    WendleDispatchSyncOnMainQueue([&] { answer = WendleAlertRunner::shared()->runModal(alert, window); });
    return answer;
}

void WendleScriptedAlertRunner::answer(long code) {
    script_.push_back([code](WendleAlert&, QWidget*) { return code; });
}

void WendleScriptedAlertRunner::answer(Answer answer) {
    script_.push_back(std::move(answer));
}

long WendleScriptedAlertRunner::runModal(WendleAlert& alert, QWidget* window) {
    asked_.push_back(alert);
    if (script_.empty()) return alert.cancelCode();
    Answer next = std::move(script_.front());
    script_.pop_front();
    return next(alert, window);
}
