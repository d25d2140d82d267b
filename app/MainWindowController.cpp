#include "app/MainWindowController.h"

#include "Halvex/Views/HalvexQtSecretPrompter.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "Rellum/View/RellumTextView.h"
#include "Wendle/Views/WendlePopover.h"
#include "Wendle/Views/WendleQtObservers.h"
#include "Wendle/WendleArrays.h"
#include "Wendle/WendleDispatch.h"
#include "app/ConnectToServerControl.h"
#include "app/OrvikController.h"
#include "app/OrvikImages.h"
#include "app/OrvikLogViewController.h"
#include "app/OrvikPreferences.h"
#include "app/OrvikTerminal.h"
#include "app/SettingsPanelController.h"
#include "app/TerminalPageController.h"

#include <QAction>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kLastConnectedKey = "last_connected_shell_controller";
constexpr double kConnectItemMaximumWidth = 242.0;
constexpr double kConnectItemHeight = 32.0;

RellumColor rellumColor(const VyThemeColor& color) {
    return RellumColor::colorWithRGBA(static_cast<float>(color.red), static_cast<float>(color.green),
                                      static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

} // namespace

// The delegate of every page's terminal: bytes and page sizes go straight to
// the page's controller on the calling thread; the host's title reaches the
// page and its row on the main thread. Held by the window; the terminals hold
// it weakly.
class MainWindowController::TerminalDelegate : public RellumTerminalDelegate,
                                               public std::enable_shared_from_this<TerminalDelegate> {
public:
    explicit TerminalDelegate(MainWindowController* window) : window_(window) {}
    // Main thread.
    void detach() { window_ = nullptr; }

    void writeData(RellumTerminal& terminal, std::string_view data) override {
        if (const auto& controller = static_cast<OrvikTerminal&>(terminal).shellController())
            controller->writeData(data);
    }
    void changePageSize(RellumTerminal& terminal, RellumPageSize size) override {
        if (const auto& controller = static_cast<OrvikTerminal&>(terminal).shellController())
            controller->changePageSize(size);
    }
    void didChangeTerminalTitle(RellumTerminal& terminal, const std::optional<std::string>& title) override {
        std::weak_ptr<RellumTerminal> page = terminal.weak_from_this();
        std::weak_ptr<TerminalDelegate> self = weak_from_this();
        WendleDispatchAsyncOnMainQueue([self, page, title = title.value_or("")] {
            auto delegate = self.lock();
            auto terminal = std::static_pointer_cast<OrvikTerminal>(page.lock());
            if (delegate && delegate->window_ && terminal)
                delegate->window_->terminalDidChangeTitle(terminal, title);
        });
    }

private:
    MainWindowController* window_;
};

// --- set-up

MainWindowController::MainWindowController(std::shared_ptr<OrvikPreferences> preferences, QWidget* parent)
    : QMainWindow(parent),
      preferences_(preferences ? std::move(preferences) : OrvikPreferences::sharedPreferencesPointer()),
      terminalDelegate_(std::make_shared<TerminalDelegate>(this)),
      secretPrompter_(std::make_shared<HalvexQtSecretPrompter>(this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Orvik"));
    resize(1100, 700);
    buildActions();
    buildWindow();
    buildToolbar();
    buildMenus();
    updateConnectToServerButton(nullptr);

    observeNotification(this, OrvikFontDidChangeNotification,
                        [this](const Notification& n) { terminalDefaultFontDidChange(n); });
    observeNotification(this, VyMMLoggerNewLogNotifacation,
                        [this](const Notification& n) { newConnectingLogRised(n); });
    observeKey(this, *preferences_, "shellProfiles", [this](const std::string&) {
        updateConnectToServerButton(nullptr);
        updateAllTerminalTheme();
        updateLaunchView();
        refreshActions();
    });
    updateAllTerminalTheme();
    updateLaunchView();
    refreshActions();
    QTimer::singleShot(0, this, [this] {
        updateShowSidebarTooltip();
        updateLaunchView();
    });
}

MainWindowController::~MainWindowController() {
    terminalDelegate_->detach();
    // Nothing may reach this window while its parts go: neither the rows the
    // sidebar drops nor the log lines of the connections being turned off.
    sidebar_->setDelegate(nullptr);
    qDeleteAll(findChildren<WendleQtSubscription*>(Qt::FindDirectChildrenOnly));
    for (const auto& terminal : terminals_)
        if (terminal->shellController()) terminal->shellController()->turnOff();
    terminals_.clear();
}

void MainWindowController::buildActions() {
    struct Spec {
        const char* name;
        QString text;
        std::function<void()> run;
        QKeySequence shortcut;
    };
    const Spec specs[] = {
        {"newTerminal", tr("New Shell"), [this] { newTerminal(); }, QKeySequence(tr("Ctrl+Shift+N"))},
        {"connectToAnotherServer", tr("Add Server…"), [this] { connectToAnotherServer(); }, {}},
        {"connectToAllServers", tr("New Shells for Above Servers"), [this] { connectToAllServers(); }, {}},
        {"closeTerminal", tr("Close Shell"), [this] { closeTerminal(); }, QKeySequence(tr("Ctrl+Shift+W"))},
        {"closeOtherTerminals", tr("Close Other Shells"), [this] { closeOtherTerminals(); }, {}},
        {"textSizeDefault", tr("Default Size"), [this] { textSizeDefault(); }, {}},
        {"textSizeBigger", tr("Bigger"), [this] { textSizeBigger(); }, {}},
        {"textSizeSmaller", tr("Smaller"), [this] { textSizeSmaller(); }, {}},
        {"showTerminalLogs", tr("Show Connection Log"), [this] { showTerminalLogs(); }, {}},
        {"testAction", tr("Write Connection Log into Shell"), [this] { testAction(); }, {}},
        {"showSidebar", tr("Hide Sidebar"), [this] { showSidebar(); }, {}},
    };
    for (const auto& spec : specs) {
        auto* action = new QAction(spec.text, this);
        action->setObjectName(QString::fromLatin1(spec.name));
        if (!spec.shortcut.isEmpty()) {
            action->setShortcut(spec.shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
            addAction(action);
        }
        connect(action, &QAction::triggered, this, spec.run);
        actions_[action->objectName()] = action;
    }
}

void MainWindowController::buildWindow() {
    splitView_ = new QSplitter(Qt::Horizontal, this);
    splitView_->setObjectName(QStringLiteral("sidebarSplitView"));
    splitView_->setChildrenCollapsible(false);
    splitView_->setHandleWidth(1);

    // A pane of the split view and the view that fills it.
    auto pane = [this](const char* paneName, const char* containerName, QWidget*& container) {
        auto* paneView = new QWidget(splitView_);
        paneView->setObjectName(QString::fromLatin1(paneName));
        container = new QWidget(paneView);
        container->setObjectName(QString::fromLatin1(containerName));
        auto* layout = new QVBoxLayout(paneView);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(container);
        return paneView;
    };
    sidebarPane_ = pane("sidebarSplitSubViewLeft", "sidebarContainerView", sidebarContainer_);
    sidebarPane_->setMinimumWidth(static_cast<int>(SidebarMinimumWidth));
    sidebarPane_->setMaximumWidth(static_cast<int>(SidebarMaximumWidth));
    sidebarContainer_->setAutoFillBackground(true);
    sidebar_ = new SessionsListSidebarViewController(this, sidebarContainer_);
    auto* sidebarLayout = new QVBoxLayout(sidebarContainer_);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->addWidget(sidebar_);

    pagePane_ = pane("sidebarSplitSubViewRight", "terminalPageContainerView", pageContainer_);

    pageController_ = new TerminalPageController(pageContainer_);
    pageController_->setObjectName(QStringLiteral("terminalPageController"));
    pageController_->setViewProvider([this](const std::string& uid) -> QWidget* {
        auto terminal = terminalWithUID(uid);
        auto* screen = terminal ? RellumQtScreenController::of(*terminal) : nullptr;
        return screen ? screen->view() : nullptr;
    });

    launchView_ = new QWidget(pageContainer_);
    launchView_->setObjectName(QStringLiteral("terminalLaunchView"));
    auto* launchLayout = new QVBoxLayout(launchView_);
    launchLayout->addStretch(1);
    auto* launchTitle = new QLabel(QStringLiteral("Orvik"), launchView_);
    QFont titleFont = launchTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 2.2);
    titleFont.setBold(true);
    launchTitle->setFont(titleFont);
    launchTitle->setAlignment(Qt::AlignCenter);
    auto* launchText = new QLabel(tr("Add a server to open a shell on it."), launchView_);
    launchText->setAlignment(Qt::AlignCenter);
    auto* launchButton = new QPushButton(tr("Add Server…"), launchView_);
    launchButton->setObjectName(QStringLiteral("launchAddServerButton"));
    connect(launchButton, &QPushButton::clicked, this, [this] { connectToAnotherServer(); });
    launchLayout->addWidget(launchTitle);
    launchLayout->addWidget(launchText);
    launchLayout->addWidget(launchButton, 0, Qt::AlignHCenter);
    launchLayout->addStretch(1);

    auto* containerLayout = new QVBoxLayout(pageContainer_);
    containerLayout->setContentsMargins(0, 0, 0, 0);
    containerLayout->addWidget(pageController_);
    containerLayout->addWidget(launchView_);

    splitView_->addWidget(sidebarPane_);
    splitView_->addWidget(pagePane_);
    // The sidebar pane alone may collapse, and keeps its width when the
    // window is resized.
    splitView_->setCollapsible(0, true);
    splitView_->setCollapsible(1, false);
    splitView_->setStretchFactor(0, 0);
    splitView_->setStretchFactor(1, 1);
    splitView_->setSizes({static_cast<int>(sidebarLastWidth_), 1100 - static_cast<int>(sidebarLastWidth_)});
    connect(splitView_, &QSplitter::splitterMoved, this, [this] { updateShowSidebarTooltip(); });
    setCentralWidget(splitView_);

    logsPopover_ = new WendlePopover(this);
    logsPopover_->setObjectName(QStringLiteral("terminalLogsPopover"));
}

void MainWindowController::buildToolbar() {
    auto* toolbar = addToolBar(tr("Toolbar"));
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(20, 20));
    toolbar->toggleViewAction()->setEnabled(false);
    showSidebarItem_ = actions_.at(QStringLiteral("showSidebar"));
    showSidebarItem_->setIcon(OrvikImageNamed(QStringLiteral("TBSidebarTemplate")));
    toolbar->addAction(showSidebarItem_);
    if (auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(showSidebarItem_)))
        button->setObjectName(QStringLiteral("toolbarShowSidebarItem"));
    connectToItem_ = new QWidget(toolbar);
    connectToItem_->setObjectName(QStringLiteral("toolbarConnectToItem"));
    auto* itemLayout = new QHBoxLayout(connectToItem_);
    itemLayout->setContentsMargins(4, 0, 4, 0);
    toolbar->addWidget(connectToItem_);
}

