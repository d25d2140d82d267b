// The application's server and the terminal of a page: the model (defaults,
// copies, the JSON form, the notations) and the road between a real shell
// channel and a real terminal, against the shell server inside this binary.

#include "AppTestSupport.h"
#include "SessionControllerTestSupport.h"
#include "ShellServer.h"

#include "Dispatch/SerialQueue.h"
#include "Halvex/HalvexJSONAdapter.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "app/OrvikController.h"
#include "app/OrvikTerminal.h"

#include <gtest/gtest.h>

#include <QVBoxLayout>
#include <QWidget>

using namespace app_test;
using namespace std::chrono_literals;

namespace {

TEST(OrvikControllerModel, ANewServerAndItsCopies) {
    auto original = std::make_shared<OrvikController>();
    EXPECT_EQ(original->name(), "New Server");
    EXPECT_EQ(original->profile()->profile_name(), "New Server");
    EXPECT_EQ(original->profile()->theme_name(), "Grass");
    EXPECT_EQ(original->shellChannel(), nullptr);
    EXPECT_FALSE(original->isInteractive());

    original->setName(std::string("db"));
    original->setSsh_host("db.example");
    original->ssh_user = "ann";
    original->setSsh_port(2222);
    original->compression = true;
    original->profile()->setTheme_name("Monitor");
    original->profile()->setTerm_type("vt100");

    auto copy = original->copyAs<OrvikController>();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->uid, original->uid);
    EXPECT_EQ(copy->name(), "db");
    EXPECT_EQ(copy->ssh_host, "db.example");
    EXPECT_EQ(copy->ssh_port, 2222);
    EXPECT_EQ(copy->compression, true);
    EXPECT_EQ(copy->profile()->theme_name(), "Monitor");
    EXPECT_EQ(copy->profile()->term_type(), "vt100");
    EXPECT_NE(copy->profile(), original->profile());
    copy->profile()->setTheme_name("Grass");
    EXPECT_EQ(original->profile()->theme_name(), "Monitor");
    EXPECT_EQ(copy->terminal(), nullptr);
    EXPECT_EQ(copy->shellChannel(), nullptr);
    EXPECT_EQ(copy->statusCode(), HalvexSessionStatusIdle);
    EXPECT_NE(copy->logId(), original->logId());

    // A duplicate is the same but for a new uid.
    auto duplicate = std::dynamic_pointer_cast<OrvikController>(original->duplicate());
    ASSERT_TRUE(duplicate);
    EXPECT_NE(duplicate->uid, original->uid);
    EXPECT_EQ(duplicate->profile()->theme_name(), "Monitor");
}

TEST(OrvikControllerModel, TheJSONFormLeavesOutUIDAndTerminalProfile) {
    auto server = std::make_shared<OrvikController>();
    server->setSsh_host("db.example");
    server->profile()->setTheme_name("Monitor");
    HalvexJSONAdapter adapter;
    auto json = adapter.JSONDictionaryFromModel(*server);
    ASSERT_TRUE(json);
    EXPECT_FALSE(json->contains("uid"));
    EXPECT_FALSE(json->contains("profile"));
    EXPECT_EQ((*json)["ssh_host"], "db.example");

    auto imported = adapter.modelOfClass<OrvikController>(*json);
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->ssh_host, "db.example");
    EXPECT_EQ(imported->profile()->profile_name(), "New Server");
    EXPECT_EQ(imported->profile()->theme_name(), "Grass");
    // Servers that differ only in their terminal profile are the same server.
    EXPECT_TRUE(imported->isIdentical(*server));
    imported->setSsh_host("other.example");
    EXPECT_FALSE(imported->isIdentical(*server));
}

