#pragma once

#include "Halvex/VySSHBackupModule.h"

#include <QPointer>
#include <QWidget>

// The backup module's panels and alerts over one window, through the
// process's file-panel and alert runners (so tests script them). GUI thread
// only.
class HalvexQtBackupWindow : public VySSHBackupWindow {
public:
    // Modal to `window` (may be null).
    explicit HalvexQtBackupWindow(QWidget* window);

    std::optional<std::string> runSavePanel(const Panel& panel) override;
    std::optional<std::string> runOpenPanel(const Panel& panel) override;
    long runAlert(const HalvexAlert& alert) override;
    void showError(const Error& error) override;

private:
    QPointer<QWidget> window_;
};
