#pragma once

#include "Halvex/HalvexAlertPresenter.h"

#include <QDialog>
#include <vector>

class QPushButton;

// A modal alert for the engine's questions (the host-key questions among
// them): the style's icon, the message in bold, the informative text, and the
// buttons in the alert's order, the first one rightmost and the default.
// Texts are plain text, never markup. The result of exec() is the chosen
// button's code (1000 for the first, 1001 for the second, ...); Escape or
// closing the window chooses the first.
//
// Object names: "iconView", "messageText", "informativeText", "button0",
// "button1", ...
class HalvexAlertDialog : public QDialog {
public:
    explicit HalvexAlertDialog(const HalvexAlert& alert, QWidget* parent = nullptr);

    HalvexAlert::Style alertStyle() const { return style_; }
    const std::vector<QPushButton*>& buttons() const { return buttons_; }
    // Runs the dialog modally and answers the button code.
    long runModal();

    void reject() override;

private:
    HalvexAlert::Style style_;
    std::vector<QPushButton*> buttons_;
};
