// The sidebar's table side: removals and the selection after them, new-item
// placement, insertion during a search, drags of several rows, the batch
// update of a search result, and the selection reports.
#include "Halvex/Views/VyHighlightedTableCellView.h"
#include "Halvex/Views/VySSHSidebarViewController.h"
#include "Halvex/Views/VySidebarTableModel.h"
#include "Halvex/Views/VySidebarTableView.h"
#include "Halvex/Views/VySmartSearchField.h"
#include "SidebarTestSupport.h"
#include "Wendle/WendleArrays.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace sidebar_test;

namespace {

std::unique_ptr<QMimeData> dragData(VySSHSidebarViewController& sidebar, const std::vector<int>& rows) {
    auto data = std::make_unique<QMimeData>();
    EXPECT_TRUE(sidebar.tableViewWriteRows(rows, *data));
    return data;
}

class SidebarTable : public testing::Test {
protected:
    void load(const QStringList& content) {
        host.content = entries(content);
        sidebar = std::make_unique<VySSHSidebarViewController>(&host);
        sidebar->view()->resize(300, 600);
    }
    QStringList content() const { return names(sidebar->contentItems()); }
    QStringList shown() const { return names(sidebar->displayingItems()); }

    RecordingDelegate host;
    std::unique_ptr<VySSHSidebarViewController> sidebar;
};

TEST_F(SidebarTable, LoadingFetchesTheContentSelectsRowZeroAndReportsOnce) {
    load({"A", "B", "C"});
    EXPECT_EQ(content(), QStringList({"A", "B", "C"}));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"A", "B", "C"}));
    EXPECT_EQ(sidebar->selectedIndex(), 0);
    ASSERT_EQ(host.selections.size(), 1u);
    EXPECT_EQ(host.selections[0].selected, QStringList({"A"}));
    EXPECT_EQ(host.selections[0].last.toString(), "A");
    EXPECT_FALSE(host.selections[0].beforeLast.isValid());
    EXPECT_EQ(sidebar->tableView()->objectName(), "tableView");
    EXPECT_EQ(sidebar->itemAtIndex(3), QVariant());
    EXPECT_EQ(sidebar->itemAtIndex(-1), QVariant());
}

TEST_F(SidebarTable, RemovingTheOnlyRowLeavesNothingSelectedAndSavesAnEmptyList) {
    load({"A"});
    sidebar->removeItemAtIndex(0);
    EXPECT_EQ(sidebar->displayingItemsCount(), 0);
    EXPECT_TRUE(tableRows(*sidebar).isEmpty());
    EXPECT_EQ(sidebar->selectedIndex(), -1);
    ASSERT_FALSE(host.savedContent.empty());
    EXPECT_TRUE(host.savedContent.back().isEmpty());
}

TEST_F(SidebarTable, RemovingOneRowSelectsTheRowBeforeIt) {
    load({"A", "B", "C", "D", "E"});
    sidebar->removeItemAtIndex(3);
    EXPECT_EQ(content(), QStringList({"A", "B", "C", "E"}));
    EXPECT_EQ(sidebar->selectedIndex(), 2);
    sidebar->removeItemAtIndex(0);
    EXPECT_EQ(tableRows(*sidebar), QStringList({"B", "C", "E"}));
    EXPECT_EQ(sidebar->selectedIndex(), 0);
    EXPECT_EQ(host.savedContent.back(), entries({"B", "C", "E"}));
}

TEST_F(SidebarTable, RemovingSetsOfRowsSelectsByTheLargestRemovedRow) {
    load({"A", "B", "C", "D", "E"});
    sidebar->removeItemsAtIndexes({0, 1, 2});
    EXPECT_EQ(tableRows(*sidebar), QStringList({"D", "E"}));
    EXPECT_EQ(sidebar->selectedIndexes(), std::vector<int>({0}));

    load({"A", "B", "C", "D", "E"});
    sidebar->removeItemsAtIndexes({2, 3});
    EXPECT_EQ(content(), QStringList({"A", "B", "E"}));
    EXPECT_EQ(sidebar->selectedIndexes(), std::vector<int>({1}));
    EXPECT_EQ(host.savedContent.back(), entries({"A", "B", "E"}));

    load({"A", "B", "C", "D", "E"});
    sidebar->removeItemsAtIndexes({3, 4});
    EXPECT_EQ(sidebar->selectedIndexes(), std::vector<int>({2}));
}

