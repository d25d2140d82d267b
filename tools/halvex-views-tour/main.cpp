// Writes pictures of the server-management views into a folder:
//
//     halvex-views-tour OUT_DIR
//
// Runs on any Qt platform (offscreen or a real display). Everything it shows
// lives in a temporary home with an in-memory keychain.
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexExports.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexSessionController.h"
#include "Halvex/Views/HalvexQtPrivateKeyWindow.h"
#include "Halvex/Views/KvPrivateKeysTableView.h"
#include "Halvex/Views/PrivateKeysPreferencesViewController.h"
#include "Halvex/Views/VySSHServerViewController.h"
#include "Halvex/Views/VySSHSettingsPanelController.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "Wendle/Views/DisclosureOptionViewController.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>

namespace {

// The sheet as a host application fills it: the server editor on top.
class TourSheet : public VySSHSettingsPanelController {
public:
    using VySSHSettingsPanelController::VySSHSettingsPanelController;
    void ok() override { endSheet(1); }
    void cancel() override { endSheet(0); }

protected:
    void windowDidLoad() override {
        VySSHSettingsPanelController::windowDidLoad();
        auto* editor = new VySSHServerViewController(sessionController(), basicStackView());
        auto* layout = new QVBoxLayout(basicStackView());
        layout->setContentsMargins(8, 0, 8, 8);
        layout->addWidget(editor);
        connect(editor, &VySSHServerViewController::helpRequested, this,
                [this](QAbstractButton* b) { showHelpPopover(b); });
    }
};

bool save(QWidget* widget, const QString& folder, const char* name) {
    widget->show();
    widget->adjustSize();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool saveAlert(const WendleAlert& alert, const QString& folder, const char* name) {
    WendleAlertDialog dialog(alert);
    return save(&dialog, folder, name);
}

std::string makeKey(const QString& folder, const char* name, const char* passphrase) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    QProcess::execute(QStringLiteral("ssh-keygen"),
                      {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ecdsa"),
                       QStringLiteral("-m"), QStringLiteral("PEM"), QStringLiteral("-N"),
                       QString::fromLatin1(passphrase), QStringLiteral("-f"), path});
    Error error;
    auto& store = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
    auto id = store.importAtPath(path.toStdString(), &error);
    if (!id) std::fprintf(stderr, "%s: %s\n", name, error.localizedDescription.c_str());
    return id.value_or("");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
        return 2;
    }
    QTemporaryDir home;
    for (const char* sub : {"home", "data", "config"})
        QDir(home.path()).mkpath(QLatin1String(sub));
    setenv("HOME", qPrintable(home.path() + "/home"), 1);
    setenv("XDG_DATA_HOME", qPrintable(home.path() + "/data"), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/config"), 1);
    QApplication app(argc, argv);
    HalvexInitRegisterValueTransformers(); // as the application does at launch
    auto mainQueue = WendleQtMainQueue::installAsMain();
    KeychainBackend::setShared(std::make_shared<MemoryKeychainBackend>());
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;

    // The sheet with one method (a stored password: the yellow field) and
    // with several, the proxy section open in both.
    auto server = std::make_shared<HalvexSessionController>();
    server->setName("web-1");
    server->setSsh_host("web-1.example.net");
    server->setSsh_port(22);
    server->ssh_user = "deploy";
    server->proxy_command = true;
    server->proxy_command_host = "proxy.example.net";
    server->proxy_command_port = 1080;
    HalvexAuthHelper::makeWithServer("web-1.example.net", 22, "deploy")->setToken("secret");
    {
        TourSheet sheet(VySSHSettingsPanelController::initInEditModeWithSessionController, server);
        sheet.loadWindow();
        sheet.proxyViewController()->setDisclosed(true);
        ok &= save(&sheet, out, "sheet-single-factor.png");
    }
    server->setAuth_methods(server->authMethodCandidates());
    {
        TourSheet sheet(VySSHSettingsPanelController::initInDuplicateModeWithSessionController, server);
        sheet.loadWindow();
        sheet.proxyViewController()->setDisclosed(true);
        ok &= save(&sheet, out, "sheet-multi-factor.png");
    }

    // The Private Keys pane with an encrypted key (passphrase remembered)
    // and a plain one.
    QTemporaryDir keys;
    const std::string locked = makeKey(keys.path(), "id_ecdsa_work", "work passphrase");
    makeKey(keys.path(), "id_ecdsa_home", "");
    auto& store = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
    store.refreshCache();
    if (auto key = store.privateKeyWithId(locked))
        HalvexAuthHelper::makeWithPrivateKey(*key)->setToken("work passphrase");
    store.refreshCache();
    {
        PrivateKeysPreferencesViewController pane;
        QWidget* view = pane.view();
        pane.keysTableView()->selectRow(1);
        ok &= save(view, out, "private-keys-pane.png");
    }

    // The alerts.
    WendleAlert update;
    update.messageText = QStringLiteral("Udpate saved password");
    update.informativeText =
        QStringLiteral("Would you like to update the password saved in your keychain for "
                       "“deploy” on host “web-1.example.net:22”?");
    update.buttons = {QStringLiteral("Update"), QStringLiteral("Cancel"), QStringLiteral("Not Update")};
    ok &= saveAlert(update, out, "alert-update-password.png");

    WendleAlert deleteKey;
    deleteKey.messageText = QStringLiteral("Are you sure you want to delete private key “id_ecdsa_work”?");
    deleteKey.informativeText = QStringLiteral(
        "Warning! Both private key file and passphrase remembered in keychain will be permanently deleted.");
    deleteKey.buttons = {QStringLiteral("Delete"), QStringLiteral("Cancel")};
    ok &= saveAlert(deleteKey, out, "alert-delete-key.png");

    HalvexPrivateKeyWindow::PassphraseSheet sheet;
    sheet.message = "Enter the passphrase for private key “id_ecdsa_work”";
    sheet.informative =
        "The passhrase will be remembered to keychain, Brimble SSH keeps your passphrase secure.";
    sheet.placeholder = "Leave blank for runtime prompt";
    std::unique_ptr<QLineEdit> field(HalvexQtPrivateKeyWindow::makePassphraseField(sheet));
    WendleAlert passphrase;
    passphrase.messageText = QString::fromStdString(sheet.message);
    passphrase.informativeText = QString::fromStdString(sheet.informative);
    passphrase.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    passphrase.accessoryView = field.get();
    ok &= saveAlert(passphrase, out, "passphrase-sheet.png");

    KeychainBackend::setShared(nullptr);
    return ok ? 0 : 1;
}
