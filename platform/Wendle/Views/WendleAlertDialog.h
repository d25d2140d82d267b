#pragma once

#include "Wendle/Views/WendleAlert.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QPushButton;

// The one alert dialog: the style's icon, the message in bold, the
// informative text, the accessory view, the remember box, and the buttons in
// the alert's order, the first one rightmost and the default. Texts are plain
// text, never markup. The result of exec() is the chosen button's code (1000
// for the first, 1001 for the second, ...); Escape or closing the window
// chooses the button titled "Cancel" when there is one, else the first.
//
// Object names: "iconView", "messageText", "informativeText",
// "accessoryView" (the caller's widget), "suppressionButton", "button0",
// "button1", ...
class WendleAlertDialog : public QDialog {
    Q_OBJECT

public:
    explicit WendleAlertDialog(const WendleAlert& alert, QWidget* parent = nullptr);
    // Hands the accessory view back to its caller rather than deleting it.
    ~WendleAlertDialog() override;

    WendleAlert::Style alertStyle() const { return style_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }
    // Null when the alert has no remember box.
    QCheckBox* suppressionButton() const { return suppressionButton_; }
    // The code Escape and closing choose.
    long cancelCode() const { return cancelCode_; }

    // Runs the dialog modally and answers the button code.
    long runModal();

    void reject() override;

private:
    WendleAlert::Style style_;
    long cancelCode_;
    std::vector<QPushButton*> buttons_;
    QCheckBox* suppressionButton_ = nullptr;
    QPointer<QWidget> accessory_;
};

// The real runner: shows the alert in a WendleAlertDialog over the window.
class WendleDialogAlertRunner : public WendleAlertRunner {
public:
    long runModal(WendleAlert& alert, QWidget* window) override;
};