TEST_F(SidebarTable, RemovingDuringASearchRemovesThoseEntriesFromTheContent) {
    load({"web a", "db b", "web c", "db d", "web e"});
    sidebar->actionSearch("web");
    ASSERT_EQ(shown(), QStringList({"web a", "web c", "web e"}));
    sidebar->removeItemsAtIndexes({1, 2});
    EXPECT_EQ(content(), QStringList({"web a", "db b", "db d"}));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"web a"}));
    sidebar->actionCancelButtonClicked(nullptr);
    EXPECT_EQ(tableRows(*sidebar), QStringList({"web a", "db b", "db d"}));
}

TEST_F(SidebarTable, NewItemGoesAfterTheLastFocusedRowAndIsSelected) {
    load({"A", "B", "C", "D", "E"});
    sidebar->setSelectionIndexes({1, 3});
    EXPECT_EQ(sidebar->focusedIndexes(), std::vector<int>({1, 3}));
    EXPECT_EQ(sidebar->newItem("N"), 4);
    EXPECT_EQ(content(), QStringList({"A", "B", "C", "D", "N", "E"}));
    EXPECT_EQ(sidebar->selectedIndexes(), std::vector<int>({4}));
    EXPECT_EQ(host.savedContent.back(), sidebar->contentItems());

    sidebar->tableView()->deselectAll();
    EXPECT_TRUE(sidebar->focusedIndexes().empty());
    EXPECT_EQ(sidebar->newItem("M"), 0);
    EXPECT_EQ(tableRows(*sidebar).first(), "M");
    EXPECT_EQ(sidebar->selectedIndex(), 0);
}

TEST_F(SidebarTable, AddItemAppendsWithoutChangingTheSelection) {
    load({"A", "B"});
    EXPECT_EQ(sidebar->addItem("C"), 2);
    EXPECT_EQ(tableRows(*sidebar), QStringList({"A", "B", "C"}));
    EXPECT_EQ(sidebar->selectedIndexes(), std::vector<int>({0}));
    EXPECT_EQ(host.savedContent.back(), entries({"A", "B", "C"}));
}

TEST_F(SidebarTable, InsertingDuringASearchPlacesTheEntryAfterTheOneShownAbove) {
    load({"web a", "db b", "web c", "db d", "web e"});
    sidebar->actionSearch("web");
    ASSERT_EQ(shown(), QStringList({"web a", "web c", "web e"}));

    sidebar->insertItemAtIndex(2, "new x", true);
    EXPECT_EQ(content(), QStringList({"web a", "db b", "web c", "new x", "db d", "web e"}));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"web a", "web c", "new x", "web e"}));
    EXPECT_EQ(sidebar->selectedIndex(), 2);

    sidebar->insertItemAtIndex(0, "first", false);
    EXPECT_EQ(content().first(), "first");
    sidebar->addItem("last");
    EXPECT_EQ(content().mid(6), QStringList({"web e", "last"}));
    EXPECT_EQ(host.savedContent.back(), sidebar->contentItems());
}

TEST_F(SidebarTable, ReplacingChangesBothListsAndTheRowDuringASearch) {
    load({"web a", "db b", "web c"});
    sidebar->actionSearch("web");
    sidebar->replaceItemAtIndex(1, "web z");
    EXPECT_EQ(content(), QStringList({"web a", "db b", "web z"}));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"web a", "web z"}));
    EXPECT_EQ(host.savedContent.back(), sidebar->contentItems());
}

