// Connection logs: the lines a connecting page echoes into its terminal, and
// the log view of the log popover.

#include "MainWindowTestSupport.h"
#include "SessionControllerTestSupport.h"
#include "ShellServer.h"

#include "Wendle/Views/WendlePopover.h"
#include "Wendle/Views/WendleWidgets.h"
#include "app/ConnectToServerControl.h"
#include "app/OrvikLogViewController.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <future>
#include <sstream>

using namespace app_test;

namespace {

std::vector<std::string> screenLines(OrvikTerminal& terminal) {
    std::vector<std::string> lines;
    std::istringstream in(terminal.stringOfContent());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool hasLine(OrvikTerminal& terminal, const std::string& start) {
    for (const auto& line : screenLines(terminal))
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

bool shows(OrvikTerminal& terminal, const std::string& text) {
    return terminal.stringOfContent().find(text) != std::string::npos;
}

TEST(ConnectionLogEcho, ShownWhileConnectingStoppedByTheShellBackWhileRetrying) {
    ShellServer server;
    auto stored = storedServer("shell");
    stored->setSsh_host("127.0.0.1");
    stored->setSsh_port(server.port);
    stored->connection_timeout = 10;
    auto presenter = std::make_shared<controller_test::ScriptedAlertPresenter>();
    presenter->answer({HalvexAlertPresenter::SecondButton});
    HalvexAlertPresenter::setSharedPresenter(presenter);
    auto prompter = std::make_shared<controller_test::ScriptedPrompter>();
    prompter->answer = [&](const HalvexSecretPromptRequest&) {
        return controller_test::ScriptedPrompter::ok({server.password}, false);
    };
    {
        WindowHarness h({stored});
        h.transport = nullptr;
        h.prompter = prompter;
        h.connect(0);
        auto terminal = h.terminals()[0];
        auto controller = terminal->shellController();
        ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive() && shows(*terminal, "ready"); }))
            << terminal->stringOfContent();
        // Every line from the first, each at the left margin with its prefix.
        const std::string port = std::to_string(server.port);
        EXPECT_TRUE(pumpUntil([&] { return hasLine(*terminal, ">   "); }));
        std::vector<std::string> echoed;
        for (const auto& line : screenLines(*terminal))
            if (line.find(">   ") != std::string::npos) {
                EXPECT_EQ(line.rfind(">   ", 0), 0u) << line;
                echoed.push_back(line);
            }
        ASSERT_FALSE(echoed.empty());
        EXPECT_NE(echoed.front().find("Connecting to 127.0.0.1 port " + port), std::string::npos)
            << echoed.front();
        EXPECT_TRUE(hasLine(*terminal, ">   ") && shows(*terminal, "Authenticated to 127.0.0.1"));

        // Once the shell is open, log lines stay in the log.
        controller->logInfo("written after the shell opened");
        server.send("still here\r\n");
        ASSERT_TRUE(pumpUntil([&] { return shows(*terminal, "still here"); }));
        EXPECT_FALSE(shows(*terminal, "written after the shell opened"));

        // While retrying they show again.
        server.dropConnection();
        ASSERT_TRUE(pumpUntil([&] { return controller->statusCode() == HalvexSessionStatusWaitingToRetry; }));
        EXPECT_TRUE(pumpUntil([&] {
            return hasLine(*terminal, ">   ") && shows(*terminal, "retry after 3 seconds");
        })) << terminal->stringOfContent();
        h.w().closeTerminalAtIndex(0);
        EXPECT_TRUE(pumpUntil([&] { return controller->statusCode() == HalvexSessionStatusIdle; }));
    }
    HalvexAlertPresenter::setSharedPresenter(nullptr);
}

