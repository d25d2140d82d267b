#pragma once

#include "Halvex/Views/VySSHSettingsPanelController.h"

#include <QString>

class TerminalSettingsViewController;
class VySSHServerViewController;

// The application's server sheet: the framework's sheet filled with the
// server editor and the terminal-theme picker. It accepts after the editor
// has validated its fields and saved the password, and imports private keys
// for the edited server. Used for "Save and Connect" in the main window and
// for adding, duplicating and editing in the Servers pane. GUI thread only.
class SettingsPanelController : public VySSHSettingsPanelController {
    Q_OBJECT

public:
    using VySSHSettingsPanelController::VySSHSettingsPanelController;

    // The default button's title, when set before the window loads.
    const QString& okButtonTitle() const { return okButtonTitle_; }
    void setOkButtonTitle(const QString& title) { okButtonTitle_ = title; }

    VySSHServerViewController* sshServerViewController() const { return sshServerViewController_; }
    TerminalSettingsViewController* terminalSettingsViewController() const {
        return terminalSettingsViewController_;
    }

    void ok() override;
    void cancel() override;
    // Lets the user pick key files; the first imported key becomes the
    // edited server's key.
    void importPrivateKey();

protected:
    void windowDidLoad() override;

private:
    void followLayoutWithTab();

    QString okButtonTitle_;
    VySSHServerViewController* sshServerViewController_ = nullptr;
    TerminalSettingsViewController* terminalSettingsViewController_ = nullptr;
};
