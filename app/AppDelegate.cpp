#include "app/AppDelegate.h"

#include "Foundation/Log.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Halvex/Views/HalvexQtAlertPresenter.h"
#include "Halvex/Views/PrivateKeysPreferencesViewController.h"
#include "Rellum/RellumFont.h"
#include "Wendle/Views/AboutPreferencesViewController.h"
#include "Wendle/Views/MASPreferencesWindowController.h"
#include "app/GeneralPreferencesViewController.h"
#include "app/MainWindowController.h"
#include "app/OrvikApplication.h"
#include "app/OrvikController.h"
#include "app/OrvikPreferences.h"
#include "app/OrvikTerminal.h"
#include "app/ServersPreferencesViewController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QUrl>

#ifndef ORVIK_HELP_URL
#define ORVIK_HELP_URL ""
#endif
#ifndef ORVIK_WHATS_NEW_URL
#define ORVIK_WHATS_NEW_URL ""
#endif
#ifndef ORVIK_PRIVACY_URL
#define ORVIK_PRIVACY_URL ""
#endif
#ifndef ORVIK_SUPPORT_ADDRESS
#define ORVIK_SUPPORT_ADDRESS ""
#endif
#ifndef ORVIK_VERSION
#define ORVIK_VERSION ""
#endif

namespace {

const char* const kTagProperty = "tag";
const QString kShellTitle = QStringLiteral("Shell");
const QString kNewShellTitle = QStringLiteral("New Shell");
const QString kViewTitle = QStringLiteral("View");
const QString kFontTitle = QStringLiteral("Font");
const QString kWindowTitle = QStringLiteral("Window");
// The View menu's item that holds the Font menu.
constexpr int kViewFontItemIndex = 6;

QKeySequence closeShellShortcut() {
    return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W);
}
QKeySequence closeWindowShortcutWhileMainIsKey() {
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_W);
}

// One part of a mail link, percent-escaped as UTF-8; the "=" between a query
// item's name and value stays.
QString escaped(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "=@"));
}

} // namespace

AppDelegate::AppDelegate(std::shared_ptr<OrvikPreferences> preferences, QObject* parent)
    : QObject(parent),
      preferences_(preferences ? std::move(preferences) : OrvikPreferences::sharedPreferencesPointer()),
      launchSteps_(&OrvikPrepareLaunch) {}

AppDelegate::~AppDelegate() {
    if (mainWindowController_) {
        mainWindowController_->removeEventFilter(this);
        HalvexAlertPresenter::setSharedPresenter(nullptr);
    }
    delete preferencesWindowController_.data();
    mainWindowController_.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (mainWindowController_) return;
    if (launchSteps_) launchSteps_();
    mainWindowController_ = std::make_unique<MainWindowController>(preferences_);
    MainWindowController* window = mainWindowController_.get();
    // The engine's questions (host keys) are asked over the main window.
    HalvexAlertPresenter::setSharedPresenter(std::make_shared<HalvexQtAlertPresenter>(window));
    buildMenus();
    connect(window, &MainWindowController::openServersWindowRequested, this, &AppDelegate::openServersWindow);
    window->installEventFilter(this);
    // The window takes the focus as it first shows.
    windowDidBecomeKey();
    window->show();
}

bool AppDelegate::applicationShouldHandleReopen(bool) {
    if (mainWindowController_ && !mainWindowController_->isVisible()) openMainWindow();
    return true;
}

void AppDelegate::setReopenChannelAvailable(bool available) {
    // A hidden main window waits for a later launch only if one can reach it.
    QGuiApplication::setQuitOnLastWindowClosed(!available);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mainWindowController_.get()) {
        if (event->type() == QEvent::WindowActivate) windowDidBecomeKey();
        if (event->type() == QEvent::WindowDeactivate) windowDidResignKey();
    }
    return QObject::eventFilter(watched, event);
}

// --- menus

QAction* AppDelegate::itemWithTag(const QMenu* menu, int tag) {
    if (!menu) return nullptr;
    for (QAction* item : menu->actions())
        if (item->property(kTagProperty).toInt() == tag) return item;
    return nullptr;
}