TEST_F(SidebarTable, GotoItemClearsTheSearchAndSelectsTheEntry) {
    load({"web a", "db b", "web c"});
    sidebar->searchField()->setText("web");
    sidebar->actionSearch("web");
    sidebar->gotoItem(QString("db b"));
    EXPECT_TRUE(sidebar->searchField()->text().isEmpty());
    EXPECT_EQ(tableRows(*sidebar), QStringList({"web a", "db b", "web c"}));
    EXPECT_EQ(sidebar->selectedItem().toString(), "db b");
}

TEST_F(SidebarTable, BeforeLastSelectedIsThePreviousLastWhileItStaysSelected) {
    load({"A", "B", "C", "D"});
    sidebar->setSelectionIndexes({2});
    auto* table = sidebar->tableView();
    table->selectRowIndexes({3}, true); // extend: C stays, D is the newest
    ASSERT_FALSE(host.selections.empty());
    const SelectionReport& kept = host.selections.back();
    EXPECT_EQ(kept.selected, QStringList({"C", "D"}));
    EXPECT_EQ(kept.last.toString(), "D");
    EXPECT_EQ(kept.beforeLast.toString(), "C");

    // The previous last (D) leaves the selection: the last other selected
    // entry in row order stands in.
    table->selectRowIndexes({0, 1, 2});
    const SelectionReport& replaced = host.selections.back();
    EXPECT_EQ(replaced.last.toString(), "C");
    EXPECT_EQ(replaced.beforeLast.toString(), "B");

    table->selectRowIndexes({1});
    EXPECT_FALSE(host.selections.back().beforeLast.isValid());
    table->deselectAll();
    EXPECT_FALSE(host.selections.back().last.isValid());
    EXPECT_FALSE(sidebar->lastSelectedItem().isValid());
}

TEST_F(SidebarTable, SelectionReportsComeOnlyWhileTheTableAndTheListsAgree) {
    load({"web a", "db b", "web c", "db d", "web e", "web f"});
    int reports = 0;
    host.onSelectionChange = [&] {
        ++reports;
        ASSERT_EQ(tableRows(*sidebar), shown());
        for (const QString& e : host.selections.back().selected)
            ASSERT_TRUE(shown().contains(e)) << e.toStdString();
    };
    sidebar->setSelectionIndexes({0, 1});
    sidebar->removeItemAtIndex(1);
    sidebar->actionSearch("web");
    sidebar->setSelectionIndexes({1, 2});
    sidebar->removeItemsAtIndexes({1, 2});
    sidebar->insertItemAtIndex(0, "web new", true);
    auto data = dragData(*sidebar, {0});
    sidebar->tableViewAcceptDrop(*data, 2, VyTableViewDropOperation::above);
    sidebar->actionCancelButtonClicked(nullptr);
    EXPECT_GT(reports, 4);
    EXPECT_EQ(shown(), content());
}

TEST_F(SidebarTable, DoubleClickHandsTheSelectedEntriesToTheHost) {
    load({"A", "B", "C"});
    sidebar->setSelectionIndexes({0, 2});
    sidebar->tableViewDoubleAction();
    ASSERT_EQ(host.doubleClicked.size(), 1u);
    EXPECT_EQ(host.doubleClicked[0], entries({"A", "C"}));
}

TEST_F(SidebarTable, EditingANameInItsRowChangesTheEntryAndTellsTheHost) {
    QVariantMap web{{"name", "web"}, {"message", "root@10.0.0.1"}};
    host.content = {web, QVariantMap{{"name", "db"}}};
    sidebar = std::make_unique<VySSHSidebarViewController>(&host);
    sidebar->view()->resize(300, 400);
    VyHighlightedTableCellView* cell = sidebar->tableView()->cellViewAtRow(0);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->nameTextField()->text(), "web");
    EXPECT_EQ(cell->messageTextField()->text(), "root@10.0.0.1");
    cell->beginEditing();
    cell->nameTextField()->setText("web-1");
    emit cell->nameTextField()->editingFinished();
    EXPECT_EQ(host.endEditingCount, 1);
    EXPECT_EQ(sidebar->contentItems()[0].toMap().value("name").toString(), "web-1");
    EXPECT_EQ(sidebar->contentItems()[0].toMap().value("message").toString(), "root@10.0.0.1");
    EXPECT_FALSE(cell->isEditing());
}