TEST(OrvikControllerModel, Notations) {
    auto server = std::make_shared<OrvikController>();
    server->setSsh_host("db.example");
    server->setSsh_port(2222);
    EXPECT_EQ(server->sshServerNotation(), "Host: db.example    Port: 2222    Login: ");
    server->ssh_user = "ann";
    EXPECT_EQ(server->sshServerNotation(), "Host: db.example    Port: 2222    Login: ann");
    server->setSsh_port(std::nullopt);
    EXPECT_EQ(server->sshServerNotation(), "Host: db.example    Port:     Login: ann");

    QtMain main;
    auto terminal = OrvikTerminal::make(server, {});
    EXPECT_EQ(terminal->uid().size(), 36u);
    EXPECT_NE(terminal->uid(), OrvikTerminal::make(server, {})->uid());
    EXPECT_EQ(terminal->shellController(), server);
    server->setName(std::string("db"));
    EXPECT_EQ(terminal->titleNotation(), "db");
    terminal->setDisplayTitle("");
    EXPECT_EQ(terminal->titleNotation(), "db");
    terminal->setDisplayTitle("vim notes.txt");
    EXPECT_EQ(terminal->titleNotation(), "db - vim notes.txt");

    int notices = 0;
    auto token = terminal->addObserver("snapshot", [&](const std::string&, bool) { ++notices; });
    terminal->updateSnapshot();
    EXPECT_EQ(notices, 0); // later, on the main queue
    pumpEvents();
    EXPECT_EQ(notices, 1);
    // Work queued for a terminal that is gone by then does nothing.
    terminal->updateSnapshot();
    token.invalidate();
    terminal.reset();
    pumpEvents();
    EXPECT_EQ(notices, 1);
}

// Forwards a terminal's bytes and page sizes to its controller, as the main
// window does.
class PageDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal& terminal, std::string_view data) override {
        static_cast<OrvikTerminal&>(terminal).shellController()->writeData(data);
    }
    void changePageSize(RellumTerminal& terminal, RellumPageSize size) override {
        static_cast<OrvikTerminal&>(terminal).shellController()->changePageSize(size);
    }
};

class ControllerShell : public ::testing::Test {
protected:
    void SetUp() override {
        presenter = std::make_shared<controller_test::ScriptedAlertPresenter>();
        HalvexAlertPresenter::setSharedPresenter(presenter);
        controller = std::make_shared<OrvikController>();
        controller->setSsh_host("127.0.0.1");
        controller->setSsh_port(server.port);
        controller->ssh_user = "ann";
        controller->connection_timeout = 10;
        controller->setPreferences(scratchPreferences(dir));
        prompter->answer = [this](const HalvexSecretPromptRequest&) {
            ++prompts;
            return controller_test::ScriptedPrompter::ok({server.password}, false);
        };
        controller->setSecretPrompter(prompter);
        presenter->answer({HalvexAlertPresenter::SecondButton});
    }
    void TearDown() override {
        controller->turnOff();
        pumpUntil([&] { return controller->statusCode() == HalvexSessionStatusIdle; });
        std::weak_ptr<OrvikController> gone = controller;
        terminal.reset();
        controller.reset();
        // Gone before the main queue is unbound: a terminal let go elsewhere hops to it.
        pumpUntil([&] { return gone.expired(); });
        HalvexAlertPresenter::setSharedPresenter(nullptr);
    }

    void makeHeadlessTerminal(RellumPageSize size) {
        terminal = std::make_shared<OrvikTerminal>(controller, delegate, RellumTerminal::Options{});
        controller->setTerminal(terminal);
        terminal->initiateWithPageSize(size);
    }
    bool shows(const std::string& text) {
        return pumpUntil([&] { return terminal->stringOfContent().find(text) != std::string::npos; });
    }
    bool serverHas(const std::function<bool(const ShellServer::Seen&)>& done) {
        return pumpUntil([&] { return done(server.seen()); });
    }

    QtMain main;
    Scratch dir;
    ShellServer server{"ready\r\n", "careful\r\n"};
    std::shared_ptr<controller_test::ScriptedAlertPresenter> presenter;
    std::shared_ptr<controller_test::ScriptedPrompter> prompter =
        std::make_shared<controller_test::ScriptedPrompter>();
    int prompts = 0;
    std::shared_ptr<PageDelegate> delegate = std::make_shared<PageDelegate>();
    std::shared_ptr<OrvikController> controller;
    std::shared_ptr<OrvikTerminal> terminal;
};