QAction* AppDelegate::mainWindowItem(const char* name) const {
    return mainWindowController_->action(QString::fromLatin1(name));
}

QAction* AppDelegate::addItem(QMenu* menu, const QString& title, const char* name,
                              void (AppDelegate::*action)(), const QKeySequence& shortcut) {
    QAction* item = menu->addAction(title);
    item->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, action);
    return item;
}

void AppDelegate::buildMenus() {
    MainWindowController* window = mainWindowController_.get();
    menuBar_ = window->menuBar();
    menuBar_->setObjectName(QStringLiteral("mainMenu"));
    auto menu = [this](const QString& title, const char* name) {
        QMenu* m = menuBar_->addMenu(title);
        m->setObjectName(QString::fromLatin1(name));
        return m;
    };

    shellMenu_ = menu(kShellTitle, "shellMenu");
    newShellMenu_ = shellMenu_->addMenu(kNewShellTitle);
    newShellMenu_->setObjectName(QStringLiteral("newShellMenu"));
    shellMenu_->addAction(mainWindowItem("connectToAnotherServer"));
    shellMenu_->addAction(mainWindowItem("connectToAllServers"));
    shellMenu_->addSeparator();
    addItem(shellMenu_, tr("Manage Servers…"), "openServersWindow", &AppDelegate::openServersWindow);
    shellMenu_->addSeparator();
    QAction* closeShell = mainWindowItem("closeTerminal");
    closeShell->setProperty(kTagProperty, CloseShellItemTag);
    shellMenu_->addAction(closeShell);
    shellMenu_->addAction(mainWindowItem("closeOtherTerminals"));
    QAction* closeWindow =
        addItem(shellMenu_, tr("Close Window"), "performClose", &AppDelegate::performClose);
    closeWindow->setProperty(kTagProperty, CloseWindowItemTag);
    shellMenu_->addSeparator();
    QAction* preferencesItem =
        addItem(shellMenu_, tr("Preferences…"), "openPreferencesWindow", &AppDelegate::openPreferencesWindow);
    shellMenu_->addSeparator();
    QAction* quit = addItem(shellMenu_, tr("Quit Orvik"), "terminate", &AppDelegate::terminate,
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q));
    // These answer in the preferences window too.
    applicationItems_ = {closeWindow, preferencesItem, quit};
    for (QAction* item : applicationItems_)
        item->setShortcutContext(Qt::ApplicationShortcut);

    viewMenu_ = menu(kViewTitle, "viewMenu");
    viewSidebarItem_ = viewMenu_->addAction(mainWindowItem("showSidebar")->text());
    viewSidebarItem_->setObjectName(QStringLiteral("viewShowSidebar"));
    connect(viewSidebarItem_, &QAction::triggered, window, [window] { window->showSidebar(); });
    viewMenu_->addSeparator();
    viewMenu_->addAction(mainWindowItem("textSizeDefault"));
    viewMenu_->addAction(mainWindowItem("textSizeBigger"));
    viewMenu_->addAction(mainWindowItem("textSizeSmaller"));
    viewMenu_->addSeparator();
    fontMenu_ = viewMenu_->addMenu(kFontTitle);
    fontMenu_->setObjectName(QStringLiteral("fontMenu"));
    viewMenu_->addSeparator();
    viewMenu_->addAction(mainWindowItem("showTerminalLogs"));

    windowMenu_ = menu(kWindowTitle, "windowMenu");
    addItem(windowMenu_, tr("Minimize"), "performMiniaturize", &AppDelegate::minimize,
            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    windowMenu_->addSeparator();
    addItem(windowMenu_, tr("Orvik"), "openMainWindow", &AppDelegate::openMainWindow);
    addItem(windowMenu_, tr("Servers"), "openServersWindowFromWindowMenu", &AppDelegate::openServersWindow);

    helpMenu_ = menu(tr("Help"), "helpMenu");
    addItem(helpMenu_, tr("Orvik Help"), "openHelpURL", &AppDelegate::openHelpURL);
    addItem(helpMenu_, tr("What's New in Orvik"), "openWhatsNewURL", &AppDelegate::openWhatsNewURL);
    helpMenu_->addSeparator();
    addItem(helpMenu_, tr("Send Feedback…"), "openSendFeedback", &AppDelegate::openSendFeedback);
    addItem(helpMenu_, tr("Privacy Policy"), "openPrivacyPolicyURL", &AppDelegate::openPrivacyPolicyURL);
    helpMenu_->addSeparator();
    addItem(helpMenu_, tr("About Orvik"), "openAboutWindow", &AppDelegate::openAboutWindow);

    for (QMenu* m : {shellMenu_, newShellMenu_, viewMenu_, fontMenu_, windowMenu_}) {
        connect(m, &QMenu::aboutToShow, this, [this, m] {
            menuWillOpen(m);
            menuNeedsUpdate(m);
        });
        // The items' states hold before the first opening too.
        menuNeedsUpdate(m);
    }
}