TEST(ConnectionLogEcho, LinesWrittenOnAnotherThreadNeverWaitForTheMainThread) {
    WindowHarness h({storedServer("alpha"), storedServer("beta")});
    h.connect(0);
    h.connect(1);
    auto alpha = h.terminals()[0], beta = h.terminals()[1];
    pumpEvents();
    // The main thread runs no events while the lines are written: writing
    // must not wait for it, however many lines come.
    auto written = std::async(std::launch::async, [&] {
        for (int i = 0; i < 200; ++i)
            alpha->shellController()->logInfo("background line " + std::to_string(i));
        alpha->shellController()->logInfo("multi\nline");
    });
    ASSERT_EQ(written.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(pumpUntil([&] { return shows(*alpha, "background line 199"); }));
    EXPECT_TRUE(pumpUntil([&] { return hasLine(*alpha, "line"); }))
        << "a message's second line starts at the margin";
    EXPECT_FALSE(shows(*beta, "background line"));
}

// A controller with a log of its own for the log view.
std::shared_ptr<HalvexSessionController> loggedController(int lines) {
    auto controller = std::make_shared<OrvikController>();
    for (int i = 0; i < lines; ++i)
        controller->logInfo("line " + std::to_string(i));
    return controller;
}

TEST(ConnectionLogView, ShowsTheLogSoFarThenFollowsIt) {
    QtMain main;
    auto controller = loggedController(300);
    const size_t before = controller->logsAttributedString().size();
    OrvikLogViewController view(controller);
    view.resize(500, 300);
    view.show();
    pumpEvents();
    QPlainTextEdit* text = view.logTextView();
    EXPECT_EQ(view.shownLineCount(), before);
    EXPECT_EQ(text->document()->lastBlock().text().toStdString(),
              controller->logsAttributedString().back().string());
    EXPECT_TRUE(wendle_isAtBottom(text));

    // A line of another log changes nothing.
    loggedController(1);
    pumpEvents();
    EXPECT_EQ(view.shownLineCount(), before);

    // At the bottom, the view follows.
    controller->logError("went wrong");
    pumpEvents();
    EXPECT_EQ(view.shownLineCount(), before + 1);
    EXPECT_EQ(text->document()->lastBlock().text().toStdString(),
              controller->logsAttributedString().back().string());
    EXPECT_TRUE(wendle_isAtBottom(text));
    const auto red = VyMMLoggerColorForLevel(VyMMLogLevelError);
    ASSERT_TRUE(red);
    const QColor shown = text->document()->lastBlock().begin().fragment().charFormat().foreground().color();
    EXPECT_EQ(shown, QColor(red->red, red->green, red->blue));

    // Scrolled up, the reader stays where they are.
    text->verticalScrollBar()->setValue(0);
    controller->logInfo("while reading");
    pumpEvents();
    EXPECT_EQ(view.shownLineCount(), before + 2);
    EXPECT_EQ(text->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(wendle_isAtBottom(text));

    // Lines written on another thread arrive in order, each once.
    std::thread([&] {
        for (int i = 0; i < 50; ++i)
            controller->logInfo("from afar " + std::to_string(i));
    }).join();
    pumpEvents();
    EXPECT_EQ(view.shownLineCount(), before + 52);
    EXPECT_EQ(text->document()->lastBlock().text().toStdString(),
              controller->logsAttributedString().back().string());
    // A line the view already shows is not shown again.
    const int blocks = text->document()->blockCount();
    NotificationCenter::defaultCenter().postNotification(VyMMLoggerNewLogNotifacation,
                                                         controller->logsAttributedString()[3],
                                                         {{VyMMLoggerLogIdKey, controller->logId()}});
    pumpEvents();
    EXPECT_EQ(view.shownLineCount(), before + 52);
    EXPECT_EQ(text->document()->blockCount(), blocks);
}

TEST(ConnectionLogView, ThePopoverShowsTheFocusedPagesLogAndDropsTheViewItReplaces) {
    WindowHarness h({storedServer("alpha"), storedServer("beta")});
    h.w().showTerminalLogs(); // no page: nothing
    EXPECT_FALSE(h.w().terminalLogsPopover()->isVisible());
    h.connect(0);
    h.connect(1);
    h.focusRow(0);
    auto* anchor = h.w().connectToServerControl();
    h.w().showTerminalLogs(anchor);
    ASSERT_TRUE(pumpUntil([&] { return h.w().terminalLogsPopover()->isVisible(); }));
    QPointer<OrvikLogViewController> first =
        qobject_cast<OrvikLogViewController*>(h.w().terminalLogsPopover()->contentWidget());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->sessionController(), h.terminals()[0]->shellController());
    EXPECT_GT(first->shownLineCount(), 4u);

    // A line queued for the view, which is replaced before it arrives.
    std::thread([&] { h.terminals()[0]->shellController()->logInfo("late line"); }).join();
    h.focusRow(1);
    h.w().showTerminalLogs(anchor);
    EXPECT_TRUE(first.isNull());
    pumpEvents();
    auto* second = qobject_cast<OrvikLogViewController*>(h.w().terminalLogsPopover()->contentWidget());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->sessionController(), h.terminals()[1]->shellController());
    EXPECT_EQ(second->logTextView()->toPlainText().indexOf("late line"), -1);
}

} // namespace