TEST_F(SidebarTable, SelectedRowsDrawTheirSecondaryTextsInTheHighlightColour) {
    load({"A", "B"});
    VyHighlightedTableCellView* selected = sidebar->tableView()->cellViewAtRow(0);
    VyHighlightedTableCellView* plain = sidebar->tableView()->cellViewAtRow(1);
    ASSERT_TRUE(selected && plain);
    EXPECT_EQ(selected->backgroundStyle(), VyHighlightedTableCellView::BackgroundStyleDark);
    EXPECT_EQ(plain->backgroundStyle(), VyHighlightedTableCellView::BackgroundStyleLight);
    const QColor highlight = selected->palette().color(QPalette::HighlightedText);
    EXPECT_EQ(selected->messageTextField()->palette().color(QPalette::WindowText), highlight);
    EXPECT_EQ(selected->descriptionTextField()->palette().color(QPalette::WindowText), highlight);
    EXPECT_NE(plain->messageTextField()->palette().color(QPalette::WindowText), highlight);
    // The name keeps its colour either way.
    EXPECT_EQ(selected->nameTextField()->palette().color(QPalette::Text),
              plain->nameTextField()->palette().color(QPalette::Text));
}

// Drags ---------------------------------------------------------------------

TEST_F(SidebarTable, DraggingRowsZeroAndTwoAboveRowFourGivesBDAC) {
    load({"A", "B", "C", "D"});
    auto data = dragData(*sidebar, {2, 0});
    EXPECT_EQ(data->data(kSSHSidebarDraggedType), QByteArray("[0,2]"));
    EXPECT_TRUE(sidebar->tableViewAcceptDrop(*data, 4, VyTableViewDropOperation::above));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"B", "D", "A", "C"}));
    EXPECT_EQ(content(), QStringList({"B", "D", "A", "C"}));
    EXPECT_EQ(host.savedContent.back(), entries({"B", "D", "A", "C"}));
}

TEST_F(SidebarTable, EveryDragOfSmallListsMatchesTheReferenceMove) {
    for (int n = 1; n <= 5; ++n) {
        QStringList start;
        for (int i = 0; i < n; ++i)
            start.append(QString(QChar('A' + i)));
        for (unsigned mask = 1; mask < (1u << n); ++mask) {
            std::vector<int> rows;
            std::vector<std::size_t> indexes;
            for (int i = 0; i < n; ++i)
                if (mask & (1u << i)) {
                    rows.push_back(i);
                    indexes.push_back(static_cast<std::size_t>(i));
                }
            for (int t = 0; t <= n; ++t) {
                std::vector<QString> expected(start.begin(), start.end());
                ASSERT_TRUE(moveObjectsAtIndexes(expected, indexes, static_cast<std::size_t>(t)));
                const QStringList want(expected.begin(), expected.end());
                load(start);
                auto data = dragData(*sidebar, rows);
                ASSERT_TRUE(sidebar->tableViewAcceptDrop(*data, t, VyTableViewDropOperation::above));
                ASSERT_EQ(tableRows(*sidebar), want) << "n=" << n << " mask=" << mask << " t=" << t;
                ASSERT_EQ(shown(), want) << "n=" << n << " mask=" << mask << " t=" << t;
                ASSERT_EQ(content(), want) << "n=" << n << " mask=" << mask << " t=" << t;
            }
        }
    }
}

