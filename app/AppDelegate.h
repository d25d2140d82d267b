#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class MainWindowController;
class MASPreferencesViewController;
class MASPreferencesWindowController;
class OrvikPreferences;
class QAction;
class QMenu;
class QMenuBar;

// The application's delegate: it runs the launch sequence, owns the one main
// window and the preferences window, fills the menus (Shell, New Shell, View,
// Font, Window, Help) as they open, moves the Ctrl+Shift+W shortcut between
// the Shell menu's items tagged 1003 (Close Window) and 1004 (Close Shell) as
// the main window gains and loses the focus, and opens the help, feedback,
// privacy and what's-new links (build-time settings).
//
// The main window is never destroyed: closing it hides it, and a reopen (a
// later launch of the program) shows it again. GUI thread only.
//
// Object names: the menu bar "mainMenu"; the menus "shellMenu",
// "newShellMenu", "viewMenu", "fontMenu", "windowMenu", "helpMenu"; the
// delegate's items are named after their actions ("openPreferencesWindow",
// "openHelpURL", ...); items taken from the main window keep its names.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Pane indices of the preferences window; 3 is a flexible space.
    static constexpr int GeneralPaneIndex = 0;
    static constexpr int ServersPaneIndex = 1;
    static constexpr int PrivateKeysPaneIndex = 2;
    static constexpr int AboutPaneIndex = 4;
    // The tags of the Shell menu's Close Window and Close Shell items.
    static constexpr int CloseWindowItemTag = 1003;
    static constexpr int CloseShellItemTag = 1004;

    // Keys of the links, whose values the build sets.
    static constexpr const char* HelpURLKey = "VyHelpURL";
    static constexpr const char* WhatsNewURLKey = "VyWhatsNewURL";
    static constexpr const char* PrivacyPolicyURLKey = "VySecurityPrivacyURL";
    static constexpr const char* SupportAddressKey = "VySupportAddress";

    // Over the application's shared preferences unless others are given.
    explicit AppDelegate(std::shared_ptr<OrvikPreferences> preferences = nullptr, QObject* parent = nullptr);
    ~AppDelegate() override;

    // What runs before the main window at launch (OrvikPrepareLaunch unless
    // replaced; tests run their own).
    void setLaunchSteps(std::function<void()> steps) { launchSteps_ = std::move(steps); }
    // The launch steps, then the main window: made, shown, watched.
    void applicationDidFinishLaunching();
    // A reopen: shows the main window when it is not visible. Always true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void applicationWillTerminate() {}

    MainWindowController* mainWindowController() const { return mainWindowController_.get(); }
    // Made on first use; closing its window keeps it.
    MASPreferencesWindowController* preferencesWindowController();
    OrvikPreferences& preferences() const { return *preferences_; }

    QMenuBar* menuBar() const { return menuBar_; }
    QMenu* shellMenu() const { return shellMenu_; }
    QMenu* newShellMenu() const { return newShellMenu_; }
    QMenu* viewMenu() const { return viewMenu_; }
    QMenu* fontMenu() const { return fontMenu_; }
    QMenu* windowMenu() const { return windowMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    // The item of `menu` with that tag, or null.
    static QAction* itemWithTag(const QMenu* menu, int tag);

    // --- window actions
    void openMainWindow();
    void openPreferencesWindow();
    // Select the Servers / About pane, then open the window on the next pass
    // of the event loop.
    void openServersWindow();
    void openAboutWindow();
    // Closes the window that has the focus (Close Window).
    void performClose();
    void minimize();
    // Quit: the event loop ends.
    void terminate();

    // --- link actions
    void openHelpURL();
    void openWhatsNewURL();
    void openPrivacyPolicyURL();
    void openSendFeedback();
    // The build's value for one of the keys above ("" for any other).
    static QString infoValue(const char* key);
    // "mailto:<address>?subject=Orvik Support&body=<greeting>", each part
    // percent-escaped as UTF-8.
    static QString feedbackMailLink();

    // Every item the delegate handles is enabled.
    bool validateUserInterfaceItem(const QAction*) const { return true; }

    // --- menu delegate (menus are told apart by their titles)
    void menuWillOpen(QMenu* menu);
    void menuNeedsUpdate(QMenu* menu);

    // --- main window's key status
    void windowDidBecomeKey();
    void windowDidResignKey();

    // Whether a later launch can reach this program: without that, the
    // program ends once no window is left visible.
    void setReopenChannelAvailable(bool available);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    QAction* addItem(QMenu* menu, const QString& title, const char* name, void (AppDelegate::*action)(),
                     const QKeySequence& shortcut = {});
    QAction* mainWindowItem(const char* name) const;

    std::shared_ptr<OrvikPreferences> preferences_;
    std::function<void()> launchSteps_;
    std::unique_ptr<MainWindowController> mainWindowController_;
    QPointer<MASPreferencesWindowController> preferencesWindowController_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* shellMenu_ = nullptr;
    QMenu* newShellMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* fontMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* viewSidebarItem_ = nullptr;
    // Items that answer in every window of the application.
    QList<QAction*> applicationItems_;
};
