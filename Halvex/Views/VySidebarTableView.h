#pragma once

#include <QString>
#include <QTableView>

#include <vector>

class QMenu;
class QMimeData;
class VySidebarTableModel;
class VyHighlightedTableCellView;

// Where a drop lands: on a row, or in the gap above it.
enum class VyTableViewDropOperation { on, above };

// The sidebar's side of a table's drags, as a table's data source.
class VySidebarTableDragSource {
public:
    virtual ~VySidebarTableDragSource() = default;
    // Puts the rows (ascending) on the drag's data; false refuses the drag.
    virtual bool tableViewWriteRows(const std::vector<int>& rows, QMimeData& data) = 0;
    // The operation for a drop proposed at `row`/`operation`, which it may
    // retarget; Qt::IgnoreAction refuses it. `source` is the drag's source
    // widget (null for drags from other programs and for synthetic drops).
    virtual Qt::DropAction tableViewValidateDrop(const QMimeData& data, const QObject* source, int& row,
                                                 VyTableViewDropOperation& operation) = 0;
    virtual bool tableViewAcceptDrop(const QMimeData& data, int row, VyTableViewDropOperation operation) = 0;
};

// The sidebar's table: one column of VyHighlightedTableCellView rows over a
// VySidebarTableModel, row selection, batched updates, and drags of rows
// through a VySidebarTableDragSource.
class VySidebarTableView : public QTableView {
    Q_OBJECT

public:
    explicit VySidebarTableView(QWidget* parent = nullptr);

    VySidebarTableModel* rowsModel() const { return model_; }
    void setDragSource(VySidebarTableDragSource* source) { dragSource_ = source; }

    // A token that only this table's drags carry, for drops that arrive
    // without a source.
    const QString& dragToken() const { return dragToken_; }

    // The row most recently selected (the current row when it is selected,
    // else the largest selected row); -1 without a selection.
    int selectedRow() const;
    std::vector<int> selectedRowIndexes() const;
    int numberOfRows() const;
    // Selects exactly these rows (existing ones); the current row becomes the
    // largest.
    void selectRowIndexes(const std::vector<int>& rows, bool extend = false);
    void deselectAll();
    void scrollRowToVisible(int row);
    // The context menu (not owned).
    QMenu* menu() const { return menu_; }
    void setMenu(QMenu* menu) { menu_ = menu; }

    // Changes between these calls reach the screen at once, when the
    // outermost endUpdates runs.
    void beginUpdates();
    void endUpdates();
    bool isUpdating() const { return updateDepth_ > 0; }

    // Moves rows the way a drop places them: walks the rows from the largest
    // down, so they end as one block in their order before the row that was
    // at `target` (at the end when it was the count).
    void moveRowsAtIndexesToIndex(const std::vector<int>& rows, int target);

    VyHighlightedTableCellView* cellViewAtRow(int row) const;
    // Where a drop at `pos` (viewport coordinates) is proposed.
    void proposedDropAt(const QPoint& pos, int& row, VyTableViewDropOperation& operation) const;

signals:
    // Double-click on a row.
    void doubleAction();
    // The name of the entry in `row` was edited in place.
    void rowNameDidEndEditing(int row, const QString& name);

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void makeCellViews(int first, int last);
    void updateCellStyles();
    bool validateDrag(QDropEvent* event);

    VySidebarTableModel* model_;
    VySidebarTableDragSource* dragSource_ = nullptr;
    QString dragToken_;
    int updateDepth_ = 0;
    int dropIndicatorRow_ = -1;
    QMenu* menu_ = nullptr;
};
