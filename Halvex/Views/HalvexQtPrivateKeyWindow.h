#pragma once

#include "Halvex/HalvexPrivateKeyWindow.h"

#include <QPointer>
#include <QWidget>

class QLineEdit;

// What the private-key store asks of the user, over one window: the open
// panel for key files (files only, hidden files shown, several at once), the
// passphrase sheet, and error alerts. Through the process's file-panel and
// alert runners, so tests script them. GUI thread only.
class HalvexQtPrivateKeyWindow : public HalvexPrivateKeyWindow {
public:
    // The panels and alerts are modal to `window` (may be null).
    explicit HalvexQtPrivateKeyWindow(QWidget* window);

    void chooseFiles(const OpenPanel& panel,
                     std::function<void(long response, std::vector<std::string> paths)> completion) override;
    long askPassphrase(const PassphraseSheet& sheet, std::string& passphrase) override;
    void showError(const Error& error) override;

    // The passphrase sheet's secure field, 22 high and at least 200 wide.
    // Object name "passphraseField".
    static QLineEdit* makePassphraseField(const PassphraseSheet& sheet);

private:
    QPointer<QWidget> window_;
};
