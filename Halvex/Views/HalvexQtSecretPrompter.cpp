#include "Halvex/Views/HalvexQtSecretPrompter.h"

#include "Foundation/Assert.h"
#include "Halvex/Views/HalvexSecretPromptDialog.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

HalvexQtSecretPrompter::HalvexQtSecretPrompter(QWidget* parent) : parent_(parent) {}

HalvexQtSecretPrompter::~HalvexQtSecretPrompter() {
    *alive_ = false;
    cancelPrompt();
}

HalvexSecretPromptResponse HalvexQtSecretPrompter::runPrompt(const HalvexSecretPromptRequest& request) {
    // Widgets live on the main thread only; a worker must hop there first.
    ORVIK_ASSERT(QCoreApplication::instance() &&
                 QThread::currentThread() == QCoreApplication::instance()->thread());

    QPointer<HalvexSecretPromptDialog> dialog = new HalvexSecretPromptDialog(request, parent_.data());
    open_.push_back(dialog);
    const auto alive = alive_;
    const int result = dialog->exec();

    HalvexSecretPromptResponse response;
    // The dialog may have gone with its parent while it ran: that is Cancel.
    if (dialog) {
        response.accepted = result == QDialog::Accepted;
        response.answers = dialog->answers();
        response.remember = dialog->remember();
        delete dialog.data();
    }
    if (*alive) std::erase_if(open_, [](const QPointer<HalvexSecretPromptDialog>& d) { return d.isNull(); });
    return response;
}

void HalvexQtSecretPrompter::cancelPrompt() {
    // Innermost first, so that each nested event loop can unwind in turn.
    const auto open = open_;
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        if (*it) (*it)->reject();
}