TEST_F(SidebarTable, EveryDragDuringASearchKeepsContentOrderAndTheHiddenEntries) {
    const QStringList start{"x a", "b", "x c", "x d", "e", "x f", "x g"};
    const QStringList hidden{"b", "e"};
    for (unsigned mask = 1; mask < (1u << 5); ++mask) {
        std::vector<int> rows;
        std::vector<std::size_t> indexes;
        for (int i = 0; i < 5; ++i)
            if (mask & (1u << i)) {
                rows.push_back(i);
                indexes.push_back(static_cast<std::size_t>(i));
            }
        for (int t = 0; t <= 5; ++t) {
            load(start);
            sidebar->actionSearch("x");
            const QStringList before = shown();
            ASSERT_EQ(before.size(), 5);
            std::vector<QString> expected(before.begin(), before.end());
            moveObjectsAtIndexes(expected, indexes, static_cast<std::size_t>(t));
            auto data = dragData(*sidebar, rows);
            ASSERT_TRUE(sidebar->tableViewAcceptDrop(*data, t, VyTableViewDropOperation::above));
            const QStringList want(expected.begin(), expected.end());
            ASSERT_EQ(shown(), want) << "mask=" << mask << " t=" << t;
            ASSERT_EQ(tableRows(*sidebar), want) << "mask=" << mask << " t=" << t;
            // The shown entries stay in content order, the hidden ones keep
            // their order, nothing is lost.
            QStringList shownInContent, hiddenInContent;
            for (const QString& e : content())
                (before.contains(e) ? shownInContent : hiddenInContent).append(e);
            ASSERT_EQ(shownInContent, want) << "mask=" << mask << " t=" << t;
            ASSERT_EQ(hiddenInContent, hidden);
        }
    }
}

TEST_F(SidebarTable, ADropOnARowIsAnsweredAsADropAboveIt) {
    load({"A", "B", "C"});
    auto data = dragData(*sidebar, {0});
    int row = 2;
    VyTableViewDropOperation operation = VyTableViewDropOperation::on;
    EXPECT_EQ(sidebar->tableViewValidateDrop(*data, sidebar->tableView(), row, operation), Qt::MoveAction);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(operation, VyTableViewDropOperation::above);

    // Where the pointer is: the middle of a row proposes "on" it, its lower
    // quarter the gap above the next row.
    VySidebarTableView* table = sidebar->tableView();
    const int top = table->rowViewportPosition(1), height = table->rowHeight(1);
    table->proposedDropAt(QPoint(10, top + height / 2), row, operation);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(operation, VyTableViewDropOperation::on);
    table->proposedDropAt(QPoint(10, top + height - 2), row, operation);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(operation, VyTableViewDropOperation::above);
}

// A drop as Qt delivers it to the table's viewport, without a source: Qt
// sends the move and the drop only to a widget that accepted the enter.
bool drop(VySidebarTableView* table, const QMimeData& data, int row) {
    const QPoint at(10, table->rowViewportPosition(row) + table->rowHeight(row) / 2);
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &move);
    if (!move.isAccepted()) return false;
    QDropEvent dropEvent(QPointF(at), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &dropEvent);
    return dropEvent.isAccepted();
}

TEST_F(SidebarTable, OnlyRowsOfThisTableAreAcceptedByDrops) {
    load({"A", "B", "C", "D"});
    auto own = dragData(*sidebar, {0});
    EXPECT_TRUE(drop(sidebar->tableView(), *own, 2)); // "on" row 2: above it
    EXPECT_EQ(tableRows(*sidebar), QStringList({"B", "A", "C", "D"}));

    // Rows of another sidebar's table carry another token.
    RecordingDelegate otherHost;
    otherHost.content = entries({"X", "Y"});
    VySSHSidebarViewController other(&otherHost);
    other.view();
    auto foreign = dragData(other, {0});
    EXPECT_FALSE(drop(sidebar->tableView(), *foreign, 2));
    // Data of the right type but no token at all (another program).
    QMimeData bare;
    bare.setData(kSSHSidebarDraggedType, "[0]");
    EXPECT_FALSE(drop(sidebar->tableView(), bare, 2));
    int row = 1;
    VyTableViewDropOperation operation = VyTableViewDropOperation::above;
    EXPECT_EQ(sidebar->tableViewValidateDrop(*own, other.tableView(), row, operation), Qt::IgnoreAction);
    EXPECT_EQ(tableRows(*sidebar), QStringList({"B", "A", "C", "D"}));
    EXPECT_EQ(content(), QStringList({"B", "A", "C", "D"}));
}

