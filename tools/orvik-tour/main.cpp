// orvik-tour [OUT_DIR]
//
// Screenshots of the application's windows, made with the application
// library on a store of its own: two pages with the sidebar, the sidebar
// hidden, a page's connection log in its popover, the connect menu open, the
// application menus (Shell with New Shell, View with Font, Window, Help),
// the preferences window's panes (General, Private Keys, About), the font
// sheet, the server sheet for one and for several methods (proxy section
// open), the Servers pane and its remove alert, and the launch view of an empty store. The pages never reach
// a server; sample recordings fill them. Run it under an X server (xvfb-run -a) so that the menu and the
// popover, which are windows of their own, are captured.

#include "QuietTransport.h"

#include "Foundation/UserDefaults.h"
#include "Halvex/HalvexAuthMethodModel.h"
#include "Rellum/RellumTerminal.h"
#include "Wendle/Views/DisclosureOptionViewController.h"
#include "Wendle/Views/MASPreferencesWindowController.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/WendlePopover.h"
#include "app/AppDelegate.h"
#include "app/ConnectToServerControl.h"
#include "app/GeneralPreferencesViewController.h"
#include "app/MainWindowController.h"
#include "app/OrvikApplication.h"
#include "app/OrvikController.h"
#include "app/OrvikPreferences.h"
#include "app/OrvikTerminal.h"
#include "app/ServersPreferencesViewController.h"
#include "app/SessionsListSidebarViewController.h"
#include "app/SettingsPanelController.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

void settle(int milliseconds = 300) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