void AppDelegate::menuWillOpen(QMenu* menu) {
    if (menu && menu->title() == kWindowTitle && mainWindowController_)
        mainWindowController_->updateWindowTitle();
}

void AppDelegate::menuNeedsUpdate(QMenu* menu) {
    if (!menu || !mainWindowController_) return;
    MainWindowController* window = mainWindowController_.get();
    const QString title = menu->title();
    if (title == kShellTitle) {
        if (!menu->actions().isEmpty())
            menu->actions().first()->setEnabled(!preferences_->shellProfiles().empty());
    } else if (title == kNewShellTitle) {
        menu->clear();
        const auto profiles = preferences_->shellProfiles();
        if (profiles.empty()) return;
        const auto& last = window->lastConnectedShellController();
        const auto& first = last ? last : profiles.front();
        auto item = [this, window, menu](const QString& text, const std::string& uid) {
            QAction* entry = menu->addAction(text);
            entry->setData(QString::fromStdString(uid));
            connect(entry, &QAction::triggered, window,
                    [window, uid] { window->connectToRepresentedServer(uid); });
            return entry;
        };
        QAction* head =
            item(tr("New Shell for Server - %1").arg(QString::fromStdString(first->name().value_or(""))),
                 first->uid.value_or(""));
        head->setObjectName(QStringLiteral("newShellForLastServer"));
        // Shown here, and answered here while the menu is open; otherwise
        // the main window's own New Shell takes the same chord to the same
        // server.
        head->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
        head->setShortcutContext(Qt::WidgetShortcut);
        menu->addSeparator();
        for (const auto& profile : profiles)
            item(QString::fromStdString(profile->name().value_or("")), profile->uid.value_or(""));
    } else if (title == kViewTitle) {
        const auto items = menu->actions();
        if (!items.isEmpty()) items.first()->setText(mainWindowItem("showSidebar")->text());
        if (items.size() > kViewFontItemIndex)
            items[kViewFontItemIndex]->setEnabled(window->selectedTerminal() != nullptr);
    } else if (title == kFontTitle) {
        const auto font = window->fontOfSelectedTerminal();
        if (!window->selectedTerminal() || !font) return;
        menu->clear();
        const std::string selected = font->familyName();
        for (const auto& family : OrvikPreferences::builtinFontNames()) {
            QAction* entry = menu->addAction(QString::fromStdString(family));
            entry->setData(QString::fromStdString(family));
            entry->setCheckable(true);
            entry->setChecked(family == selected);
            connect(entry, &QAction::triggered, window,
                    [window, family] { window->fontNameSelected(family); });
        }
    }
}

void AppDelegate::windowDidBecomeKey() {
    if (QAction* closeWindow = itemWithTag(shellMenu_, CloseWindowItemTag))
        closeWindow->setShortcut(closeWindowShortcutWhileMainIsKey());
    if (QAction* closeShell = itemWithTag(shellMenu_, CloseShellItemTag))
        closeShell->setShortcut(closeShellShortcut());
}

