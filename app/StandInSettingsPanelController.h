#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class OrvikController;
class QLineEdit;
class QPushButton;
class QSpinBox;

// A stand-in for the application's server sheet until the server-management
// views exist: name, host, port and user of a duplicate of the given server.
// It keeps the sheet's contract (edits a duplicate; ends with 1 for OK, 0 for
// Cancel; the caller copies the values back), so the real sheet replaces it
// where it is used.
//
// Object names: "nameField", "hostField", "portField", "userField",
// "okButton", "cancelButton".
class StandInSettingsPanelController : public QDialog {
    Q_OBJECT
public:
    static constexpr int OK = 1;
    static constexpr int Cancel = 0;

    // Edits a duplicate (a new uid) of `controller`.
    explicit StandInSettingsPanelController(const OrvikController& controller, QWidget* parent = nullptr);

    // The duplicate, with the fields' values once the sheet ended with OK.
    const std::shared_ptr<OrvikController>& sessionController() const { return edited_; }
    void setOkButtonTitle(const QString& title);

    // Shows the sheet over `window` without waiting; `completion` runs once
    // with the result code.
    void beginSheet(QWidget* window, std::function<void(int returnCode)> completion);

    void accept() override;
    void reject() override;

private:
    void validate();
    void end(int code);

    std::shared_ptr<OrvikController> edited_;
    std::function<void(int)> completion_;
    QLineEdit* name_;
    QLineEdit* host_;
    QSpinBox* port_;
    QLineEdit* user_;
    QPushButton* ok_;
};
