#include "Halvex/Views/VySidebarTableView.h"

#include "Halvex/Views/VyHighlightedTableCellView.h"
#include "Halvex/Views/VySidebarTableModel.h"

#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QUuid>

#include <algorithm>

VySidebarTableView::VySidebarTableView(QWidget* parent)
    : QTableView(parent), model_(new VySidebarTableModel(this)),
      dragToken_(QUuid::createUuid().toString(QUuid::WithoutBraces)) {
    setModel(model_);
    setObjectName(QStringLiteral("tableView"));
    horizontalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(44);
    setShowGrid(false);
    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(SelectedClicked | EditKeyPressed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(false); // drawn here, always as a gap above a row

    connect(model_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { makeCellViews(first, last); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        if (model_->rowCount() > 0) makeCellViews(0, model_->rowCount() - 1);
    });
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
                    if (auto* cell = cellViewAtRow(r)) cell->setObjectValue(model_->rows()[r]);
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateCellStyles(); });
}

void VySidebarTableView::makeCellViews(int first, int last) {
    for (int r = first; r <= last; ++r) {
        auto* cell = new VyHighlightedTableCellView;
        cell->setObjectValue(model_->rows()[r]);
        const QPersistentModelIndex where = model_->index(r);
        connect(cell, &VyHighlightedTableCellView::nameDidEndEditing, this,
                [this, where](const QString& name) {
                    if (where.isValid()) emit rowNameDidEndEditing(where.row(), name);
                });
        setIndexWidget(model_->index(r), cell);
    }
    updateCellStyles();
}

void VySidebarTableView::updateCellStyles() {
    const QItemSelectionModel* selection = selectionModel();
    for (int r = 0; r < model_->rowCount(); ++r)
        if (auto* cell = cellViewAtRow(r))
            cell->setBackgroundStyle(selection->isRowSelected(r)
                                         ? VyHighlightedTableCellView::BackgroundStyleDark
                                         : VyHighlightedTableCellView::BackgroundStyleLight);
}

VyHighlightedTableCellView* VySidebarTableView::cellViewAtRow(int row) const {
    if (row < 0 || row >= model_->rowCount()) return nullptr;
    return qobject_cast<VyHighlightedTableCellView*>(indexWidget(model_->index(row)));
}

int VySidebarTableView::selectedRow() const {
    const QModelIndex current = selectionModel()->currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row())) return current.row();
    const std::vector<int> rows = selectedRowIndexes();
    return rows.empty() ? -1 : rows.back();
}

std::vector<int> VySidebarTableView::selectedRowIndexes() const {
    std::vector<int> rows;
    for (int r = 0; r < model_->rowCount(); ++r)
        if (selectionModel()->isRowSelected(r)) rows.push_back(r);
    return rows;
}

int VySidebarTableView::numberOfRows() const {
    return model_->rowCount();
}

void VySidebarTableView::selectRowIndexes(const std::vector<int>& rows, bool extend) {
    QItemSelection selection;
    int largest = -1;
    for (int r : rows) {
        if (r < 0 || r >= model_->rowCount()) continue;
        selection.select(model_->index(r), model_->index(r));
        largest = std::max(largest, r);
    }
    QItemSelectionModel* model = selectionModel();
    if (largest >= 0) model->setCurrentIndex(model_->index(largest), QItemSelectionModel::NoUpdate);
    model->select(selection, (extend ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
                                 QItemSelectionModel::Rows);
}

void VySidebarTableView::deselectAll() {
    selectionModel()->clearSelection();
}

void VySidebarTableView::scrollRowToVisible(int row) {
    if (row >= 0 && row < model_->rowCount()) scrollTo(model_->index(row));
}

void VySidebarTableView::beginUpdates() {
    if (updateDepth_++ == 0) setUpdatesEnabled(false);
}

void VySidebarTableView::endUpdates() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0) setUpdatesEnabled(true);
}

void VySidebarTableView::moveRowsAtIndexesToIndex(const std::vector<int>& rows, int target) {
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    beginUpdates();
    int t = target;
    int k = 0;
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        const int i = *it;
        if (i < t) {
            model_->moveRow(i, t - 1);
            --t;
        } else {
            model_->moveRow(i + k, t);
            ++k;
        }
    }
    endUpdates();
}

bool VySidebarTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger == SelectedClicked || trigger == EditKeyPressed) {
        if (auto* cell = cellViewAtRow(index.row())) {
            cell->beginEditing();
            return true;
        }
    }
    return QTableView::edit(index, trigger, event);
}

void VySidebarTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint().y());
    QTableView::mouseDoubleClickEvent(event);
    if (row >= 0) emit doubleAction();
}

void VySidebarTableView::contextMenuEvent(QContextMenuEvent* event) {
    if (menu_) menu_->exec(event->globalPos());
}

void VySidebarTableView::startDrag(Qt::DropActions) {
    if (!dragSource_) return;
    const std::vector<int> rows = selectedRowIndexes();
    if (rows.empty()) return;
    auto* data = new QMimeData;
    if (!dragSource_->tableViewWriteRows(rows, *data)) {
        delete data;
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The rows move in the drop handler; nothing is removed here afterwards.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void VySidebarTableView::proposedDropAt(const QPoint& pos, int& row,
                                        VyTableViewDropOperation& operation) const {
    row = rowAt(pos.y());
    operation = VyTableViewDropOperation::above;
    if (row < 0) {
        row = pos.y() < 0 ? 0 : model_->rowCount();
        return;
    }
    const int top = rowViewportPosition(row);
    const int height = rowHeight(row);
    if (pos.y() >= top + height * 3 / 4)
        ++row; // the gap below a row is the gap above the next
    else if (pos.y() >= top + height / 4)
        operation = VyTableViewDropOperation::on;
}

bool VySidebarTableView::validateDrag(QDropEvent* event) {
    dropIndicatorRow_ = -1;
    if (!dragSource_ || !event->mimeData()) return false;
    int row = 0;
    VyTableViewDropOperation operation;
    proposedDropAt(event->position().toPoint(), row, operation);
    const Qt::DropAction action =
        dragSource_->tableViewValidateDrop(*event->mimeData(), event->source(), row, operation);
    if (action == Qt::IgnoreAction) return false;
    dropIndicatorRow_ = row;
    event->setDropAction(action);
    event->accept();
    return true;
}

void VySidebarTableView::dragEnterEvent(QDragEnterEvent* event) {
    if (!validateDrag(event)) event->ignore();
    viewport()->update();
}

void VySidebarTableView::dragMoveEvent(QDragMoveEvent* event) {
    if (!validateDrag(event)) event->ignore();
    viewport()->update();
}

void VySidebarTableView::dragLeaveEvent(QDragLeaveEvent*) {
    dropIndicatorRow_ = -1;
    viewport()->update();
}

void VySidebarTableView::dropEvent(QDropEvent* event) {
    const bool valid = validateDrag(event);
    const int row = dropIndicatorRow_;
    dropIndicatorRow_ = -1;
    viewport()->update();
    if (!valid ||
        !dragSource_->tableViewAcceptDrop(*event->mimeData(), row, VyTableViewDropOperation::above)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void VySidebarTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (dropIndicatorRow_ < 0) return;
    const int rows = model_->rowCount();
    int y = 0;
    if (rows > 0)
        y = dropIndicatorRow_ < rows ? rowViewportPosition(dropIndicatorRow_)
                                     : rowViewportPosition(rows - 1) + rowHeight(rows - 1) - 1;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, y, viewport()->width(), y);
}
