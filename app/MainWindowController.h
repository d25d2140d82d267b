#pragma once

#include "Rellum/RellumFont.h"
#include "Rellum/RellumTerminalDelegate.h"
#include "app/SessionsListSidebarViewController.h"
#include "app/SettingsPanelController.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ConnectToServerControl;
class HalvexSecretPrompter;
class OrvikController;
class OrvikPreferences;
class OrvikTerminal;
class QSplitter;
class TerminalPageController;
class WendlePopover;

// The name of the notification that gives every open page a new font; its
// object is the font (a std::shared_ptr<const RellumFont> or a QFont).
inline constexpr char OrvikFontDidChangeNotification[] = "OrvikFontDidChange";

// The application's one main window: the sidebar of open pages beside the
// page controller that shows one terminal page at a time, the toolbar with
// the connect control and the sidebar toggle, and the popover of a page's
// connection log. It opens shells on stored servers, closes them, and keeps
// `terminals`, the page controller's pages and the sidebar's rows in one
// order: every change of pages happens in one step on the GUI thread, so the
// three agree between any two events.
//
// Every page connects its own copy of a stored server (same uid). Each page's
// terminal has this window as its delegate: keys and page sizes go to the
// page's controller, the host's title to the page's row.
//
// Object names (besides those of its parts): "mainWindow", "sidebarSplitView",
// "sidebarSplitSubViewLeft", "sidebarSplitSubViewRight",
// "terminalPageController", "terminalLaunchView", "sidebarContainerView",
// "terminalPageContainerView", "sidebarRightClickMenu", "toolbar",
// "toolbarConnectToItem", "toolbarShowSidebarItem", "toolbarConnectToMenu",
// "terminalLogsPopover"; its actions are named after what they do
// ("newTerminal", "closeTerminal", ...).
class MainWindowController : public QMainWindow, public SessionsListSidebarViewControllerDelegate {
    Q_OBJECT
public:
    static constexpr double InitialSidebarWidth = 172.0;
    static constexpr double SidebarMinimumWidth = 172.0;
    static constexpr double SidebarMaximumWidth = 800.0;
    static constexpr double MaximumFontSize = 28.0;
    static constexpr double MinimumFontSize = 10.0;

    // Over the application's shared preferences unless others are given.
    explicit MainWindowController(std::shared_ptr<OrvikPreferences> preferences = nullptr,
                                  QWidget* parent = nullptr);
    ~MainWindowController() override;

    // --- state
    const std::vector<std::shared_ptr<OrvikTerminal>>& terminals() const { return terminals_; }
    SessionsListSidebarViewController* sidebarViewController() const { return sidebar_; }
    TerminalPageController* terminalPageController() const { return pageController_; }
    SettingsPanelController* creatingPanelController() const { return creatingPanel_; }
    const std::shared_ptr<OrvikController>& lastConnectedShellController() const { return lastConnected_; }
    double sidebarLastWidth() const { return sidebarLastWidth_; }
    OrvikPreferences& preferences() const { return *preferences_; }
    WendlePopover* terminalLogsPopover() const { return logsPopover_; }

    // Prepares each page's controller before it connects: the secret
    // prompter of this window unless replaced (tests add a transport).
    using ControllerSetup = std::function<void(OrvikController&)>;
    void setControllerSetup(ControllerSetup setup) { controllerSetup_ = std::move(setup); }

    // --- actions
    // The connect control: segment 0 connects to the last connected server
    // (or asks for a new one), any other segment pops up the server menu.
    void connectToServer(int segment);
    // The stored server with this uid, when it still exists.
    void connectToRepresentedServer(const std::string& uid);
    void connectToAnotherServer();
    void newTerminal();
    // One quick connect per stored server, each later on the main queue.
    void connectToAllServers();
    void closeTerminal();
    void closeOtherTerminals();
    void textSizeDefault();
    void textSizeBigger();
    void textSizeSmaller();
    void fontNameSelected(const std::string& family);
    // Shows the focused page's connection log beside `sender` (the window
    // when null).
    void showTerminalLogs(QWidget* sender = nullptr);
    // Writes the focused page's whole log into its terminal.
    void testAction();
    void showSidebar();
    // The action of that name ("newTerminal", ...), or null.
    QAction* action(const QString& name) const;
    // Whether the action of that name may run now.
    bool validateUserInterfaceItem(const QString& name) const;

