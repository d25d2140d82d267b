#pragma once

#include "Halvex/HalvexAlertPresenter.h"

#include <QPointer>
#include <QWidget>
#include <memory>

// Runs the engine's alerts (the known-host questions: new host, changed
// address, changed key; the login-item failure) through the process's alert
// runner (vySafeRunModal), which shows them as modal WendleAlertDialogs.
// The application installs one with HalvexAlertPresenter::setSharedPresenter.
//
// Threads: the engine's HalvexAlertPresenter::run brings the question to the
// main (GUI) thread, where the alert runs at once. Asked directly on another
// thread, the runner hops synchronously to the main queue itself. Widgets
// cannot be shown elsewhere: with no main queue bound, when the hop is given
// up, or when the presenter is destroyed while its alert is open, the answer
// is what Escape chooses: the first button ("No") for the engine's alerts,
// which have no "Cancel", so nothing is accepted unasked.
struct WendleAlert;

class HalvexQtAlertPresenter : public HalvexAlertPresenter {
public:
    // Alerts are centred on `parent` when given; the presenter does not own it.
    explicit HalvexQtAlertPresenter(QWidget* parent = nullptr);
    ~HalvexQtAlertPresenter() override;

    long runModalAlert(const HalvexAlert& alert) override;

    // The engine's alert as the alert runner shows it.
    static WendleAlert wendleAlert(const HalvexAlert& alert);

private:
    QPointer<QWidget> parent_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
