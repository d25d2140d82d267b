#pragma once

#include <QAbstractTableModel>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class OrvikTerminal;
class QLabel;
class QMimeData;
class QToolButton;

// The drag type of a sidebar row: its index as decimal text.
inline constexpr char SessionsListSidebarDraggedType[] = "com.brimble.SessionsListSidebarDraggedType";

// Hears what the user does in the sidebar. Every operation is optional.
class SessionsListSidebarViewControllerDelegate {
public:
    virtual ~SessionsListSidebarViewControllerDelegate() = default;
    // The selected row, -1 for none.
    virtual void selectionDidChange(int /*selectedRow*/) {}
    virtual void closeSidebarItemAtIndex(int /*index*/) {}
    // A row dragged from `from` to the gap `to` (0 to the number of rows):
    // it now stands before the row that stood at `to`.
    virtual void rowDidMovedAtIndex(int /*from*/, int /*to*/) {}
};

// One row: the page's name, the title its host set (when it set one), and a
// close button shown while the pointer is over the row. The title sits in
// the middle alone, and 8 points higher with a description below it.
//
// Object names: "titleTextField", "descriptionTextField", "closeButton".
class SessionsListTableCellView : public QWidget {
    Q_OBJECT
public:
    explicit SessionsListTableCellView(QWidget* parent = nullptr);

    QLabel* titleTextField() const { return title_; }
    QLabel* descriptionTextField() const { return description_; }
    QToolButton* closeButton() const { return closeButton_; }
    // The title's offset from the vertical centre, in points (negative is up).
    double titleTextFieldCenterYConstant() const { return titleCenterY_; }
    // -8 with a description, 0 without.
    void updateTitleTextFieldConstraint();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutFields();

    QLabel* title_;
    QLabel* description_;
    QToolButton* closeButton_;
    double titleCenterY_ = 0;
};

// The sidebar's table: one column, rows of cell views, dragged by the rows
// themselves. It never takes the keyboard focus, which stays on the page.
class SessionsListTableView : public QTableView {
    Q_OBJECT
public:
    explicit SessionsListTableView(QWidget* parent = nullptr);

    // Where a drop at `y` (in the viewport) lands: a gap from 0 to the
    // number of rows.
    int dropRowAt(int y) const;

    // What the table asks its controller about drags and drops.
    std::function<bool(const QDropEvent&)> validateDrop;
    std::function<bool(const QMimeData&, int row, const QObject* source)> acceptDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The drop moves the row itself: nothing is removed once the drag ends.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    int dropIndicatorRow_ = -1;
};

// The sidebar of the main window: one row per open page, in page order. It
// knows nothing of connections: its items are the pages, and it reports every
// selection, close and move to its delegate, which keeps pages and rows in
// step. GUI thread only.
//
// Object names: "sessionsListSidebar" (the view), "tableView".
class SessionsListSidebarViewController : public QWidget {
    Q_OBJECT
public:
    using Item = std::shared_ptr<OrvikTerminal>;
    static constexpr int RowHeight = 44;

    explicit SessionsListSidebarViewController(SessionsListSidebarViewControllerDelegate* delegate,
                                               QWidget* parent = nullptr);
    ~SessionsListSidebarViewController() override;

    // The delegate is not owned; null stops the reports.
    void setDelegate(SessionsListSidebarViewControllerDelegate* delegate) { delegate_ = delegate; }
    SessionsListTableView* tableView() const { return tableView_; }
    const std::vector<Item>& sidebarItems() const { return items_; }
    void setSidebarRightClickMenu(QMenu* menu);
    QMenu* sidebarRightClickMenu() const { return menu_; }

    // -1 for none.
    int selectedIndex() const;
    // The first of the rows the user's command applies to (the clicked row
    // while its context menu runs, else the selected row); -1 for none.
    int focusedIndex() const;
    // Selects exactly that row and scrolls it into view; nothing for a row
    // outside the items.
    void selectSidebarItemAtIndex(int index);
    // Inserts and selects the row; nothing for an index past the end.
    void insertSidebarItem(const Item& item, int index);
    void removeSidebarItemAtIndex(int index);
    // Removes every row but that one; nothing for a row outside the items.
    void removeSidebarItemsNotAtIndex(int index);
    // Shows the item's current texts in its row, when its cell view exists.
    void updateCellViewLayoutWithSidebarItem(const Item& item);
    // The cell view of a row, or null.
    SessionsListTableCellView* cellViewAtRow(int row) const;

    // The close button's action: reports the row the button sits in.
    void closeSidebarItem(QToolButton* sender);

    // Drag and drop, as the table asks: the drag data of rows (the first
    // row's index), whether a drag may drop here (only one from this table),
    // and the drop itself at gap `row`.
    std::unique_ptr<QMimeData> writeRowsWithIndexes(const std::vector<int>& rows) const;
    bool validateDrop(const QMimeData& data, const QObject* source) const;
    bool acceptDrop(const QMimeData& data, int row, const QObject* source);

private:
    class Model;
    void fillCell(SessionsListTableCellView& cell, const Item& item) const;
    void makeCellView(int row);

    SessionsListSidebarViewControllerDelegate* delegate_;
    std::vector<Item> items_;
    Model* model_;
    SessionsListTableView* tableView_;
    QPointer<QMenu> menu_;
};
