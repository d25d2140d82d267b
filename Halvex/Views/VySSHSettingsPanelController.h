#pragma once

#include "Wendle/VyNetworkInterface.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class DisclosureOptionViewController;
class HalvexSessionController;
class QAbstractButton;
class QComboBox;
class QPushButton;
class QVBoxLayout;
class WendlePopover;
class WendleQtSubscription;

// The sheet in which one server profile is added, edited or duplicated. It
// always edits a fresh profile (a new one, or a duplicate of the given one),
// never the stored profile itself; it keeps that profile's key choice valid
// while open, lays out the connection options and the folding proxy
// section, and shows help popovers. Accepting and cancelling belong to a
// subclass, which places its views (the server editor among them) in
// basicStackView. GUI thread only.
//
// The window is built on first use (loadWindow), then windowDidLoad runs; a
// subclass's windowDidLoad calls this one first. The sheet ends with 1 for OK
// and 0 for Cancel; Escape and closing the window run cancel().
//
// Object names: "okButton", "cancelButton", "basicStackView",
// "connectionStackView", "optionsView", "helpPopover"; the proxy section's
// view "proxyView"; fields named by the profile's keys with "TextField",
// "PopUp", "CheckBox" or "Field" appended ("nameTextField",
// "connect_interfacePopUp", "compressionCheckBox", "connection_timeoutField",
// "proxy_command_hostTextField", ...).
class VySSHSettingsPanelController : public QDialog {
    Q_OBJECT

public:
    // Which profile the sheet edits; see the constructors.
    static constexpr struct InAddMode {
    } initInAddMode{};
    static constexpr struct InEditMode {
    } initInEditModeWithSessionController{};
    static constexpr struct InDuplicateMode {
    } initInDuplicateModeWithSessionController{};

    // The window owned by this object, not yet loaded; no profile.
    explicit VySSHSettingsPanelController(QWidget* parent = nullptr);
    // Adding: a new profile.
    explicit VySSHSettingsPanelController(InAddMode, QWidget* parent = nullptr);
    // Editing: a duplicate of `profile`, accepted under its title.
    VySSHSettingsPanelController(InEditMode, const std::shared_ptr<HalvexSessionController>& profile,
                                 QWidget* parent = nullptr);
    // Duplicating (also adding a row made beforehand): a duplicate, "Create".
    VySSHSettingsPanelController(InDuplicateMode, const std::shared_ptr<HalvexSessionController>& profile,
                                 QWidget* parent = nullptr);

    // Stops observing key deletions before the members go.
    ~VySSHSettingsPanelController() override;

    bool inEditMode() const { return inEditMode_; }
    // The machine's interfaces, for the interface pop-up (set at load).
    const std::vector<VyNetworkInterface>& interfaces() const { return interfaces_; }
    // The profile being edited.
    const std::shared_ptr<HalvexSessionController>& sessionController() const { return sessionController_; }

    // The outlets (valid once the window is loaded).
    QPushButton* okButton() const { return okButton_; }
    WendlePopover* helpPopover() const { return helpPopover_; }
    QWidget* basicStackView() const { return basicStackView_; }
    QWidget* connectionStackView() const { return connectionStackView_; }
    DisclosureOptionViewController* proxyViewController() const { return proxyViewController_; }
    QWidget* optionsView() const { return optionsView_; }

    // Builds the window once and runs windowDidLoad.
    void loadWindow();
    bool isWindowLoaded() const { return loaded_; }

    // Shows the sheet over `parent`'s window, modal to it; `completion` gets
    // the code the sheet ends with.
    void beginSheet(QWidget* parent, std::function<void(int returnCode)> completion);
    // Ends the sheet with `returnCode`.
    void endSheet(int returnCode);

    // Accepting and cancelling: the subclass's.
    virtual void ok() = 0;
    virtual void cancel() = 0;

    // Shows the sender's help text (its "alternateTitle") in the popover
    // beside it, on its right.
    void showHelpPopover(QAbstractButton* sender);

    void reject() override;

protected:
    virtual void windowDidLoad();

private:
    void buildWindow();
    QWidget* buildOptionsView();
    QWidget* buildProxyView();

    bool inEditMode_ = false;
    bool loaded_ = false;
    std::vector<VyNetworkInterface> interfaces_;
    std::shared_ptr<HalvexSessionController> sessionController_;
    std::function<void(int)> completion_;

    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    WendlePopover* helpPopover_ = nullptr;
    QWidget* basicStackView_ = nullptr;
    QWidget* connectionStackView_ = nullptr;
    QVBoxLayout* connectionStackLayout_ = nullptr;
    DisclosureOptionViewController* proxyViewController_ = nullptr;
    QWidget* optionsView_ = nullptr;
    QComboBox* interfacePopUp_ = nullptr;
    QPointer<WendleQtSubscription> privateKeyDeletedObserver_;
};

// A profile to edit: a duplicate of `profile` (a new uid) of its own class
// when that class copies as a controller, else a plain controller with its
// values.
std::shared_ptr<HalvexSessionController>
VySSHDuplicateSessionController(const HalvexSessionController& profile);
