#include "Wendle/Views/WendleFilePanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>

namespace {

WendleRunnerSlot<WendleFilePanelRunner, WendleDialogFilePanelRunner> gRunner;

QFileDialog* makeDialog(const WendleFilePanel& panel, QWidget* window) {
    auto* dialog = new QFileDialog(window);
    // The platform's own dialog may not be there (offscreen, Xvfb) and
    // cannot be set up as far as the widget one.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (!panel.title.isEmpty()) dialog->setWindowTitle(panel.title);
    if (!panel.prompt.isEmpty()) dialog->setLabelText(QFileDialog::Accept, panel.prompt);
    if (!panel.nameFieldLabel.isEmpty()) dialog->setLabelText(QFileDialog::FileName, panel.nameFieldLabel);
    if (!panel.directory.isEmpty()) dialog->setDirectory(panel.directory);
    if (panel.showsHiddenFiles) dialog->setFilter(dialog->filter() | QDir::Hidden);
    if (!panel.allowedFileTypes.isEmpty()) {
        QStringList patterns;
        for (const QString& type : panel.allowedFileTypes)
            patterns << QStringLiteral("*.") + type;
        dialog->setNameFilter(patterns.join(QLatin1Char(' ')));
    }
    if (!panel.message.isEmpty()) {
        auto* message = new QLabel(panel.message, dialog);
        message->setObjectName(QStringLiteral("messageText"));
        message->setTextFormat(Qt::PlainText);
        message->setWordWrap(true);
        // The widget dialog lays itself out on a grid: the message spans its
        // last row.
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
    }
    return dialog;
}

WendleFilePanelResult run(QFileDialog* made) {
    QPointer<QFileDialog> dialog = made;
    const int code = dialog->exec();
    WendleFilePanelResult result;
    // Gone with its window while it ran: cancelled.
    if (!dialog) return result;
    if (code == QDialog::Accepted) {
        result.response = WendleFilePanelResult::OK;
        result.paths = dialog->selectedFiles();
    }
    delete dialog.data();
    return result;
}

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

std::shared_ptr<WendleFilePanelRunner> WendleFilePanelRunner::shared() {
    return gRunner.get();
}

std::shared_ptr<WendleFilePanelRunner>
WendleFilePanelRunner::install(std::shared_ptr<WendleFilePanelRunner> runner) {
    return gRunner.exchange(std::move(runner));
}

WendleFilePanelResult WendleRunOpenPanel(const WendleOpenPanel& panel, QWidget* window) {
    return WendleFilePanelRunner::shared()->runOpenPanel(panel, window);
}

WendleFilePanelResult WendleRunSavePanel(const WendleSavePanel& panel, QWidget* window) {
    return WendleFilePanelRunner::shared()->runSavePanel(panel, window);
}

QFileDialog* WendleDialogFilePanelRunner::makeOpenDialog(const WendleOpenPanel& panel, QWidget* window) {
    QFileDialog* dialog = makeDialog(panel, window);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // A dialog picks files or folders, not both: folders only when files
    // cannot be chosen.
    if (panel.canChooseDirectories && !panel.canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                          : QFileDialog::ExistingFile);
    }
    return dialog;
}

QFileDialog* WendleDialogFilePanelRunner::makeSaveDialog(const WendleSavePanel& panel, QWidget* window) {
    QFileDialog* dialog = makeDialog(panel, window);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!panel.allowedFileTypes.isEmpty()) dialog->setDefaultSuffix(panel.allowedFileTypes.front());
    if (!panel.nameFieldStringValue.isEmpty()) dialog->selectFile(panel.nameFieldStringValue);
    return dialog;
}

WendleFilePanelResult WendleDialogFilePanelRunner::runOpenPanel(const WendleOpenPanel& panel,
                                                                QWidget* window) {
    if (!haveWidgets()) return {};
    return run(makeOpenDialog(panel, window));
}

WendleFilePanelResult WendleDialogFilePanelRunner::runSavePanel(const WendleSavePanel& panel,
                                                                QWidget* window) {
    if (!haveWidgets()) return {};
    return run(makeSaveDialog(panel, window));
}

void WendleScriptedFilePanelRunner::answer(WendleFilePanelResult result) {
    script_.push_back([result](const Asked&) { return result; });
}

void WendleScriptedFilePanelRunner::answer(Answer answer) {
    script_.push_back(std::move(answer));
}

WendleFilePanelResult WendleScriptedFilePanelRunner::next(const Asked& panel) {
    asked_.push_back(panel);
    if (script_.empty()) return {};
    Answer answer = std::move(script_.front());
    script_.pop_front();
    return answer(panel);
}

WendleFilePanelResult WendleScriptedFilePanelRunner::runOpenPanel(const WendleOpenPanel& panel, QWidget*) {
    return next(panel);
}

WendleFilePanelResult WendleScriptedFilePanelRunner::runSavePanel(const WendleSavePanel& panel, QWidget*) {
    return next(panel);
}

std::vector<WendleOpenPanel> WendleScriptedFilePanelRunner::openPanels() const {
    std::vector<WendleOpenPanel> out;
    for (const auto& panel : asked_)
        if (auto* open = std::get_if<WendleOpenPanel>(&panel)) out.push_back(*open);
    return out;
}

std::vector<WendleSavePanel> WendleScriptedFilePanelRunner::savePanels() const {
    std::vector<WendleSavePanel> out;
    for (const auto& panel : asked_)
        if (auto* save = std::get_if<WendleSavePanel>(&panel)) out.push_back(*save);
    return out;
}
