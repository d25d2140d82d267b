// The main window's pages: where a new page goes, which page shows after a
// close, moves from the sidebar, and the three lists kept in step under any
// sequence of opening, closing and moving pages.

#include "MainWindowTestSupport.h"

#include "Wendle/WendleArrays.h"
#include "app/SettingsPanelController.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <future>
#include <random>

using namespace app_test;

namespace {

TEST(MainWindowPages, ANewPageGoesAfterTheFocusedRow) {
    EXPECT_EQ(MainWindowController::insertionIndex(-1, 0), 0);
    EXPECT_EQ(MainWindowController::insertionIndex(-1, 3), 0);
    EXPECT_EQ(MainWindowController::insertionIndex(0, 3), 1);
    EXPECT_EQ(MainWindowController::insertionIndex(2, 3), 3);
    EXPECT_EQ(MainWindowController::insertionIndex(7, 3), 3);

    WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
    h.connect(0);
    h.connect(1);
    EXPECT_EQ(h.names(), (std::vector<std::string>{"a", "b"}));
    h.focusRow(0);
    h.connect(2);
    EXPECT_EQ(h.names(), (std::vector<std::string>{"a", "c", "b"}));
    EXPECT_EQ(h.selectedName(), "c");
    h.focusRow(-1);
    h.connect(1);
    EXPECT_EQ(h.names(), (std::vector<std::string>{"b", "a", "c", "b"}));
    h.expectInStep();

    // Each page connects a copy of its stored server, with the stored uid.
    auto& page = h.terminals()[0]->shellController();
    EXPECT_NE(page, h.stored(1));
    EXPECT_EQ(page->uid, h.stored(1)->uid);
    EXPECT_EQ(page->terminal(), h.terminals()[0]);
    EXPECT_EQ(page->statusCode(), HalvexSessionStatusConnecting);
    EXPECT_EQ(h.stored(1)->statusCode(), HalvexSessionStatusIdle);
    // A uid that no stored server has opens nothing.
    h.w().connectToRepresentedServer("gone");
    EXPECT_EQ(h.terminals().size(), 4u);
}

TEST(MainWindowPages, WhichPageShowsAfterAClose) {
    // closing, selected, count -> selected after
    EXPECT_EQ(MainWindowController::selectionAfterClosing(2, 2, 3), 1); // the selected last page
    EXPECT_EQ(MainWindowController::selectionAfterClosing(1, 1, 3), 1); // the selected page elsewhere
    EXPECT_EQ(MainWindowController::selectionAfterClosing(0, 2, 3), 1); // a page before the selected one
    EXPECT_EQ(MainWindowController::selectionAfterClosing(2, 0, 3), 0); // a page after it
    EXPECT_EQ(MainWindowController::selectionAfterClosing(0, 0, 1), -1);

    struct Case {
        int selected, closing;
        std::string shown;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {2, 2, "b", {"a", "b"}}, {1, 1, "c", {"a", "c"}}, {0, 0, "b", {"b", "c"}},
        {2, 0, "c", {"b", "c"}}, {0, 2, "a", {"a", "b"}}, {1, 0, "b", {"b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "selected " << c.selected << ", closing " << c.closing);
        WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
        h.connect(0);
        h.connect(1);
        h.connect(2);
        h.focusRow(c.selected);
        EXPECT_EQ(h.pages().selectedIndex(), c.selected);
        auto closed = h.terminals()[static_cast<size_t>(c.closing)]->shellController();
        h.w().closeTerminalAtIndex(c.closing);
        EXPECT_EQ(h.names(), c.left);
        EXPECT_EQ(h.selectedName(), c.shown);
        EXPECT_EQ(closed->statusCode(), HalvexSessionStatusDisconnecting);
        h.expectInStep();
        EXPECT_TRUE(pumpUntil([&] { return closed->statusCode() == HalvexSessionStatusIdle; }));
    }
}

TEST(MainWindowPages, ClosingTheLastPageShowsTheLaunchViewOnlyWithoutStoredServers) {
    for (bool keepServer : {true, false}) {
        SCOPED_TRACE(keepServer);
        WindowHarness h({storedServer("a")});
        auto* launch = h.w().findChild<QWidget*>("terminalLaunchView");
        ASSERT_TRUE(launch);
        EXPECT_FALSE(launch->isVisible());
        h.connect(0);
        EXPECT_TRUE(h.pages().isVisible());
        std::weak_ptr<OrvikTerminal> page = h.terminals()[0];
        if (!keepServer) h.prefs->setShellProfiles({});
        h.w().closeTerminal();
        EXPECT_TRUE(h.terminals().empty());
        EXPECT_TRUE(h.sidebar().sidebarItems().empty());
        EXPECT_FALSE(h.pages().isVisible());
        EXPECT_EQ(launch->isVisible(), !keepServer);
        h.expectInStep();
        // Nothing holds the closed page once its connection has ended.
        EXPECT_TRUE(pumpUntil([&] { return page.expired(); }));
    }
}

TEST(MainWindowPages, CloseOthersKeepsTheFocusedPageAlone) {
    WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
    h.connect(0);
    h.connect(1);
    h.connect(2);
    h.focusRow(1);
    h.w().closeOtherTerminals();
    EXPECT_EQ(h.names(), std::vector<std::string>{"b"});
    EXPECT_EQ(h.pages().selectedIndex(), 0);
    EXPECT_EQ(h.sidebar().selectedIndex(), 0);
    h.expectInStep();
    EXPECT_FALSE(h.w().action("closeOtherTerminals")->isEnabled());
    EXPECT_TRUE(h.w().action("closeTerminal")->isEnabled());
}

TEST(MainWindowPages, EveryMoveFromTheSidebarMatchesTheArrayMove) {
    for (int from = 0; from < 3; ++from)
        for (int to = 0; to <= 3; ++to) {
            SCOPED_TRACE(testing::Message() << "S " << from << ", R " << to);
            WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
            h.connect(0);
            h.connect(1);
            h.connect(2);
            h.focusRow(from);
            std::vector<std::string> expected{"a", "b", "c"};
            moveObjectAtIndex(expected, static_cast<size_t>(from), static_cast<size_t>(to));
            EXPECT_TRUE(h.drag(from, to));
            EXPECT_EQ(h.names(), expected);
            // The dragged page stays selected and shown.
            EXPECT_EQ(h.selectedName(), std::string(1, char('a' + from)));
            h.expectInStep();
        }
    // Row 0 of three dropped below the last row becomes the last row.
    WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
    for (size_t i = 0; i < 3; ++i)
        h.connect(i);
    ASSERT_TRUE(h.drag(0, 3));
    EXPECT_EQ(h.names(), (std::vector<std::string>{"b", "c", "a"}));
    // Drags from anywhere else, or of another kind, are refused.
    auto data = h.sidebar().writeRowsWithIndexes({0});
    QWidget elsewhere;
    EXPECT_FALSE(h.sidebar().validateDrop(*data, &elsewhere));
    EXPECT_FALSE(h.sidebar().acceptDrop(*data, 2, &elsewhere));
    QMimeData text;
    text.setText("0");
    EXPECT_FALSE(h.sidebar().validateDrop(text, h.sidebar().tableView()));
    EXPECT_TRUE(h.sidebar().validateDrop(*data, h.sidebar().tableView()));
    EXPECT_EQ(data->data(SessionsListSidebarDraggedType), QByteArray("0"));
    EXPECT_EQ(h.names(), (std::vector<std::string>{"b", "c", "a"}));
}

TEST(MainWindowPages, ACloseFromTheSidebarClosesThePageTheUserClickedWhenItRuns) {
    WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c")});
    for (size_t i = 0; i < 3; ++i)
        h.connect(i);
    h.w().closeSidebarItemAtIndex(1); // "b", later
    EXPECT_EQ(h.terminals().size(), 3u);
    ASSERT_TRUE(h.drag(1, 0)); // "b" moves to row 0 before the close runs
    h.focusRow(-1);
    h.connect(2); // and a page comes in at row 0
    EXPECT_EQ(h.names(), (std::vector<std::string>{"c", "b", "a", "c"}));
    pumpEvents();
    EXPECT_EQ(h.names(), (std::vector<std::string>{"c", "a", "c"}));
    h.expectInStep();
}

TEST(MainWindowPages, PagesStayInStepUnderAnySequenceOfChanges) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        WindowHarness h({storedServer("a"), storedServer("b"), storedServer("c"), storedServer("d")});
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        for (int step = 0; step < 150; ++step) {
            const int count = static_cast<int>(h.terminals().size());
            switch (pick(8)) {
            case 0:
            case 1:
                h.focusRow(count ? pick(count + 1) - 1 : -1);
                h.connect(static_cast<size_t>(pick(4)));
                break;
            case 2:
                h.w().quickConnectToServerWithShellController(h.stored(static_cast<size_t>(pick(4))));
                break;
            case 3:
                if (count) h.w().closeTerminalAtIndex(pick(count));
                break;
            case 4:
                if (count) h.w().closeSidebarItemAtIndex(pick(count)); // runs later
                break;
            case 5:
                if (count > 1 && pick(3) == 0) {
                    h.focusRow(pick(count));
                    h.w().closeOtherTerminals();
                }
                break;
            case 6:
                if (count) {
                    h.focusRow(pick(count));
                    h.drag(pick(count), pick(count + 1));
                }
                break;
            case 7:
                if (pick(2)) h.w().connectToAllServers(); // later, one page per server
                pumpEvents();
                break;
            }
            h.expectInStep(testing::Message().GetString() + "step " + std::to_string(step));
            if (h.terminals().size() > 12)
                while (h.terminals().size() > 4)
                    h.w().closeTerminalAtIndex(0);
        }
        pumpEvents();
        h.expectInStep("at the end");
    }
}

TEST(MainWindowPages, SaveAndConnectStoresTheNewServerAndOpensIt) {
    WindowHarness h;
    h.w().connectToServer(0); // no server yet: the sheet
    auto* sheet = h.w().creatingPanelController();
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->inEditMode());
    EXPECT_EQ(sheet->findChild<QPushButton*>("okButton")->text(), "Save and Connect");
    const auto editedUid = sheet->sessionController()->uid;
    auto type = [&](const char* name, const QString& text) {
        auto* field = h.w().creatingPanelController()->findChild<QLineEdit*>(name);
        ASSERT_TRUE(field) << name;
        field->selectAll();
        QTest::keyClicks(field, text);
    };
    // An empty host keeps the sheet up.
    type("userNameTextField", "ann");
    sheet->okButton()->click();
    pumpEvents();
    ASSERT_EQ(h.w().creatingPanelController(), sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(h.prefs->shellProfiles().empty());

    type("sshHostTextField", "db.example");
    type("nameTextField", "typed name");
    sheet->okButton()->click();
    pumpEvents();
    auto stored = h.prefs->shellProfiles();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->name(), "ann@db.example");
    EXPECT_EQ(stored[0]->ssh_host, "db.example");
    // The new server keeps its own uid, not the edited duplicate's.
    EXPECT_NE(stored[0]->uid, editedUid);
    EXPECT_EQ(h.names(), std::vector<std::string>{"ann@db.example"});
    EXPECT_EQ(h.terminals()[0]->shellController()->uid, stored[0]->uid);
    EXPECT_EQ(h.w().lastConnectedShellController(), stored[0]);
    EXPECT_EQ(h.w().creatingPanelController(), nullptr);

