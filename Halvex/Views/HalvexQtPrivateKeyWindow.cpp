#include "Halvex/Views/HalvexQtPrivateKeyWindow.h"

#include "Foundation/Error.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleFilePanel.h"

#include <QLineEdit>

#include <memory>

HalvexQtPrivateKeyWindow::HalvexQtPrivateKeyWindow(QWidget* window) : window_(window) {}

void HalvexQtPrivateKeyWindow::chooseFiles(const OpenPanel& panel,
                                           std::function<void(long, std::vector<std::string>)> completion) {
    WendleOpenPanel open;
    open.title = QString::fromStdString(panel.title);
    open.prompt = QString::fromStdString(panel.prompt);
    open.message = QString::fromStdString(panel.message);
    open.directory = QString::fromStdString(panel.directory);
    open.showsHiddenFiles = true;
    open.canChooseFiles = true;
    open.canChooseDirectories = false;
    open.allowsMultipleSelection = true;
    const WendleFilePanelResult result = WendleRunOpenPanel(open, window_.data());
    std::vector<std::string> paths;
    if (result.response == WendleFilePanelResult::OK)
        for (const QString& path : result.paths)
            paths.push_back(path.toStdString());
    if (completion) completion(result.response, std::move(paths));
}

QLineEdit* HalvexQtPrivateKeyWindow::makePassphraseField(const PassphraseSheet& sheet) {
    auto* field = new QLineEdit;
    field->setObjectName(QStringLiteral("passphraseField"));
    field->setEchoMode(QLineEdit::Password);
    field->setPlaceholderText(QString::fromStdString(sheet.placeholder));
    field->setMinimumSize(200, 22);
    return field;
}

long HalvexQtPrivateKeyWindow::askPassphrase(const PassphraseSheet& sheet, std::string& passphrase) {
    std::unique_ptr<QLineEdit> field(makePassphraseField(sheet));
    WendleAlert alert;
    alert.style = WendleAlert::Style::warning;
    alert.messageText = QString::fromStdString(sheet.message);
    alert.informativeText = QString::fromStdString(sheet.informative);
    alert.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    alert.accessoryView = field.get();
    const long response = vySafeRunModal(alert, window_.data());
    if (response == WendleAlert::FirstButton) passphrase = field->text().toStdString();
    // The typed text does not outlive the question in the widget.
    field->clear();
    return response;
}

void HalvexQtPrivateKeyWindow::showError(const Error& error) {
    WendleAlert alert = WendleAlert::alertWithError(error);
    vySafeRunModal(alert, window_.data());
}
