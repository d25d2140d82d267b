#include "Halvex/Views/HalvexQtBackupWindow.h"

#include "Halvex/Views/HalvexQtAlertPresenter.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleFilePanel.h"

namespace {

template <class P>
P filePanel(const VySSHBackupWindow::Panel& panel) {
    P out;
    out.nameFieldLabel = QString::fromStdString(panel.nameFieldLabel);
    out.showsHiddenFiles = panel.showsHiddenFiles;
    for (const auto& type : panel.allowedFileTypes)
        out.allowedFileTypes << QString::fromStdString(type);
    return out;
}

std::optional<std::string> chosenPath(const WendleFilePanelResult& result) {
    if (result.response != WendleFilePanelResult::OK || result.paths.isEmpty()) return std::nullopt;
    return result.paths.front().toStdString();
}

} // namespace

HalvexQtBackupWindow::HalvexQtBackupWindow(QWidget* window) : window_(window) {}

std::optional<std::string> HalvexQtBackupWindow::runSavePanel(const Panel& panel) {
    auto save = filePanel<WendleSavePanel>(panel);
    save.nameFieldStringValue = QString::fromStdString(panel.nameFieldStringValue);
    return chosenPath(WendleRunSavePanel(save, window_.data()));
}

std::optional<std::string> HalvexQtBackupWindow::runOpenPanel(const Panel& panel) {
    auto open = filePanel<WendleOpenPanel>(panel);
    open.canChooseFiles = true;
    open.canChooseDirectories = false;
    open.allowsMultipleSelection = false;
    return chosenPath(WendleRunOpenPanel(open, window_.data()));
}

long HalvexQtBackupWindow::runAlert(const HalvexAlert& alert) {
    WendleAlert question = HalvexQtAlertPresenter::wendleAlert(alert);
    return vySafeRunModal(question, window_.data());
}

void HalvexQtBackupWindow::showError(const Error& error) {
    WendleAlert alert = WendleAlert::alertWithError(error);
    vySafeRunModal(alert, window_.data());
}
