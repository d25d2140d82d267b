// The application's delegate over scratch preferences: its menus with 0, 1
// and 3 stored servers, the Font menu's check mark, the close shortcuts, the
// preferences window's panes, the Help links (through an intercepted URL
// handler) and the main window's hiding and reopening.

#include "MainWindowTestSupport.h"

#include "Wendle/Views/MASPreferencesWindowController.h"
#include "app/AppDelegate.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QUrlQuery>
#include <QtTest/QTest>

using namespace app_test;

namespace {

// Records every URL the desktop would have opened.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() {
        for (const char* scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlCatcher() override {
        for (const char* scheme : {"http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.push_back(url); }
};

struct DelegateHarness {
    QtMain main;
    Scratch dir;
    std::shared_ptr<OrvikPreferences> prefs = scratchPreferences(dir);
    std::unique_ptr<AppDelegate> delegate;
    std::vector<std::weak_ptr<OrvikController>> pageControllers;
    bool windowExistedDuringLaunchSteps = true;
    int launchStepRuns = 0;

    explicit DelegateHarness(std::vector<std::shared_ptr<OrvikController>> servers = {}) {
        if (!servers.empty()) prefs->setShellProfiles(servers);
        delegate = std::make_unique<AppDelegate>(prefs);
        delegate->setLaunchSteps([this] {
            ++launchStepRuns;
            windowExistedDuringLaunchSteps = delegate->mainWindowController() != nullptr;
        });
        delegate->applicationDidFinishLaunching();
        window().setControllerSetup([this](OrvikController& page) {
            pageControllers.push_back(std::static_pointer_cast<OrvikController>(page.shared_from_this()));
            page.setTransportFactory(QuietTransport::factory());
        });
        window().resize(1000, 650);
        pumpEvents();
    }
    ~DelegateHarness() {
        delegate.reset();
        pumpUntil([&] {
            for (auto& c : pageControllers)
                if (!c.expired()) return false;
            return true;
        });
        pumpEvents();
    }

    MainWindowController& window() { return *delegate->mainWindowController(); }
    void connect(size_t storedIndex) {
        window().connectToRepresentedServer(*prefs->shellProfiles().at(storedIndex)->uid);
        pumpEvents();
    }
};

// Opens a menu as a click would (its updates run), then closes it.
void open(QMenu* menu) {
    ASSERT_NE(menu, nullptr);
    menu->popup(QPoint(10, 10));
    pumpEvents();
    menu->hide();
    pumpEvents();
}

QStringList titles(const QMenu* menu) {
    QStringList out;
    for (QAction* item : menu->actions())
        out << (item->isSeparator() ? QStringLiteral("-") : item->text());
    return out;
}

QAction* named(QMenu* menu, const char* name) {
    for (QAction* item : menu->actions())
        if (item->objectName() == QLatin1String(name)) return item;
    return nullptr;
}

} // namespace

TEST(AppDelegate, LaunchRunsTheStepsBeforeTheMainWindowAndShowsItWithItsMenus) {
    DelegateHarness h;
    EXPECT_EQ(h.launchStepRuns, 1);
    EXPECT_FALSE(h.windowExistedDuringLaunchSteps);
    EXPECT_TRUE(h.window().isVisible());
    QMenuBar* bar = h.window().findChild<QMenuBar*>(QStringLiteral("mainMenu"));
    ASSERT_NE(bar, nullptr);
    QStringList menus;
    for (QAction* item : bar->actions())
        menus << item->text();
    EXPECT_EQ(menus, QStringList({"Shell", "View", "Window", "Help"}));
    // A second call does not make a second window.
    auto* first = h.delegate->mainWindowController();
    h.delegate->applicationDidFinishLaunching();
    EXPECT_EQ(h.delegate->mainWindowController(), first);
    EXPECT_EQ(h.launchStepRuns, 1);
}

TEST(AppDelegateMenus, WithNoServersNewShellIsEmptyAndTheShellMenuFirstItemDisabled) {
    DelegateHarness h;
    open(h.delegate->shellMenu());
    EXPECT_EQ(h.delegate->shellMenu()->actions().first()->menu(), h.delegate->newShellMenu());
    EXPECT_FALSE(h.delegate->shellMenu()->actions().first()->isEnabled());
    open(h.delegate->newShellMenu());
    EXPECT_TRUE(h.delegate->newShellMenu()->actions().isEmpty());
}

TEST(AppDelegateMenus, WithOneServerNewShellNamesItAndOpensAPageOnIt) {
    DelegateHarness h({storedServer("alpha")});
    open(h.delegate->shellMenu());
    EXPECT_TRUE(h.delegate->shellMenu()->actions().first()->isEnabled());
    QMenu* menu = h.delegate->newShellMenu();
    open(menu);
    EXPECT_EQ(titles(menu), QStringList({"New Shell for Server - alpha", "-", "alpha"}));
    QAction* head = menu->actions().first();
    EXPECT_EQ(head->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+N")));
    EXPECT_EQ(head->data().toString().toStdString(), *h.prefs->shellProfiles()[0]->uid);
    head->trigger();
    pumpEvents();
    ASSERT_EQ(h.window().terminals().size(), 1u);
    EXPECT_EQ(h.window().terminals()[0]->shellController()->uid, h.prefs->shellProfiles()[0]->uid);
}

TEST(AppDelegateMenus, WithThreeServersTheFirstItemFollowsTheLastConnectedAndTheRestKeepListOrder) {
    DelegateHarness h({storedServer("alpha"), storedServer("beta"), storedServer("gamma")});
    QMenu* menu = h.delegate->newShellMenu();
    open(menu);
    EXPECT_EQ(titles(menu), QStringList({"New Shell for Server - alpha", "-", "alpha", "beta", "gamma"}));

    h.connect(2);
    open(menu);
    EXPECT_EQ(titles(menu), QStringList({"New Shell for Server - gamma", "-", "alpha", "beta", "gamma"}));
    // Rebuilt on every opening: no items pile up.
    open(menu);
    EXPECT_EQ(menu->actions().size(), 5);

    menu->actions()[3]->trigger(); // beta
    pumpEvents();
    ASSERT_EQ(h.window().terminals().size(), 2u);
    EXPECT_EQ(h.window().selectedTerminal()->shellController()->uid, h.prefs->shellProfiles()[1]->uid);

    // The stored list changes: the next opening shows it.
    h.prefs->setShellProfiles({h.prefs->shellProfiles()[1]});
    open(menu);
    EXPECT_EQ(titles(menu), QStringList({"New Shell for Server - beta", "-", "beta"}));
}

TEST(AppDelegateMenus, FontMenuMarksExactlyTheSelectedTerminalsFamily) {
    DelegateHarness h({storedServer("alpha")});
    QMenu* view = h.delegate->viewMenu();
    QMenu* font = h.delegate->fontMenu();
    // No page: the Font item is disabled and the menu left as it was.
    open(view);
    ASSERT_GT(view->actions().size(), 6);
    EXPECT_EQ(view->actions()[6]->menu(), font);
    EXPECT_FALSE(view->actions()[6]->isEnabled());
    open(font);
    EXPECT_TRUE(font->actions().isEmpty());

    h.connect(0);
    open(view);
    EXPECT_TRUE(view->actions()[6]->isEnabled());
    open(font);
    const auto& families = OrvikPreferences::builtinFontNames();
    ASSERT_FALSE(families.empty());
    ASSERT_EQ(font->actions().size(), static_cast<int>(families.size()));
    auto checked = [&] {
        QStringList out;
        for (QAction* item : font->actions())
            if (item->isChecked()) out << item->text();
        return out;
    };
    const QString family = QString::fromStdString(h.window().fontOfSelectedTerminal()->familyName());
    EXPECT_EQ(checked(), QStringList({family}));

    // Choosing another listed family gives it to the page and moves the
    // mark; with a single listed family, a family that is installed but not
    // listed leaves no item marked.
    QString other;
    for (QAction* item : font->actions())
        if (item->text() != family) other = item->text();
    const bool listed = !other.isEmpty();
    if (!listed)
        for (const QString& installed : QFontDatabase::families())
            if (installed != family && font->actions().size() == 1 && !installed.contains(','))
                other = installed;
    ASSERT_FALSE(other.isEmpty()) << "no second font family is installed";
    if (listed) {
        for (QAction* item : font->actions())
            if (item->text() == other) item->trigger();
    } else {
        h.window().fontNameSelected(other.toStdString());
    }
    pumpEvents();
    EXPECT_EQ(QString::fromStdString(h.window().fontOfSelectedTerminal()->familyName()), other);
    open(font);
    EXPECT_EQ(checked(), listed ? QStringList({other}) : QStringList());
}

TEST(AppDelegateMenus, ViewMenuFirstItemFollowsTheSidebarToggle) {
    DelegateHarness h;
    QMenu* view = h.delegate->viewMenu();
    open(view);
    EXPECT_EQ(view->actions().first()->text(), "Hide Sidebar");
    view->actions().first()->trigger();
    pumpEvents();
    EXPECT_FALSE(h.window().isSidebarVisible());
    open(view);
    EXPECT_EQ(view->actions().first()->text(), "Show Sidebar");
}

TEST(AppDelegateMenus, CloseShortcutMovesBetweenTheTwoItemsWithTheMainWindowsFocus) {
    DelegateHarness h({storedServer("alpha")});
    QAction* closeWindow = AppDelegate::itemWithTag(h.delegate->shellMenu(), AppDelegate::CloseWindowItemTag);
    QAction* closeShell = AppDelegate::itemWithTag(h.delegate->shellMenu(), AppDelegate::CloseShellItemTag);
    ASSERT_NE(closeWindow, nullptr);
    ASSERT_NE(closeShell, nullptr);
    EXPECT_EQ(closeShell, h.window().action(QStringLiteral("closeTerminal")));
    const QKeySequence w(QStringLiteral("Ctrl+Shift+W")), shiftW(QStringLiteral("Ctrl+Alt+Shift+W"));

    EXPECT_EQ(closeShell->shortcut(), w);
    EXPECT_EQ(closeWindow->shortcut(), shiftW);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&h.window(), &deactivate);
    EXPECT_EQ(closeWindow->shortcut(), w);
    EXPECT_TRUE(closeShell->shortcut().isEmpty());
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&h.window(), &activate);
    EXPECT_EQ(closeShell->shortcut(), w);
    EXPECT_EQ(closeWindow->shortcut(), shiftW);

    // Close Shell closes the selected page, not the window.
    h.connect(0);
    ASSERT_EQ(h.window().terminals().size(), 1u);
    closeShell->trigger();
    pumpEvents();
    EXPECT_TRUE(h.window().terminals().empty());
    EXPECT_TRUE(h.window().isVisible());
}

TEST(AppDelegateMenus, CtrlShiftWClosesThePreferencesWindowWhileItHasTheFocus) {
    DelegateHarness h({storedServer("alpha")});
    h.connect(0);
    h.delegate->openPreferencesWindow();
    QMainWindow* preferences = h.delegate->preferencesWindowController()->window();
    preferences->activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == preferences; }, 5000));
    QTest::keyClick(preferences, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    pumpEvents();
    EXPECT_FALSE(preferences->isVisible());
    // The main window and its page stay.
    EXPECT_TRUE(h.window().isVisible());
    EXPECT_EQ(h.window().terminals().size(), 1u);

    // Back in the main window the same chord closes the page.
    h.window().activateWindow();
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &h.window(); }, 5000));
    QTest::keyClick(&h.window(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    pumpEvents();
    EXPECT_TRUE(h.window().terminals().empty());
    EXPECT_TRUE(h.window().isVisible());
}

TEST(AppDelegatePreferences, PanesStandAtTheirIndicesBehindASpace) {
    DelegateHarness h;
    MASPreferencesWindowController* controller = h.delegate->preferencesWindowController();
    const auto& panes = controller->viewControllers();
    ASSERT_EQ(panes.size(), 5u);
    ASSERT_NE(panes[AppDelegate::GeneralPaneIndex], nullptr);
    EXPECT_EQ(panes[0]->identifier(), "GeneralPreferences");
    EXPECT_EQ(panes[0]->toolbarItemLabel(), "General");
    ASSERT_NE(panes[AppDelegate::PrivateKeysPaneIndex], nullptr);
    EXPECT_EQ(panes[2]->identifier(), "PrivateKeysPreferences");
    EXPECT_EQ(panes[3], nullptr);
    ASSERT_NE(panes[AppDelegate::AboutPaneIndex], nullptr);
    EXPECT_EQ(panes[4]->identifier(), "AboutPreferences");
    auto* toolbar = controller->window()->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_NE(toolbar, nullptr);
    ASSERT_EQ(toolbar->actions().size(), 5);
    ASSERT_NE(panes[AppDelegate::ServersPaneIndex], nullptr);
    EXPECT_EQ(panes[1]->identifier(), "ServersPreferences");
    EXPECT_EQ(panes[1]->toolbarItemLabel(), "Servers");
    EXPECT_TRUE(toolbar->actions()[3]->isVisible());
    EXPECT_FALSE(controller->window()->windowFlags() & Qt::WindowMaximizeButtonHint);

    // About opens on index 4, behind the space; General is the first pane.
    h.delegate->openAboutWindow();
    ASSERT_TRUE(pumpUntil([&] { return controller->window()->isVisible(); }, 5000));
    EXPECT_EQ(controller->selectedIndex(), AppDelegate::AboutPaneIndex);
    EXPECT_EQ(controller->window()->windowTitle(), "About");
    EXPECT_EQ(controller->window()->findChild<QLabel*>(QStringLiteral("applicationName"))->text(), "Orvik");

    // Servers selects its pane.
    h.delegate->openServersWindow();
    pumpEvents();
    EXPECT_EQ(controller->selectedIndex(), AppDelegate::ServersPaneIndex);
}

TEST(AppDelegatePreferences, TheWindowIsMadeOnceAndReusedAfterClosing) {
    DelegateHarness h;
    QMenu* shell = h.delegate->shellMenu();
    named(shell, "openPreferencesWindow")->trigger();
    pumpEvents();
    MASPreferencesWindowController* controller = h.delegate->preferencesWindowController();
    QMainWindow* window = controller->window();
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(controller->selectedIndex(), AppDelegate::GeneralPaneIndex);
    controller->selectControllerAtIndex(AppDelegate::PrivateKeysPaneIndex);

    window->close();
    pumpEvents();
    EXPECT_FALSE(window->isVisible());
    named(shell, "openPreferencesWindow")->trigger();
    pumpEvents();
    EXPECT_EQ(h.delegate->preferencesWindowController(), controller);
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(controller->selectedIndex(), AppDelegate::PrivateKeysPaneIndex);
    // The application's items answer there too.
    EXPECT_TRUE(window->actions().contains(named(shell, "terminate")));
}

TEST(AppDelegateHelp, LinksOpenTheBuildsValuesThroughTheDesktop) {
    DelegateHarness h;
    UrlCatcher catcher;
    QMenu* help = h.delegate->helpMenu();
    for (const char* name : {"openHelpURL", "openWhatsNewURL", "openPrivacyPolicyURL", "openSendFeedback"}) {
        QAction* item = named(help, name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isEnabled()) << name;
        item->trigger();
    }
    ASSERT_EQ(catcher.urls.size(), 4u);
    const char* keys[] = {AppDelegate::HelpURLKey, AppDelegate::WhatsNewURLKey,
                          AppDelegate::PrivacyPolicyURLKey};
    for (int i = 0; i < 3; ++i) {
        const QString value = AppDelegate::infoValue(keys[i]);
        ASSERT_FALSE(value.isEmpty()) << keys[i];
        EXPECT_EQ(catcher.urls[static_cast<size_t>(i)], QUrl(value)) << keys[i];
        EXPECT_EQ(catcher.urls[static_cast<size_t>(i)].scheme(), "https");
    }
    const QUrl mail = catcher.urls[3];
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path(), AppDelegate::infoValue(AppDelegate::SupportAddressKey));
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), "Orvik Support");
    EXPECT_TRUE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded).startsWith("Hello"));
    EXPECT_EQ(query.queryItems().size(), 2);
    // Spaces and line ends travel escaped.
    EXPECT_FALSE(mail.toString(QUrl::FullyEncoded).contains(' '));
    EXPECT_FALSE(mail.toString(QUrl::FullyEncoded).contains('\n'));
}

TEST(AppDelegateLifecycle, ClosingHidesTheMainWindowAndAReopenShowsItWithItsPages) {
    DelegateHarness h({storedServer("alpha")});
    h.connect(0);
    ASSERT_EQ(h.window().terminals().size(), 1u);
    h.window().close();
    pumpEvents();
    ASSERT_NE(h.delegate->mainWindowController(), nullptr);
    EXPECT_FALSE(h.window().isVisible());
    EXPECT_EQ(h.window().terminals().size(), 1u);

    EXPECT_TRUE(h.delegate->applicationShouldHandleReopen(false));
    EXPECT_TRUE(h.window().isVisible());
    EXPECT_EQ(h.window().terminals().size(), 1u);
    // Visible: nothing else happens.
    const QRect geometry = h.window().geometry();
    EXPECT_TRUE(h.delegate->applicationShouldHandleReopen(true));
    EXPECT_TRUE(h.window().isVisible());
    EXPECT_EQ(h.window().geometry(), geometry);

    // The window menu's item shows it too.
    h.window().hide();
    named(h.delegate->windowMenu(), "openMainWindow")->trigger();
    EXPECT_TRUE(h.window().isVisible());
}

#include "AppDelegateTests.moc"