std::string sample(const char* name) {
    QFile file(QStringLiteral(ORVIK_SAMPLES_DIR "/%1").arg(QString::fromLatin1(name)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

std::shared_ptr<OrvikController> server(const std::string& name, const std::string& host,
                                        const std::string& theme) {
    auto controller = std::make_shared<OrvikController>();
    controller->setName(name);
    controller->setSsh_host(host);
    controller->ssh_user = "deploy";
    controller->profile()->setTheme_name(theme);
    return controller;
}

// The window and whatever popups stand over it, as the screen shows them.
QImage screenAround(QWidget& window, std::vector<const QWidget*> popups) {
    std::erase_if(popups, [](const QWidget* popup) { return !popup || !popup->isVisible(); });
    QRect area = window.frameGeometry();
    for (const QWidget* popup : popups)
        area = area.united(popup->frameGeometry());
    QScreen* screen = window.screen();
    QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    // Platforms without a screen to read (offscreen) give the widgets instead.
    if (shot.isNull()) {
        shot = QPixmap(area.size());
        shot.fill(Qt::black);
        QPainter painter(&shot);
        painter.drawPixmap(window.frameGeometry().topLeft() - area.topLeft(), window.grab());
        for (const QWidget* popup : popups)
            painter.drawPixmap(popup->frameGeometry().topLeft() - area.topLeft(),
                               const_cast<QWidget*>(popup)->grab());
    }
    return shot.toImage();
}

bool save(const QImage& image, const QString& dir, const char* name) {
    const QString path = dir + "/" + QString::fromLatin1(name);
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s %dx%d\n", qPrintable(path), image.width(), image.height());
    return true;
}

// Takes a picture of the alert it is asked to run and answers as Escape would.
class PicturedAlertRunner : public WendleAlertRunner {
public:
    PicturedAlertRunner(QString folder, const char* name) : folder_(std::move(folder)), name_(name) {}
    long runModal(WendleAlert& alert, QWidget* window) override {
        WendleAlertDialog dialog(alert, window);
        dialog.show();
        settle(400);
        saved = save(dialog.grab().toImage(), folder_, name_);
        return alert.cancelCode();
    }
    bool saved = false;

private:
    QString folder_;
    const char* name_;
};

} // namespace

int main(int argc, char* argv[]) {
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("orvik-tour");
    // A store of the tour's own, never the user's.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    UserDefaults::setStandardUserDefaultsPath((home.path() + "/config/orvik/defaults.json").toStdString());
    QApplication application(argc, argv);
    OrvikPrepareLaunch();
    QDir().mkpath(out);
    bool ok = true;

    auto& preferences = OrvikPreferences::sharedPreferences();
    preferences.setShellProfiles({server("web-1", "web-1.example.net", "Grass"),
                                  server("db-primary", "db.example.net", "Monitor"),
                                  server("build", "build.example.net", "Moroccan")});
    AppDelegate delegate;
    // The launch steps ran above.
    delegate.setLaunchSteps({});
    delegate.applicationDidFinishLaunching();
    MainWindowController* window = delegate.mainWindowController();
    window->setControllerSetup(
        [](OrvikController& page) { page.setTransportFactory(QuietTransport::factory()); });
    window->resize(1100, 640);
    window->move(0, 0);
    window->show();
    settle();

    // Two pages: a listing, and an editor whose host set a title.
    for (size_t i = 0; i < 2; ++i)
        window->connectToRepresentedServer(*preferences.shellProfiles()[i]->uid);
    settle();
    const char* samples[] = {"listing.bin", "editor.bin"};
    for (size_t i = 0; i < 2; ++i) {
        auto& terminal = window->terminals()[i];
        terminal->renderData("\x1b[H\x1b[2J" + sample(samples[i]));
    }
    window->terminals()[1]->renderData("\x1b]0;vim deploy.yml\x07");
    window->sidebarViewController()->selectSidebarItemAtIndex(0);
    settle(600);
    ok &= save(screenAround(*window, {}), out, "tour-main.png");

    window->showSidebar();
    settle();
    ok &= save(screenAround(*window, {}), out, "tour-sidebar-hidden.png");
    window->showSidebar();
    settle();

    window->showTerminalLogs(window->connectToServerControl());
    settle(500);
    ok &= save(screenAround(*window, {window->terminalLogsPopover()}), out, "tour-log-popover.png");
    window->terminalLogsPopover()->close();
    settle();

    window->connectToServer(1);
    settle(500);
    ok &= save(screenAround(*window, {window->toolbarConnectToMenu()}), out, "tour-connect-menu.png");
    window->toolbarConnectToMenu()->close();
    settle();

    // The menus, opened from the menu bar as a click opens them.
    auto openMenu = [&](QMenu* menu, QMenu* sub, const char* name) {
        QMenuBar* bar = delegate.menuBar();
        menu->popup(bar->mapToGlobal(bar->actionGeometry(menu->menuAction()).bottomLeft()));
        settle(300);
        if (sub) {
            menu->setActiveAction(sub->menuAction());
            sub->popup(menu->mapToGlobal(menu->actionGeometry(sub->menuAction()).topRight()));
            settle(300);
        }
        ok &= save(screenAround(*window, {menu, sub}), out, name);
        if (sub) sub->hide();
        menu->hide();
        settle();
    };
    openMenu(delegate.shellMenu(), delegate.newShellMenu(), "tour-menu-shell.png");
    openMenu(delegate.viewMenu(), delegate.fontMenu(), "tour-menu-view.png");
    openMenu(delegate.windowMenu(), nullptr, "tour-menu-window.png");
    openMenu(delegate.helpMenu(), nullptr, "tour-menu-help.png");

    // The preferences window, pane by pane, and the font sheet.
    delegate.openPreferencesWindow();
    MASPreferencesWindowController* preferencesWindow = delegate.preferencesWindowController();
    QMainWindow* panes = preferencesWindow->window();
    panes->move(80, 60);
    settle(500);
    const std::pair<int, const char*> shots[] = {
        {AppDelegate::GeneralPaneIndex, "tour-preferences-general.png"},
        {AppDelegate::PrivateKeysPaneIndex, "tour-preferences-keys.png"},
        {AppDelegate::AboutPaneIndex, "tour-preferences-about.png"}};
    for (const auto& [index, name] : shots) {
        preferencesWindow->selectControllerAtIndex(index);
        settle(400);
        ok &= save(screenAround(*panes, {}), out, name);
    }
    preferencesWindow->selectControllerAtIndex(AppDelegate::GeneralPaneIndex);
    settle();
    auto* general = static_cast<GeneralPreferencesViewController*>(
        preferencesWindow->viewControllers()[AppDelegate::GeneralPaneIndex]);
    general->openFontPanel();
    settle(500);
    ok &= save(screenAround(*panes, {general->fontPanel()}), out, "tour-font-sheet.png");
    general->fontPanelCancel();
    panes->close();
    settle();
    // The server sheet: one method, then several, each with the proxy open.
    auto sheetPicture = [&](const std::shared_ptr<OrvikController>& profile, const char* name) {
        SettingsPanelController sheet(SettingsPanelController::initInEditModeWithSessionController, profile,
                                      window);
        sheet.beginSheet(window, nullptr);
        sheet.proxyViewController()->setDisclosed(true);
        settle(500);
        ok &= save(sheet.grab().toImage(), out, name);
        sheet.endSheet(0);
        settle();
    };
    using Methods = std::vector<std::shared_ptr<HalvexAuthMethodModel>>;
    auto single = preferences.shellProfiles()[0];
    single->ssh_user = "deploy";
    single->setAuth_methods(Methods{HalvexAuthMethodModel::sharedPasswordAutheMethod()});
    sheetPicture(single, "tour-sheet-single-factor.png");
    auto multi = preferences.shellProfiles()[1]->copyAs<OrvikController>();
    multi->setAuth_methods(Methods{HalvexAuthMethodModel::sharedPublickeyAutheMethod(),
                                   HalvexAuthMethodModel::sharedPasswordAutheMethod()});
    sheetPicture(multi, "tour-sheet-multi-factor.png");

    // The Servers pane with the three stored servers.
    {
        ServersPreferencesViewController pane;
        QWidget* view = pane.view();
        view->show();
        pane.serversTableView()->selectRow(1);
        settle(500);
        ok &= save(view->grab().toImage(), out, "tour-servers-pane.png");

        // Removing the selected server asks first; the picture is taken and
        // the alert answered with Cancel, so nothing is removed.
        auto pictured = std::make_shared<PicturedAlertRunner>(out, "tour-remove-server-alert.png");
        WendleScopedAlertRunner installed(pictured);
        pane.removeProfile();
        ok &= pictured->saved;
    }

    // An empty store: the launch view.
    while (!window->terminals().empty())
        window->closeTerminalAtIndex(0);
    preferences.setShellProfiles({});
    settle();
    ok &= save(screenAround(*window, {}), out, "tour-launch.png");

    return ok ? 0 : 1;
}
