#pragma once

#include "Halvex/HalvexSecretPrompter.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

class HalvexSecretPromptDialog;

// Asks through modal HalvexSecretPromptDialogs. runPrompt runs on the main
// thread and returns once the user has answered; the dialog's own event loop
// keeps the application responsive meanwhile.
class HalvexQtSecretPrompter : public HalvexSecretPrompter {
public:
    // The dialogs are centred on `parent` when given; the prompter does not own it.
    explicit HalvexQtSecretPrompter(QWidget* parent = nullptr);
    // Cancels its open prompts; a runPrompt still on the stack then returns
    // Cancel without touching the destroyed prompter.
    ~HalvexQtSecretPrompter() override;

    HalvexSecretPromptResponse runPrompt(const HalvexSecretPromptRequest& request) override;
    void cancelPrompt() override;

private:
    QPointer<QWidget> parent_;
    // Open dialogs, innermost last: a prompt may open while another waits.
    std::vector<QPointer<HalvexSecretPromptDialog>> open_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
