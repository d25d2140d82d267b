#pragma once

#include <QColor>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

class HalvexPreferences;
class HalvexPrivateKeyContainer;
class HalvexSessionController;
class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class WendleQtSubscription;

// The connection fields of one server profile: host, port, user name, and
// the authentication part, which shows either the single-factor view (one
// method) or the multi-factor view (several methods in order). It edits the
// profile it is given (the settings sheet's copy) and never stores profiles;
// it keeps the login's keychain password in step with the password field
// and deletes stored keyboard-interactive answers. GUI thread only.
//
// Object names (the outlets): "sshHostTextField", "sshPortTextField",
// "userNameTextField", "authStackView", "singleFactorView",
// "multiFactorView", "singleAuthHelpButton", "singlePasswordSecureTextField",
// "singleDeleteInformationButton", "multiAuthHelpButton",
// "multiPasswordSecureTextField", "multiDeleteInformationButton"; and
// "sshHostRequiredLabel", "sshPortRequiredLabel", "sshLoginRequiredLabel"
// (the required marks), "singleAuthMethodPopUp", "goToMultiFactorButton",
// "multiAuthMethodsList", "backToSingleFactorButton",
// "singlePrivateKeyPopUp", "multiPrivateKeyPopUp", "singleImportKeyButton",
// "multiImportKeyButton".
class VySSHServerViewController : public QWidget {
    Q_OBJECT

public:
    // The pale yellow of a password field that shows the stored password.
    static QColor autoFillColor() { return QColor::fromRgbF(252 / 255.0, 252 / 255.0, 178 / 255.0, 1.0); }

    explicit VySSHServerViewController(std::shared_ptr<HalvexSessionController> sessionController,
                                       QWidget* parent = nullptr);
    ~VySSHServerViewController() override;

    const std::shared_ptr<HalvexSessionController>& sessionController() const { return sessionController_; }
    HalvexPreferences& preferences() const;
    HalvexPrivateKeyContainer& privateKeyContainer() const;

    // Raised by validateAllFields for the first empty field; typing in any
    // field clears them.
    bool sshHostRequiredAlert() const { return hostRequired_; }
    bool sshPortRequiredAlert() const { return portRequired_; }
    bool sshLoginRequiredAlert() const { return loginRequired_; }

    // The controls of the authentication view that is showing.
    QAbstractButton* authHelpButton() const { return authHelpButton_; }
    QLineEdit* passwordSecureTextField() const { return passwordField_; }
    QAbstractButton* deleteInformationButton() const { return deleteButton_; }
    // The help text of the showing view (its help button's alternate title).
    QString helpText() const;
    QColor defaultColor() const { return defaultColor_; }

    // Whether the host, port and user fields may be accepted; marks and
    // focuses the first empty one (or a port outside 1 to 65535).
    bool validateAllFields();
    // Stores, updates or deletes the login's keychain password as the field
    // says, asking first where a stored one would change. False: the user
    // cancelled, stay in the sheet.
    bool savePassword();
    // Fills the showing password field from the keychain (when `fill`),
    // colours it, and enables the delete button when answers are stored.
    void testIfFoundInKeychain(bool fill);

public slots:
    void deleteInteractiveInformation();
    void backToSingleFactorAuth();
    void goToMultiFactorAuth();

signals:
    // The help button was pressed; the sheet shows the help text beside it.
    void helpRequested(QAbstractButton* sender);
    // The "Import…" button beside the key pop-up was pressed.
    void importPrivateKeyRequested();

private:
    struct AuthView;
    void buildView();
    AuthView buildAuthView(bool multi);
    // An edit of a text field by the user, after the profile took its value.
    void controlTextDidChange(QObject* sender);
    // Switches the views to the profile's methods.
    void authMethodsDidChange();
    void reloadMethodControls();
    void reloadKeyPopUps();
    void applyMethodList();
    void setHostRequired(bool value);
    void setPortRequired(bool value);
    void setLoginRequired(bool value);
    void updatePortMark();
    // The profile's port when it is a valid one.
    std::optional<std::uint16_t> validPort() const;

    std::shared_ptr<HalvexSessionController> sessionController_;
    bool hostRequired_ = false, portRequired_ = false, loginRequired_ = false;
    QColor defaultColor_;

    QLineEdit* hostField_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QLineEdit* userField_ = nullptr;
    QLabel* hostMark_ = nullptr;
    QLabel* portMark_ = nullptr;
    QLabel* loginMark_ = nullptr;
    QWidget* authStackView_ = nullptr;
    QVBoxLayout* authStackLayout_ = nullptr;

    struct AuthView {
        QWidget* view = nullptr;
        QToolButton* helpButton = nullptr;
        QLineEdit* passwordField = nullptr;
        QPushButton* deleteButton = nullptr;
        QComboBox* keyPopUp = nullptr;
        QWidget* passwordRow = nullptr;
        QWidget* keyRow = nullptr;
    };
    AuthView single_, multi_;
    QComboBox* methodPopUp_ = nullptr;
    QListWidget* methodList_ = nullptr;

    // Children of this view, like the views they belong to.
    QAbstractButton* authHelpButton_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QAbstractButton* deleteButton_ = nullptr;
    bool reloading_ = false;
};