void MainWindowController::buildMenus() {
    connectToMenu_ = new QMenu(this);
    connectToMenu_->setObjectName(QStringLiteral("toolbarConnectToMenu"));
    connect(connectToMenu_, &QMenu::aboutToShow, this, [this] { menuNeedsUpdate(connectToMenu_); });

    rightClickMenu_ = new QMenu(this);
    rightClickMenu_->setObjectName(QStringLiteral("sidebarRightClickMenu"));
    auto* newShellFor = rightClickMenu_->addAction(tr("New Shell for…"));
    newShellFor->setObjectName(QStringLiteral("newShellForServer"));
    connect(newShellFor, &QAction::triggered, this, [this, newShellFor] {
        const QString uid = newShellFor->data().toString();
        if (!uid.isEmpty()) connectToRepresentedServer(uid.toStdString());
    });
    rightClickMenu_->addSeparator();
    rightClickMenu_->addAction(actions_.at(QStringLiteral("showTerminalLogs")));
    rightClickMenu_->addSeparator();
    rightClickMenu_->addAction(actions_.at(QStringLiteral("closeTerminal")));
    rightClickMenu_->addAction(actions_.at(QStringLiteral("closeOtherTerminals")));
    connect(rightClickMenu_, &QMenu::aboutToShow, this, [this] { menuNeedsUpdate(rightClickMenu_); });
    sidebar_->setSidebarRightClickMenu(rightClickMenu_);
}