    // Cancelled (Escape), it stores and opens nothing.
    h.w().connectToAnotherServer();
    ASSERT_TRUE(h.w().creatingPanelController());
    type("sshHostTextField", "other.example");
    QTest::keyClick(h.w().creatingPanelController(), Qt::Key_Escape);
    pumpEvents();
    EXPECT_EQ(h.w().creatingPanelController(), nullptr);
    EXPECT_EQ(h.prefs->shellProfiles().size(), 1u);
    EXPECT_EQ(h.terminals().size(), 1u);
}

TEST(MainWindowPages, TheWidgetsOfAPageReleasedOnAnotherThreadGoOnTheMainThreadFirst) {
    WindowHarness h({storedServer("a")});
    h.connect(0);
    std::shared_ptr<OrvikTerminal> last = h.terminals()[0];
    QWidget* view = RellumQtScreenController::of(*last)->view();
    QThread* const gui = QThread::currentThread();
    std::atomic<bool> goneOnGui{false};
    std::atomic<bool> gone{false};
    QObject::connect(view, &QObject::destroyed, [&] {
        goneOnGui = QThread::currentThread() == gui;
        gone = true;
    });
    h.w().closeTerminalAtIndex(0);
    ASSERT_TRUE(pumpUntil([&] { return last.use_count() == 1; }));
    // A resize is settling: its timer must not reach a terminal that is gone.
    view->resize(view->width() - 30, view->height() - 20);
    std::atomic<bool> viewGoneFirst{false};
    auto released = std::async(std::launch::async, [&] {
        last.reset();
        viewGoneFirst = gone.load();
    });
    EXPECT_TRUE(
        pumpUntil([&] { return released.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(viewGoneFirst) << "the view outlived its terminal";
    EXPECT_TRUE(goneOnGui);
    pumpEvents();
}

} // namespace