TEST_F(SidebarTable, RowsThatAreNotShownAreLeftOutOfADrop) {
    load({"A", "B", "C"});
    QMimeData data;
    data.setData(kSSHSidebarDraggedType, "[2,7,-1]");
    EXPECT_TRUE(sidebar->tableViewAcceptDrop(data, 0, VyTableViewDropOperation::above));
    EXPECT_EQ(content(), QStringList({"C", "A", "B"}));
    data.setData(kSSHSidebarDraggedType, "[9]");
    EXPECT_FALSE(sidebar->tableViewAcceptDrop(data, 0, VyTableViewDropOperation::above));
    data.setData(kSSHSidebarDraggedType, "{\"rows\":1}");
    EXPECT_FALSE(sidebar->tableViewAcceptDrop(data, 0, VyTableViewDropOperation::above));
    EXPECT_EQ(tableRows(*sidebar), QStringList({"C", "A", "B"}));
}

// The batch update of a search result ----------------------------------------

TEST_F(SidebarTable, ASearchResultRemovesAndInsertsRowsInOneBatch) {
    load({"A", "B", "C", "D", "E"});
    sidebar->updateTableViewDisplayingItems(entries({"A", "B", "D", "E"}));
    ASSERT_EQ(tableRows(*sidebar), QStringList({"A", "B", "D", "E"}));

    VySidebarTableView* table = sidebar->tableView();
    QStringList changes;
    bool allInBatch = true;
    QObject::connect(table->rowsModel(), &QAbstractItemModel::rowsRemoved, table,
                     [&](const QModelIndex&, int first, int last) {
                         changes.append(QString("-%1..%2").arg(first).arg(last));
                         allInBatch = allInBatch && table->isUpdating();
                     });
    QObject::connect(table->rowsModel(), &QAbstractItemModel::rowsInserted, table,
                     [&](const QModelIndex&, int first, int last) {
                         changes.append(QString("+%1..%2").arg(first).arg(last));
                         allInBatch = allInBatch && table->isUpdating();
                     });
    // Rows 1 (B) and 3 (E) go; C, between them in content order, comes in.
    sidebar->updateTableViewDisplayingItems(entries({"A", "C", "D"}));
    EXPECT_EQ(changes, QStringList({"-3..3", "-1..1", "+1..1"}));
    EXPECT_TRUE(allInBatch);
    EXPECT_FALSE(table->isUpdating());
    EXPECT_EQ(tableRows(*sidebar), QStringList({"A", "C", "D"}));
    EXPECT_EQ(shown(), QStringList({"A", "C", "D"}));
}

TEST_F(SidebarTable, AnySequenceOfResultsLeavesTheTableShowingExactlyTheResult) {
    const QStringList all{"A", "B", "C", "D", "E", "F", "G", "H"};
    load(all);
    std::mt19937 random(21);
    for (int step = 0; step < 200; ++step) {
        QStringList result;
        for (const QString& e : all)
            if (random() % 2) result.append(e);
        sidebar->updateTableViewDisplayingItems(entries(result));
        ASSERT_EQ(shown(), result) << "step " << step;
        ASSERT_EQ(tableRows(*sidebar), result) << "step " << step;
        // A non-empty result always leaves a row selected.
        ASSERT_EQ(sidebar->selectedIndex() >= 0, !result.isEmpty()) << "step " << step;
    }
    EXPECT_EQ(content(), all);
}

} // namespace
