#include "Halvex/Views/HalvexQtAlertPresenter.h"

#include "Wendle/Views/WendleAlert.h"

WendleAlert HalvexQtAlertPresenter::wendleAlert(const HalvexAlert& alert) {
    WendleAlert out;
    switch (alert.style) {
    case HalvexAlert::Style::informational:
        out.style = WendleAlert::Style::informational;
        break;
    case HalvexAlert::Style::warning:
        out.style = WendleAlert::Style::warning;
        break;
    case HalvexAlert::Style::critical:
        out.style = WendleAlert::Style::critical;
        break;
    }
    out.messageText = QString::fromStdString(alert.messageText);
    out.informativeText = QString::fromStdString(alert.informativeText);
    for (const auto& title : alert.buttons)
        out.buttons << QString::fromStdString(title);
    return out;
}

HalvexQtAlertPresenter::HalvexQtAlertPresenter(QWidget* parent) : parent_(parent) {}

HalvexQtAlertPresenter::~HalvexQtAlertPresenter() {
    *alive_ = false;
}

long HalvexQtAlertPresenter::runModalAlert(const HalvexAlert& alert) {
    WendleAlert question = wendleAlert(alert);
    const auto alive = alive_;
    const long answer = vySafeRunModal(question, parent_.data());
    // Destroyed while its alert was open: nothing was chosen.
    return *alive ? answer : question.cancelCode();
}
