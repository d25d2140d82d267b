#include "app/SettingsPanelController.h"

#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/Views/HalvexQtPrivateKeyWindow.h"
#include "Halvex/Views/VySSHServerViewController.h"
#include "Wendle/WendleDispatch.h"
#include "app/OrvikController.h"
#include "app/TerminalSettingsViewController.h"

#include <QPushButton>

#include <QVBoxLayout>
#include <algorithm>
#include <vector>

void SettingsPanelController::windowDidLoad() {
    VySSHSettingsPanelController::windowDidLoad();
    if (!okButtonTitle_.isEmpty()) okButton()->setText(okButtonTitle_);

    sshServerViewController_ = new VySSHServerViewController(sessionController(), basicStackView());
    terminalSettingsViewController_ = new TerminalSettingsViewController(
        std::dynamic_pointer_cast<OrvikController>(sessionController()), basicStackView());
    connect(sshServerViewController_, &VySSHServerViewController::helpRequested, this,
            [this](QAbstractButton* sender) { showHelpPopover(sender); });
    connect(sshServerViewController_, &VySSHServerViewController::importPrivateKeyRequested, this,
            &SettingsPanelController::importPrivateKey);

    auto* stack = new QVBoxLayout(basicStackView());
    stack->setSpacing(16);
    stack->setContentsMargins(8, 0, 8, 8);
    stack->addWidget(sshServerViewController_, 0, Qt::AlignTop);
    stack->addWidget(terminalSettingsViewController_, 0, Qt::AlignTop);
    followLayoutWithTab();
}

void SettingsPanelController::followLayoutWithTab() {
    // The editor and the picker were made after the options below them: put
    // them first in the Tab order, as they stand on top, and start at the host.
    std::vector<QWidget*> chain;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    std::stable_partition(chain.begin(), chain.end(),
                          [this](QWidget* w) { return basicStackView()->isAncestorOf(w); });
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    if (auto* host = sshServerViewController_->findChild<QWidget*>(QStringLiteral("sshHostTextField")))
        host->setFocus();
}

void SettingsPanelController::ok() {
    // Ends any editing in progress, so its value reaches the profile.
    if (QWidget* focus = focusWidget()) focus->clearFocus();
    if (!sshServerViewController_->validateAllFields()) return;
    if (!sshServerViewController_->savePassword()) return;
    endSheet(1);
}

void SettingsPanelController::cancel() {
    endSheet(0);
}

void SettingsPanelController::importPrivateKey() {
    HalvexQtPrivateKeyWindow window(this);
    std::weak_ptr<HalvexSessionController> weakProfile = sessionController();
    HalvexPrivateKeyContainer::importPrivateKeyWithSheetModalForWindow(
        window, [weakProfile](long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>> models) {
            if (response != 1 || models.empty()) return;
            const std::string keyId = models.front()->key_id();
            WendleDispatchAsyncOnMainQueue([weakProfile, keyId] {
                if (auto profile = weakProfile.lock()) profile->setValueForKey("private_key", keyId);
            });
        });
}