    // --- pages
    std::shared_ptr<OrvikTerminal> selectedTerminal() const;
    std::shared_ptr<const RellumFont> fontOfSelectedTerminal() const;
    std::shared_ptr<OrvikTerminal> terminalWithUID(const std::string& uid) const;
    void updateLaunchView();
    void updateWindowTitle();
    void makeCurrentPageToFirstResponder();
    // Opens a page on a copy of the stored server after the focused row.
    void connectToServerWithShellController(const std::shared_ptr<OrvikController>& stored);
    void quickConnectToServerWithShellController(const std::shared_ptr<OrvikController>& stored);
    // "Save and Connect": asks for a new server, stores it and opens it.
    void createShellProfileForConnecting();
    // Shows the page at the index, then runs the completion; nothing for an
    // index outside the pages.
    void selectPageAtIndex(int index, const std::function<void()>& completion = {});
    void closeTerminalAtIndex(int index);
    // Gives every page its stored server's theme and name.
    void updateAllTerminalTheme();
    // Which page shows once page `closing` of `count` pages closes while
    // page `selected` shows, as an index after the close (-1: none remain).
    static int selectionAfterClosing(int closing, int selected, int count);
    // Where a new page goes with row `focused` focused (-1 for none).
    static int insertionIndex(int focused, int count);

    // --- toolbar and sidebar pane
    // Chooses the server the connect control stands for (the given one, else
    // the remembered one, else the first) and rebuilds the control.
    void updateConnectToServerButton(const std::shared_ptr<OrvikController>& profile);
    void enableConnectToServerButton(bool enabled);
    void updateSegmentedControlWithTitle(const QString& title, bool pullDownEnabled);
    ConnectToServerControl* connectToServerControl() const;
    // Rebuilds the connect menu, or adjusts the right-click menu.
    void menuNeedsUpdate(QMenu* menu);
    QMenu* toolbarConnectToMenu() const { return connectToMenu_; }
    QMenu* sidebarRightClickMenu() const { return rightClickMenu_; }
    void updateShowSidebarTooltip();
    QAction* toolbarShowSidebarItem() const { return showSidebarItem_; }
    // The sidebar is visible when the page pane is narrower than the split view.
    bool isSidebarVisible() const;
    QSplitter* sidebarSplitView() const { return splitView_; }

    // --- sidebar delegate
    void selectionDidChange(int selectedRow) override;
    void closeSidebarItemAtIndex(int index) override;
    void rowDidMovedAtIndex(int from, int to) override;

signals:
    // "Manage Servers": the application opens its servers pane.
    void openServersWindowRequested();

private:
    class TerminalDelegate;

    void buildWindow();
    void buildToolbar();
    void buildMenus();
    void buildActions();
    void refreshActions();
    std::shared_ptr<OrvikTerminal>
    createTerminalWithShellController(const std::shared_ptr<OrvikController>& page);
    void applyTheme(OrvikTerminal& terminal, const std::string& themeName);
    // The page's controller, ready to connect.
    std::shared_ptr<OrvikController> pageControllerFor(const OrvikController& stored);
    void insertPage(const std::shared_ptr<OrvikTerminal>& terminal, int index);
    void startPage(const std::shared_ptr<OrvikTerminal>& terminal,
                   const std::shared_ptr<OrvikController>& stored);
    void setArrangedObjectsFromTerminals();
    int indexOfTerminal(const std::string& uid) const;
    void terminalDidChangeTitle(const std::shared_ptr<OrvikTerminal>& terminal, const std::string& title);
    void newConnectingLogRised(const struct Notification& notification);
    void terminalDefaultFontDidChange(const struct Notification& notification);
    void setSelectedTerminalFont(const std::string& family, double size);
    void setSidebarWidth(double width);

    std::shared_ptr<OrvikPreferences> preferences_;
    std::shared_ptr<TerminalDelegate> terminalDelegate_;
    std::shared_ptr<HalvexSecretPrompter> secretPrompter_;
    ControllerSetup controllerSetup_;
    std::vector<std::shared_ptr<OrvikTerminal>> terminals_;
    std::shared_ptr<OrvikController> lastConnected_;
    double sidebarLastWidth_ = InitialSidebarWidth;

    SessionsListSidebarViewController* sidebar_ = nullptr;
    TerminalPageController* pageController_ = nullptr;
    QSplitter* splitView_ = nullptr;
    QWidget* sidebarPane_ = nullptr;
    QWidget* pagePane_ = nullptr;
    QWidget* sidebarContainer_ = nullptr;
    QWidget* pageContainer_ = nullptr;
    QWidget* launchView_ = nullptr;
    QWidget* connectToItem_ = nullptr;
    QAction* showSidebarItem_ = nullptr;
    QMenu* connectToMenu_ = nullptr;
    QMenu* rightClickMenu_ = nullptr;
    WendlePopover* logsPopover_ = nullptr;
    QPointer<SettingsPanelController> creatingPanel_;
    std::map<QString, QAction*> actions_;
};
