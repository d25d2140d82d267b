// The rows a command applies to, scrolling to the bottom, the key window.
#include "Wendle/Views/WendleWidgets.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Rows = std::vector<int>;

class FocusedRows : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 6; ++i)
            model.appendRow(new QStandardItem(QStringLiteral("server %1").arg(i)));
        view.setModel(&model);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.resize(300, 400);
        wendle_trackClickedRow(&view);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QPoint centreOfRow(int row) const { return view.visualRect(model.index(row, 0)).center(); }

    void select(Rows rows) {
        view.clearSelection();
        for (int row : rows)
            view.selectionModel()->select(model.index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // A context menu at the row with the mouse, as the window system sends
    // it; the view's menu, if any, runs inside.
    void contextMenuAt(int row) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, centreOfRow(row),
                                view.viewport()->mapToGlobal(centreOfRow(row)));
        QApplication::sendEvent(view.viewport(), &event);
    }

    QStandardItemModel model;
    QTableView view;
};

TEST_F(FocusedRows, ARightClickedRowOutsideTheSelectionIsTheOneTheCommandAppliesTo) {
    EXPECT_TRUE(focusedRowIndexes(&view).empty());
    select({1, 2});
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{1, 2}));
    contextMenuAt(4);
    EXPECT_EQ(wendle_clickedRow(&view), 4);
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{4}));
    // Inside the selection: the selection.
    contextMenuAt(2);
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{1, 2}));
}

TEST_F(FocusedRows, TheClickedRowHoldsWhileItsMenuRunsAndIsForgottenByKeysAndSelection) {
    select({0});
    view.setContextMenuPolicy(Qt::CustomContextMenu);
    Rows seenByTheMenuCommand;
    QObject::connect(&view, &QWidget::customContextMenuRequested, [&](const QPoint& at) {
        QMenu menu;
        QAction* remove = menu.addAction(QStringLiteral("Remove"));
        QObject::connect(remove, &QAction::triggered,
                         [&] { seenByTheMenuCommand = focusedRowIndexes(&view); });
        QTimer::singleShot(0, &menu, [&menu, remove] {
            remove->trigger();
            menu.close();
        });
        menu.exec(view.viewport()->mapToGlobal(at));
    });
    contextMenuAt(3);
    EXPECT_EQ(seenByTheMenuCommand, (Rows{3}));

    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{0}));

    contextMenuAt(5);
    select({2});
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{2}));

    // The clicked row follows its row when rows above it go, and is
    // forgotten with its row.
    view.clearSelection();
    contextMenuAt(4);
    model.removeRow(0);
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{3}));
    model.removeRow(3);
    EXPECT_TRUE(focusedRowIndexes(&view).empty());
}

TEST_F(FocusedRows, ARealRightClickNamesTheClickedRow) {
    select({0});
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, centreOfRow(3));
    // Qt selects the row under a right click; either way it is the one.
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{3}));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, centreOfRow(1));
    EXPECT_EQ(focusedRowIndexes(&view), (Rows{1}));
}

TEST(WendleScrolling, ScrollToBottomReachesTheEndAndIsAtBottomSaysSo) {
    QPlainTextEdit text;
    text.resize(300, 120);
    text.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&text));
    text.setPlainText(QStringLiteral("one line"));
    EXPECT_TRUE(wendle_isAtBottom(&text)) << "content that fits is at its bottom";
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines << QStringLiteral("line %1").arg(i);
    text.setPlainText(lines.join('\n'));
    text.verticalScrollBar()->setValue(0);
    EXPECT_FALSE(wendle_isAtBottom(&text));
    wendle_scrollToBottom(&text);
    EXPECT_TRUE(wendle_isAtBottom(&text));
    EXPECT_GT(text.verticalScrollBar()->value(), 0);
}

TEST(WendleKeyWindow, OnlyWidgetsOfTheActiveWindowAreInTheKeyWindow) {
    QWidget first, second;
    auto* inFirst = new QWidget(&first);
    first.show();
    second.show();
    first.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&first));
    EXPECT_TRUE(wendle_isInKeyWindow(inFirst));
    EXPECT_FALSE(wendle_isInKeyWindow(&second));
    second.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&second));
    EXPECT_FALSE(wendle_isInKeyWindow(inFirst));
    EXPECT_FALSE(wendle_isInKeyWindow(nullptr));
}

} // namespace