void AppDelegate::windowDidResignKey() {
    if (QAction* closeWindow = itemWithTag(shellMenu_, CloseWindowItemTag))
        closeWindow->setShortcut(closeShellShortcut());
    if (QAction* closeShell = itemWithTag(shellMenu_, CloseShellItemTag))
        closeShell->setShortcut(QKeySequence());
}

// --- windows

MASPreferencesWindowController* AppDelegate::preferencesWindowController() {
    if (preferencesWindowController_) return preferencesWindowController_;
    AboutPreferencesViewController::Info about;
    about.applicationName = QStringLiteral("Orvik");
    about.version = QStringLiteral(ORVIK_VERSION);
    about.copyright = tr("Copyright © 2026 Brimble Studio");
    std::vector<MASPreferencesViewController*> panes = {new GeneralPreferencesViewController(preferences_),
                                                        new ServersPreferencesViewController(preferences_),
                                                        new PrivateKeysPreferencesViewController(), nullptr,
                                                        new AboutPreferencesViewController(about)};
    auto* controller = new MASPreferencesWindowController(std::move(panes), this);
    QMainWindow* window = controller->window();
    // No zoom button: the panes have sizes of their own.
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->addActions(applicationItems_);
    preferencesWindowController_ = controller;
    return controller;
}

void AppDelegate::openMainWindow() {
    if (!mainWindowController_) return;
    mainWindowController_->show();
    mainWindowController_->raise();
    mainWindowController_->activateWindow();
}

void AppDelegate::openPreferencesWindow() {
    MASPreferencesWindowController* controller = preferencesWindowController();
    if (controller->selectedIndex() < 0) controller->selectControllerAtIndex(GeneralPaneIndex);
    QMainWindow* window = controller->window();
    QScreen* screen =
        mainWindowController_ ? mainWindowController_->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    controller->showWindow(this);
}

void AppDelegate::openServersWindow() {
    preferencesWindowController()->selectControllerAtIndex(ServersPaneIndex);
    QTimer::singleShot(0, this, &AppDelegate::openPreferencesWindow);
}

void AppDelegate::openAboutWindow() {
    preferencesWindowController()->selectControllerAtIndex(AboutPaneIndex);
    QTimer::singleShot(0, this, &AppDelegate::openPreferencesWindow);
}

void AppDelegate::performClose() {
    if (QWidget* window = QApplication::activeWindow()) window->close();
}

void AppDelegate::minimize() {
    if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
}

void AppDelegate::terminate() {
    applicationWillTerminate();
    QCoreApplication::quit();
}

// --- links

QString AppDelegate::infoValue(const char* key) {
    const QLatin1String name(key);
    if (name == QLatin1String(HelpURLKey)) return QStringLiteral(ORVIK_HELP_URL);
    if (name == QLatin1String(WhatsNewURLKey)) return QStringLiteral(ORVIK_WHATS_NEW_URL);
    if (name == QLatin1String(PrivacyPolicyURLKey)) return QStringLiteral(ORVIK_PRIVACY_URL);
    if (name == QLatin1String(SupportAddressKey)) return QStringLiteral(ORVIK_SUPPORT_ADDRESS);
    return {};
}

namespace {

void openLink(const char* key) {
    const QString value = AppDelegate::infoValue(key);
    if (value.isEmpty()) {
        Log::warning("no link is set for {}", key);
        return;
    }
    QDesktopServices::openUrl(QUrl(value));
}

} // namespace

void AppDelegate::openHelpURL() {
    openLink(HelpURLKey);
}

void AppDelegate::openWhatsNewURL() {
    openLink(WhatsNewURLKey);
}

void AppDelegate::openPrivacyPolicyURL() {
    openLink(PrivacyPolicyURLKey);
}

QString AppDelegate::feedbackMailLink() {
    return QStringLiteral("mailto:%1?%2&%3")
        .arg(escaped(infoValue(SupportAddressKey)), escaped(QStringLiteral("subject=Orvik Support")),
             escaped(QStringLiteral("body=") + tr("Hello Orvik team,\n\n")));
}

void AppDelegate::openSendFeedback() {
    QDesktopServices::openUrl(QUrl(feedbackMailLink()));
}