TEST_F(ControllerShell, TheShellOpensAtThePageSizeAndJoinsChannelAndTerminal) {
    makeHeadlessTerminal({100, 30});
    controller->writeData("typed too early");
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive(); })) << controller->logger().logsString();
    EXPECT_EQ(server.seen().termType, "xterm-256color");
    EXPECT_EQ(server.seen().sizes, (std::vector<ShellServer::Size>{{100, 30}}));

    // Standard output and standard error go into the same stream.
    EXPECT_TRUE(shows("ready"));
    EXPECT_TRUE(shows("careful"));

    controller->writeData("echo me");
    EXPECT_TRUE(serverHas([](auto& seen) { return seen.input == "echo me"; })) << server.seen().input;
    EXPECT_TRUE(shows("echo me"));

    // A resize is committed once the server has the new size.
    terminal->willChangePageSize({120, 40});
    EXPECT_TRUE(pumpUntil([&] { return terminal->pageSize() == RellumPageSize{120, 40}; }));
    EXPECT_TRUE(serverHas([](auto& seen) { return seen.sizes.back() == ShellServer::Size{120, 40}; }));
    // A failed resize leaves the page size as it was.
    controller->didChangePtySize(*controller->shellChannel(), 50, 10, Error("test", 1, "refused"));
    terminal->renderQueue().sync([] {});
    EXPECT_EQ(terminal->pageSize(), (RellumPageSize{120, 40}));
}

TEST_F(ControllerShell, AfterADisconnectTheClosedChannelStaysUntilTheNextLoginReplacesIt) {
    makeHeadlessTerminal({80, 24});
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive(); }));
    auto first = controller->shellChannel();

    server.dropConnection();
    ASSERT_TRUE(pumpUntil([&] { return controller->statusCode() == HalvexSessionStatusWaitingToRetry; }));
    EXPECT_FALSE(controller->isInteractive());
    EXPECT_EQ(controller->shellChannel(), first);
    // Typed bytes go nowhere while the channel is closed.
    controller->writeData("lost");

    main.clock->advance(HalvexSessionController::RetryDelay);
    ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive(); })) << controller->logger().logsString();
    EXPECT_NE(controller->shellChannel(), first);
    EXPECT_EQ(server.seen().connections, 2);
    EXPECT_EQ(server.seen().input, "");
    controller->writeData("again");
    EXPECT_TRUE(serverHas([](auto& seen) { return seen.input == "again"; }));
}

TEST_F(ControllerShell, OutputForAPageThatIsGoneIsDropped) {
    makeHeadlessTerminal({80, 24});
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive(); }));
    EXPECT_TRUE(shows("ready"));
    std::weak_ptr<OrvikTerminal> weak = terminal;
    terminal.reset();
    // A chunk being scanned holds its terminal until it is done.
    EXPECT_TRUE(pumpUntil([&] { return weak.expired(); }));
    EXPECT_EQ(controller->terminal(), nullptr);
    server.send("nobody reads this\r\n");
    controller->writeData("still typed");
    EXPECT_TRUE(serverHas([](auto& seen) { return seen.input == "still typed"; }));
    EXPECT_TRUE(controller->isInteractive());
}

TEST_F(ControllerShell, TheViewsSizeIsProposedAgainOnceTheShellIsOpen) {
    // The view changes size before the channel exists: that proposal is dropped.
    terminal = OrvikTerminal::make(controller, delegate);
    controller->setTerminal(terminal);
    auto* screen = RellumQtScreenController::of(*terminal);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(screen->view());
    window.resize(700, 400);
    window.show();
    pumpEvents();
    terminal->initiateWithPageSize({80, 24});
    const RellumPageSize viewSize = terminal->maxAllowedPageSize();
    ASSERT_NE(viewSize, (RellumPageSize{80, 24}));
    screen->viewDidLayout();

    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(pumpUntil([&] { return controller->isInteractive(); }));
    EXPECT_TRUE(pumpUntil([&] { return terminal->pageSize() == viewSize; }));
    // Opened at the committed size, then told the view's.
    const ShellServer::Size opened{80, 24}, shown{int(viewSize.width), int(viewSize.height)};
    EXPECT_TRUE(
        serverHas([&](auto& seen) { return seen.sizes.front() == opened && seen.sizes.back() == shown; }));
    screen->view()->setParent(nullptr);
}

} // namespace