QAction* MainWindowController::action(const QString& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

bool MainWindowController::validateUserInterfaceItem(const QString& name) const {
    const size_t count = terminals_.size();
    if (name == QLatin1String("closeOtherTerminals")) return count >= 2;
    if (name == QLatin1String("closeTerminal") || name == QLatin1String("textSizeDefault")) return count >= 1;
    if (name == QLatin1String("textSizeBigger")) {
        auto font = fontOfSelectedTerminal();
        return font && font->pointSize() < MaximumFontSize;
    }
    if (name == QLatin1String("textSizeSmaller")) {
        auto font = fontOfSelectedTerminal();
        return font && font->pointSize() > MinimumFontSize;
    }
    if (name == QLatin1String("connectToAllServers")) return !preferences_->shellProfiles().empty();
    return true;
}

void MainWindowController::refreshActions() {
    for (auto& [name, action] : actions_)
        action->setEnabled(validateUserInterfaceItem(name));
}

// --- actions

void MainWindowController::connectToServer(int segment) {
    if (segment != 0) {
        if (auto* control = connectToServerControl())
            connectToMenu_->popup(control->mapToGlobal(QPoint(0, control->height() + 5)));
        return;
    }
    if (!lastConnected_) {
        createShellProfileForConnecting();
        return;
    }
    enableConnectToServerButton(false);
    connectToServerWithShellController(lastConnected_);
}

void MainWindowController::connectToRepresentedServer(const std::string& uid) {
    if (auto stored = preferences_->shellControllerWithUID(uid)) connectToServerWithShellController(stored);
}

void MainWindowController::connectToAnotherServer() {
    createShellProfileForConnecting();
}

void MainWindowController::newTerminal() {
    if (lastConnected_)
        connectToServerWithShellController(lastConnected_);
    else
        createShellProfileForConnecting();
}

void MainWindowController::connectToAllServers() {
    for (const auto& stored : preferences_->shellProfiles())
        QTimer::singleShot(0, this, [this, stored] { quickConnectToServerWithShellController(stored); });
}

void MainWindowController::closeTerminal() {
    const int focused = sidebar_->focusedIndex();
    if (focused >= 0) closeTerminalAtIndex(focused);
}

void MainWindowController::closeOtherTerminals() {
    const int kept = sidebar_->focusedIndex();
    if (kept < 0 || kept >= static_cast<int>(terminals_.size())) return;
    auto keep = terminals_[static_cast<size_t>(kept)];
    for (const auto& terminal : terminals_)
        if (terminal != keep) terminal->shellController()->turnOff();
    terminals_ = {keep};
    setArrangedObjectsFromTerminals();
    sidebar_->removeSidebarItemsNotAtIndex(kept);
    pageController_->setSelectedIndex(0);
    sidebar_->selectSidebarItemAtIndex(0);
    makeCurrentPageToFirstResponder();
    refreshActions();
}

void MainWindowController::setSelectedTerminalFont(const std::string& family, double size) {
    auto terminal = selectedTerminal();
    if (!terminal) return;
    terminal->setPageFont(RellumQtFont::fontWithName(family, size));
    refreshActions();
}

void MainWindowController::textSizeDefault() {
    if (auto font = fontOfSelectedTerminal())
        setSelectedTerminalFont(font->familyName(), preferences_->defaultFontSize());
}

void MainWindowController::textSizeBigger() {
    auto font = fontOfSelectedTerminal();
    if (font && font->pointSize() < MaximumFontSize)
        setSelectedTerminalFont(font->familyName(), font->pointSize() + 2);
}

void MainWindowController::textSizeSmaller() {
    auto font = fontOfSelectedTerminal();
    if (font && font->pointSize() > MinimumFontSize)
        setSelectedTerminalFont(font->familyName(), font->pointSize() - 2);
}

void MainWindowController::fontNameSelected(const std::string& family) {
    if (auto font = fontOfSelectedTerminal()) setSelectedTerminalFont(family, font->pointSize());
}

void MainWindowController::showTerminalLogs(QWidget* sender) {
    const int focused = sidebar_->focusedIndex();
    if (focused < 0 || focused >= static_cast<int>(terminals_.size())) return;
    const auto& controller = terminals_[static_cast<size_t>(focused)]->shellController();
    // The view it replaces goes now, with its observation: lines queued for
    // it go nowhere.
    delete logsPopover_->contentWidget();
    logsPopover_->setContentWidget(new OrvikLogViewController(controller));
    QWidget* anchor = sender;
    WendlePopover::Edge edge = WendlePopover::Edge::bottom;
    if (!anchor) {
        anchor = sidebar_->cellViewAtRow(focused);
        edge = WendlePopover::Edge::right;
    }
    if (!anchor) anchor = pagePane_;
    logsPopover_->showRelativeToRect(anchor->rect(), anchor, edge);
}

void MainWindowController::testAction() {
    const int focused = sidebar_->focusedIndex();
    if (focused < 0 || focused >= static_cast<int>(terminals_.size())) return;
    auto& terminal = terminals_[static_cast<size_t>(focused)];
    terminal->renderData(terminal->shellController()->logger().logsString());
}

// --- pages

std::shared_ptr<OrvikTerminal> MainWindowController::selectedTerminal() const {
    const int index = pageController_->selectedIndex();
    if (index < 0 || index >= static_cast<int>(terminals_.size())) return nullptr;
    return terminals_[static_cast<size_t>(index)];
}

std::shared_ptr<const RellumFont> MainWindowController::fontOfSelectedTerminal() const {
    auto terminal = selectedTerminal();
    return terminal ? terminal->pageFont() : nullptr;
}

std::shared_ptr<OrvikTerminal> MainWindowController::terminalWithUID(const std::string& uid) const {
    const int index = indexOfTerminal(uid);
    return index < 0 ? nullptr : terminals_[static_cast<size_t>(index)];
}

int MainWindowController::indexOfTerminal(const std::string& uid) const {
    for (size_t i = 0; i < terminals_.size(); ++i)
        if (terminals_[i]->uid() == uid) return static_cast<int>(i);
    return -1;
}

void MainWindowController::updateLaunchView() {
    const bool pages = !terminals_.empty();
    pageController_->setVisible(pages);
    launchView_->setVisible(!pages && preferences_->shellProfiles().empty());
}

void MainWindowController::updateWindowTitle() {
    const int focused = sidebar_->focusedIndex();
    if (focused >= 0 && focused < static_cast<int>(terminals_.size()))
        setWindowTitle(QString::fromStdString(terminals_[static_cast<size_t>(focused)]->titleNotation()));
}

void MainWindowController::makeCurrentPageToFirstResponder() {
    auto terminal = selectedTerminal();
    if (!terminal) return;
    if (auto* screen = RellumQtScreenController::of(*terminal))
        if (auto* view = screen->textView()) view->setFocus(Qt::OtherFocusReason);
}

std::shared_ptr<OrvikController> MainWindowController::pageControllerFor(const OrvikController& stored) {
    auto page = stored.copyAs<OrvikController>();
    page->setPreferences(preferences_);
    page->setSecretPrompter(secretPrompter_);
    if (controllerSetup_) controllerSetup_(*page);
    return page;
}

std::shared_ptr<OrvikTerminal>
MainWindowController::createTerminalWithShellController(const std::shared_ptr<OrvikController>& page) {
    RellumTerminal::Options options;
    options.font =
        RellumQtFont::fontWithName(preferences_->defaultFontFamily(), preferences_->defaultFontSize());
    auto terminal = OrvikTerminal::make(page, terminalDelegate_, std::move(options));
    page->setTerminal(terminal);
    if (auto profile = page->profile()) applyTheme(*terminal, profile->theme_name());
    terminal->setPageFont(
        RellumQtFont::fontWithName(preferences_->defaultFontFamily(), preferences_->defaultFontSize()));
    return terminal;
}

void MainWindowController::applyTheme(OrvikTerminal& terminal, const std::string& themeName) {
    // A theme that is not predefined leaves the terminal's colours as they are.
    auto theme = preferences_->themeWithName(themeName);
    if (!theme) return;
    terminal.setDefaultBackgroundColor(rellumColor(theme->backgroundColor()));
    terminal.setDefaultTextColor(rellumColor(theme->textColor()));
}

int MainWindowController::insertionIndex(int focused, int count) {
    return std::clamp(focused + 1, 0, std::max(count, 0));
}

void MainWindowController::setArrangedObjectsFromTerminals() {
    std::vector<std::string> uids;
    uids.reserve(terminals_.size());
    for (const auto& terminal : terminals_)
        uids.push_back(terminal->uid());
    pageController_->setArrangedObjects(std::move(uids));
}

void MainWindowController::insertPage(const std::shared_ptr<OrvikTerminal>& terminal, int index) {
    terminals_.insert(terminals_.begin() + index, terminal);
    updateLaunchView();
    // The page view has its place before its page size is measured.
    pageContainer_->layout()->activate();
    setArrangedObjectsFromTerminals();
    pageController_->setSelectedIndex(index);
    sidebar_->insertSidebarItem(terminal, index);
    makeCurrentPageToFirstResponder();
}

void MainWindowController::startPage(const std::shared_ptr<OrvikTerminal>& terminal,
                                     const std::shared_ptr<OrvikController>& stored) {
    // The page has its size before the connection writes its first log line
    // into it.
    terminal->initiateWithPageSize(terminal->maxAllowedPageSize());
    terminal->shellController()->turnOn();
    updateLaunchView();
    updateConnectToServerButton(stored);
    refreshActions();
}

void MainWindowController::connectToServerWithShellController(
    const std::shared_ptr<OrvikController>& stored) {
    if (!stored) return;
    auto terminal = createTerminalWithShellController(pageControllerFor(*stored));
    insertPage(terminal, insertionIndex(sidebar_->focusedIndex(), static_cast<int>(terminals_.size())));
    enableConnectToServerButton(true);
    startPage(terminal, stored);
}

void MainWindowController::quickConnectToServerWithShellController(
    const std::shared_ptr<OrvikController>& stored) {
    if (!stored) return;
    auto terminal = createTerminalWithShellController(pageControllerFor(*stored));
    insertPage(terminal, insertionIndex(sidebar_->focusedIndex(), static_cast<int>(terminals_.size())));
    startPage(terminal, stored);
}

void MainWindowController::createShellProfileForConnecting() {
    if (creatingPanel_) {
        creatingPanel_->raise();
        return;
    }
    auto fresh = std::make_shared<OrvikController>();
    auto* panel = new SettingsPanelController(
        SettingsPanelController::initInDuplicateModeWithSessionController, fresh, this);
    panel->setOkButtonTitle(tr("Save and Connect"));
    creatingPanel_ = panel;
    panel->beginSheet(this, [this, fresh, panel](int returnCode) {
        auto edited = panel->sessionController();
        QTimer::singleShot(0, this, [this, fresh, edited, panel, returnCode] {
            panel->deleteLater();
            creatingPanel_ = nullptr;
            if (returnCode != 1 || !edited) return;
            // Every value of the edited duplicate but its uid, which stays the fresh server's.
            const auto uid = fresh->uid;
            fresh->mergeValuesForKeysFromModel(*edited);
            fresh->uid = uid;
            fresh->setName(fresh->ssh_user.value_or("") + "@" + fresh->ssh_host.value_or(""));
            auto profiles = preferences_->shellProfiles();
            profiles.push_back(fresh);
            preferences_->setShellProfiles(profiles);
            connectToServerWithShellController(fresh);
        });
    });
}

void MainWindowController::selectPageAtIndex(int index, const std::function<void()>& completion) {
    if (index < 0 || index >= static_cast<int>(pageController_->arrangedObjects().size())) return;
    if (index != pageController_->selectedIndex()) pageController_->setSelectedIndex(index);
    makeCurrentPageToFirstResponder();
    if (completion) completion();
}

int MainWindowController::selectionAfterClosing(int closing, int selected, int count) {
    if (count <= 1) return -1;
    if (selected < 0 || selected >= count) return std::min(closing, count - 2);
    if (closing != selected) return closing < selected ? selected - 1 : selected;
    return closing == count - 1 ? closing - 1 : closing;
}

void MainWindowController::closeTerminalAtIndex(int index) {
    const int count = static_cast<int>(terminals_.size());
    if (index < 0 || index >= count) return;
    const int after = selectionAfterClosing(index, pageController_->selectedIndex(), count);
    auto closing = terminals_[static_cast<size_t>(index)];
    closing->shellController()->turnOff();
    terminals_.erase(terminals_.begin() + index);
    setArrangedObjectsFromTerminals();
    sidebar_->removeSidebarItemAtIndex(index);
    if (after >= 0) {
        pageController_->setSelectedIndex(after);
        sidebar_->selectSidebarItemAtIndex(after);
        makeCurrentPageToFirstResponder();
    }
    updateLaunchView();
    refreshActions();
}

void MainWindowController::updateAllTerminalTheme() {
    for (const auto& terminal : terminals_) {
        const auto& page = terminal->shellController();
        auto stored = page && page->uid ? preferences_->shellControllerWithUID(*page->uid) : nullptr;
        if (!stored) continue;
        if (auto profile = stored->profile()) applyTheme(*terminal, profile->theme_name());
        page->setName(stored->name());
        sidebar_->updateCellViewLayoutWithSidebarItem(terminal);
    }
}

void MainWindowController::terminalDidChangeTitle(const std::shared_ptr<OrvikTerminal>& terminal,
                                                  const std::string& title) {
    terminal->setDisplayTitle(title);
    sidebar_->updateCellViewLayoutWithSidebarItem(terminal);
}

void MainWindowController::newConnectingLogRised(const Notification& notification) {
    const auto* line = std::any_cast<VyMMLogLine>(&notification.object);
    if (!line || !notification.userInfo.is_object()) return;
    const std::string logId = notification.userInfo.value(VyMMLoggerLogIdKey, "");
    // A message of several lines (a banner) keeps to the left margin.
    std::string text;
    for (char c : line->string()) {
        if (c == '\n' && (text.empty() || text.back() != '\r')) text.push_back('\r');
        text.push_back(c);
    }
    const std::string echoed = ">   " + text + "\r\n";
    // Here on the main thread: the page list is read where it changes, and
    // rendering from the main thread never waits. Whether the shell was open
    // is judged at the time the line was written, not when it arrives.
    const auto pages = terminals_;
    for (const auto& terminal : pages) {
        const auto& controller = terminal->shellController();
        if (controller && controller->logId() == logId && !controller->isInteractiveAtLogLine(line->index))
            terminal->renderData(echoed);
    }
}

void MainWindowController::terminalDefaultFontDidChange(const Notification& notification) {
    std::shared_ptr<const RellumFont> font;
    if (const auto* rellum = std::any_cast<std::shared_ptr<const RellumFont>>(&notification.object))
        font = *rellum;
    else if (const auto* qfont = std::any_cast<QFont>(&notification.object))
        font = RellumQtFont::fontWithName(qfont->family().toStdString(), qfont->pointSizeF());
    if (!font) return;
    for (const auto& terminal : terminals_)
        terminal->setPageFont(font);
    refreshActions();
}

// --- toolbar and sidebar pane

ConnectToServerControl* MainWindowController::connectToServerControl() const {
    for (auto* control : connectToItem_->findChildren<ConnectToServerControl*>(Qt::FindDirectChildrenOnly))
        if (!control->property("replaced").toBool()) return control;
    return nullptr;
}

void MainWindowController::updateConnectToServerButton(const std::shared_ptr<OrvikController>& profile) {
    const auto profiles = preferences_->shellProfiles();
    QString title;
    if (!profiles.empty()) {
        std::shared_ptr<OrvikController> target = profile;
        if (!target)
            if (auto uid = preferences_->userDefaults()->stringForKey(kLastConnectedKey))
                target = preferences_->shellControllerWithUID(*uid);
        if (!target) target = profiles.front();
        lastConnected_ = target;
        title = QString::fromStdString(target->name().value_or(""));
    } else {
        lastConnected_ = nullptr;
        title = tr("Add Server…");
    }
    updateSegmentedControlWithTitle(title, !profiles.empty());
    if (lastConnected_ && lastConnected_->uid)
        preferences_->userDefaults()->setString(kLastConnectedKey, *lastConnected_->uid);
    else
        preferences_->userDefaults()->removeObjectForKey(kLastConnectedKey);
}

void MainWindowController::enableConnectToServerButton(bool enabled) {
    if (auto* control = connectToServerControl()) control->setEnabledForSegment(0, enabled);
}

void MainWindowController::updateSegmentedControlWithTitle(const QString& title, bool pullDownEnabled) {
    auto* old = connectToServerControl();
    auto* control = new ConnectToServerControl(title, connectToItem_);
    control->setObjectName(QStringLiteral("connectToServerControl"));
    control->setEnabledForSegment(0, old ? old->isEnabledForSegment(0) : true);
    control->setEnabledForSegment(1, pullDownEnabled);
    connect(control, &ConnectToServerControl::segmentClicked, this, &MainWindowController::connectToServer);
    control->adjustSize();
    if (old) {
        // It may be the control whose click is running now.
        old->setProperty("replaced", true);
        old->hide();
        connectToItem_->layout()->removeWidget(old);
        old->deleteLater();
    }
    connectToItem_->layout()->addWidget(control);
    const int width = std::min(control->sizeHint().width(), static_cast<int>(kConnectItemMaximumWidth));
    connectToItem_->setMaximumSize(width + 8, static_cast<int>(kConnectItemHeight));
    control->setMaximumWidth(width);
}

void MainWindowController::menuNeedsUpdate(QMenu* menu) {
    if (menu == connectToMenu_) {
        menu->clear();
        for (const auto& stored : preferences_->shellProfiles()) {
            auto* item = menu->addAction(QString::fromStdString(stored->name().value_or("")));
            const std::string uid = stored->uid.value_or("");
            item->setData(QString::fromStdString(uid));
            connect(item, &QAction::triggered, this, [this, uid] { connectToRepresentedServer(uid); });
        }
        menu->addSeparator();
        auto* all = menu->addAction(tr("New Shells for Above Servers"));
        all->setObjectName(QStringLiteral("connectToAllServers"));
        connect(all, &QAction::triggered, this, [this] { connectToAllServers(); });
        menu->addSeparator();
        auto* add = menu->addAction(tr("Add Server…"));
        add->setObjectName(QStringLiteral("connectToAnotherServer"));
        connect(add, &QAction::triggered, this, [this] { connectToAnotherServer(); });
        auto* manage = menu->addAction(tr("Manage Servers"));
        manage->setObjectName(QStringLiteral("openServersWindow"));
        connect(manage, &QAction::triggered, this, &MainWindowController::openServersWindowRequested);
        return;
    }
    if (menu == rightClickMenu_ && !menu->actions().isEmpty()) {
        QAction* first = menu->actions().first();
        first->setEnabled(false);
        first->setData(QVariant());
        first->setText(tr("New Shell for…"));
        const int focused = sidebar_->focusedIndex();
        if (focused < 0 || focused >= static_cast<int>(terminals_.size())) return;
        const auto& page = terminals_[static_cast<size_t>(focused)]->shellController();
        auto stored = page && page->uid ? preferences_->shellControllerWithUID(*page->uid) : nullptr;
        if (!stored) return;
        first->setText(
            tr("New Shell for Server - %1").arg(QString::fromStdString(stored->name().value_or(""))));
        first->setData(QString::fromStdString(stored->uid.value_or("")));
        first->setEnabled(true);
    }
}

bool MainWindowController::isSidebarVisible() const {
    const QList<int> sizes = splitView_->sizes();
    return !sizes.isEmpty() && sizes.first() > 0;
}

void MainWindowController::setSidebarWidth(double width) {
    const QList<int> sizes = splitView_->sizes();
    int total = 0;
    for (int size : sizes)
        total += size;
    const int sidebar = static_cast<int>(width);
    // Hidden, the sidebar takes its divider with it.
    if (QSplitterHandle* handle = splitView_->handle(1)) handle->setVisible(sidebar > 0);
    splitView_->setSizes({sidebar, std::max(0, total - sidebar)});
    updateShowSidebarTooltip();
}

void MainWindowController::showSidebar() {
    if (isSidebarVisible()) {
        sidebarLastWidth_ = splitView_->sizes().first();
        setSidebarWidth(0);
    } else {
        setSidebarWidth(sidebarLastWidth_);
    }
}

void MainWindowController::updateShowSidebarTooltip() {
    const bool visible = isSidebarVisible();
    showSidebarItem_->setText(visible ? tr("Hide Sidebar") : tr("Show Sidebar"));
    showSidebarItem_->setToolTip(visible ? tr("Hide sidebar") : tr("Show sidebar"));
    if (QSplitterHandle* handle = splitView_->handle(1)) handle->setVisible(visible);
}

// --- sidebar delegate

void MainWindowController::selectionDidChange(int) {
    const int focused = sidebar_->focusedIndex();
    if (focused >= 0) selectPageAtIndex(focused);
    refreshActions();
}

void MainWindowController::closeSidebarItemAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(terminals_.size())) return;
    // Later, and by identity: the page the user clicked, wherever it is by then.
    const std::string uid = terminals_[static_cast<size_t>(index)]->uid();
    QTimer::singleShot(0, this, [this, uid] {
        const int current = indexOfTerminal(uid);
        if (current >= 0) closeTerminalAtIndex(current);
    });
}

void MainWindowController::rowDidMovedAtIndex(int from, int to) {
    moveObjectAtIndex(terminals_, static_cast<size_t>(from), static_cast<size_t>(to));
    setArrangedObjectsFromTerminals();
    pageController_->setSelectedIndex(sidebar_->selectedIndex());
    makeCurrentPageToFirstResponder();
}
