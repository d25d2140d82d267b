#pragma once

#include "Halvex/HalvexSecretPrompter.h"

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// A modal alert asking for one secret request: the information icon, the
// message and informative texts, one field per requested input (secure unless
// the request lets the answer show), the unticked remember box, and "OK"
// (default, Return) and "Cancel" (Escape). Server-supplied texts are shown as
// plain text, never interpreted as markup.
//
// Object names: "messageText", "informativeText", "accessoryView" (holding the
// fields "field0", "field1", ... in order), "rememberBox", "okButton",
// "cancelButton".
class HalvexSecretPromptDialog : public QDialog {
public:
    explicit HalvexSecretPromptDialog(const HalvexSecretPromptRequest& request, QWidget* parent = nullptr);

    // The fields' texts in order (UTF-8).
    std::vector<std::string> answers() const;
    bool remember() const;
    const std::vector<QLineEdit*>& fields() const { return fields_; }

    static constexpr int fieldWidth = 300;
    static constexpr int fieldSpacing = 8;

private:
    std::vector<QLineEdit*> fields_;
    QCheckBox* rememberBox_ = nullptr;
};
