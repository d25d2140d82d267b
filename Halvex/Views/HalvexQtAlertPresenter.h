#pragma once

#include "Halvex/HalvexAlertPresenter.h"

#include <QPointer>
#include <QWidget>
#include <memory>

// Runs the engine's alerts (the known-host questions: new host, changed
// address, changed key; the login-item failure) as modal HalvexAlertDialogs.
// The application installs one with HalvexAlertPresenter::setSharedPresenter.
//
// Threads: on the main (GUI) thread the alert runs at once; from another
// thread (the SSH session's) the call hops synchronously to the main queue
// and waits for the answer. When the hop is given up (the main queue went
// away), or when the presenter is destroyed while its alert is open, the
// answer is the first button ("No"), so nothing is accepted unasked.
class HalvexQtAlertPresenter : public HalvexAlertPresenter {
public:
    // Alerts are centred on `parent` when given; the presenter does not own it.
    explicit HalvexQtAlertPresenter(QWidget* parent = nullptr);
    ~HalvexQtAlertPresenter() override;

    long runModalAlert(const HalvexAlert& alert) override;

private:
    long runHere(const HalvexAlert& alert);

    QPointer<QWidget> parent_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
