#include "app/SessionsListSidebarViewController.h"

#include "Wendle/Views/WendleWidgets.h"
#include "Wendle/WendleArrays.h"
#include "app/OrvikController.h"
#include "app/OrvikTerminal.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

// --- cell view

SessionsListTableCellView::SessionsListTableCellView(QWidget* parent) : QWidget(parent) {
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("titleTextField"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    description_ = new QLabel(this);
    description_->setObjectName(QStringLiteral("descriptionTextField"));
    QFont small = description_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    description_->setFont(small);
    description_->setForegroundRole(QPalette::PlaceholderText);
    closeButton_ = new QToolButton(this);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setText(QStringLiteral("\u2715"));
    closeButton_->setAutoRaise(true);
    closeButton_->setToolTip(tr("Close"));
    closeButton_->setFocusPolicy(Qt::NoFocus);
    closeButton_->hide();
    // Presses elsewhere in the row fall through to the table, which selects
    // and drags the row.
    setAttribute(Qt::WA_Hover);
}

void SessionsListTableCellView::updateTitleTextFieldConstraint() {
    titleCenterY_ = description_->text().isEmpty() ? 0.0 : -8.0;
    description_->setVisible(!description_->text().isEmpty());
    layoutFields();
}

void SessionsListTableCellView::enterEvent(QEnterEvent* event) {
    closeButton_->show();
    QWidget::enterEvent(event);
}

void SessionsListTableCellView::leaveEvent(QEvent* event) {
    closeButton_->hide();
    QWidget::leaveEvent(event);
}

void SessionsListTableCellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutFields();
}

void SessionsListTableCellView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // A title set while the row was hidden is placed before it shows.
    if ((titleCenterY_ != 0.0) == description_->text().isEmpty()) updateTitleTextFieldConstraint();
}

void SessionsListTableCellView::layoutFields() {
    const int margin = 8;
    const QSize button = closeButton_->sizeHint();
    const int textWidth = std::max(0, width() - 2 * margin - button.width() - 4);
    const int middle = height() / 2;
    const int titleHeight = title_->sizeHint().height();
    title_->setGeometry(margin, middle + static_cast<int>(titleCenterY_) - titleHeight / 2, textWidth,
                        titleHeight);
    const int descriptionHeight = description_->sizeHint().height();
    description_->setGeometry(margin, title_->geometry().bottom() + 1, textWidth, descriptionHeight);
    closeButton_->setGeometry(width() - margin - button.width(), middle - button.height() / 2, button.width(),
                              button.height());
}

// --- table view

SessionsListTableView::SessionsListTableView(QWidget* parent) : QTableView(parent) {
    setFocusPolicy(Qt::NoFocus);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(SessionsListSidebarViewController::RowHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false); // drawn here, as a line at the gap
}

int SessionsListTableView::dropRowAt(int y) const {
    const int row = rowAt(y);
    if (row < 0) return y < 0 ? 0 : model() ? model()->rowCount() : 0;
    const QRect rect = visualRect(model()->index(row, 0));
    return y > rect.center().y() ? row + 1 : row;
}

void SessionsListTableView::dragEnterEvent(QDragEnterEvent* event) {
    if (validateDrop && validateDrop(*event)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SessionsListTableView::dragMoveEvent(QDragMoveEvent* event) {
    if (!validateDrop || !validateDrop(*event)) {
        event->ignore();
        return;
    }
    dropIndicatorRow_ = dropRowAt(event->position().toPoint().y());
    viewport()->update();
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void SessionsListTableView::dragLeaveEvent(QDragLeaveEvent* event) {
    dropIndicatorRow_ = -1;
    viewport()->update();
    QTableView::dragLeaveEvent(event);
}

void SessionsListTableView::dropEvent(QDropEvent* event) {
    dropIndicatorRow_ = -1;
    viewport()->update();
    const int row = dropRowAt(event->position().toPoint().y());
    if (event->mimeData() && acceptDrop && acceptDrop(*event->mimeData(), row, event->source())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void SessionsListTableView::startDrag(Qt::DropActions) {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty() || !model()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(rows));
    if (QWidget* cell = indexWidget(rows.first())) drag->setPixmap(cell->grab());
    drag->exec(Qt::MoveAction);
}

void SessionsListTableView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (dropIndicatorRow_ < 0 || !model()) return;
    const int rows = model()->rowCount();
    int y = 0;
    if (rows > 0)
        y = dropIndicatorRow_ < rows ? visualRect(model()->index(dropIndicatorRow_, 0)).top()
                                     : visualRect(model()->index(rows - 1, 0)).bottom();
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(4, y, viewport()->width() - 4, y);
}

// --- model

class SessionsListSidebarViewController::Model : public QAbstractTableModel {
public:
    explicit Model(SessionsListSidebarViewController* owner) : QAbstractTableModel(owner), owner_(owner) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(owner_->items_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const auto& item = owner_->items_[static_cast<size_t>(index.row())];
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
            return QString::fromStdString(item->titleNotation());
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::ItemIsDropEnabled;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    }
    QStringList mimeTypes() const override { return {QString::fromLatin1(SessionsListSidebarDraggedType)}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        std::vector<int> rows;
        for (const auto& index : indexes)
            rows.push_back(index.row());
        return owner_->writeRowsWithIndexes(rows).release();
    }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    void insertAt(int row, const Item& item) {
        beginInsertRows({}, row, row);
        owner_->items_.insert(owner_->items_.begin() + row, item);
        endInsertRows();
    }
    void removeAt(int row) {
        beginRemoveRows({}, row, row);
        owner_->items_.erase(owner_->items_.begin() + row);
        endRemoveRows();
    }
    // Moves the row so that it stands before the row that stood at `to`.
    void move(int from, int to) {
        if (!beginMoveRows({}, from, from, {}, to)) return;
        moveObjectAtIndex(owner_->items_, static_cast<size_t>(from), static_cast<size_t>(to));
        endMoveRows();
    }

private:
    SessionsListSidebarViewController* owner_;
};

// --- controller

SessionsListSidebarViewController::SessionsListSidebarViewController(
    SessionsListSidebarViewControllerDelegate* delegate, QWidget* parent)
    : QWidget(parent), delegate_(delegate) {
    setObjectName(QStringLiteral("sessionsListSidebar"));
    model_ = new Model(this);
    tableView_ = new SessionsListTableView(this);
    tableView_->setObjectName(QStringLiteral("tableView"));
    tableView_->setModel(model_);
    wendle_trackClickedRow(tableView_);
    tableView_->validateDrop = [this](const QDropEvent& event) {
        return event.mimeData() && validateDrop(*event.mimeData(), event.source());
    };
    tableView_->acceptDrop = [this](const QMimeData& data, int row, const QObject* source) {
        return acceptDrop(data, row, source);
    };
    tableView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tableView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        if (menu_) menu_->exec(tableView_->viewport()->mapToGlobal(position));
    });
    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (delegate_) delegate_->selectionDidChange(selectedIndex());
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tableView_);
}

SessionsListSidebarViewController::~SessionsListSidebarViewController() {
    // Selection changes while the table goes are nobody's business.
    delegate_ = nullptr;
}

void SessionsListSidebarViewController::setSidebarRightClickMenu(QMenu* menu) {
    menu_ = menu;
}

int SessionsListSidebarViewController::selectedIndex() const {
    const auto rows = tableView_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int SessionsListSidebarViewController::focusedIndex() const {
    const auto rows = focusedRowIndexes(tableView_);
    return rows.empty() ? -1 : rows.front();
}

void SessionsListSidebarViewController::selectSidebarItemAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    tableView_->selectRow(index);
    tableView_->scrollTo(model_->index(index, 0));
}

void SessionsListSidebarViewController::insertSidebarItem(const Item& item, int index) {
    if (!item || index < 0 || index > static_cast<int>(items_.size())) return;
    model_->insertAt(index, item);
    makeCellView(index);
    selectSidebarItemAtIndex(index);
}

void SessionsListSidebarViewController::removeSidebarItemAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    model_->removeAt(index);
}

void SessionsListSidebarViewController::removeSidebarItemsNotAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    for (int row = static_cast<int>(items_.size()) - 1; row > index; --row)
        model_->removeAt(row);
    for (int row = index - 1; row >= 0; --row)
        model_->removeAt(row);
}

SessionsListTableCellView* SessionsListSidebarViewController::cellViewAtRow(int row) const {
    if (row < 0 || row >= static_cast<int>(items_.size())) return nullptr;
    return qobject_cast<SessionsListTableCellView*>(tableView_->indexWidget(model_->index(row, 0)));
}

void SessionsListSidebarViewController::updateCellViewLayoutWithSidebarItem(const Item& item) {
    for (size_t row = 0; row < items_.size(); ++row) {
        if (items_[row] != item) continue;
        if (auto* cell = cellViewAtRow(static_cast<int>(row))) {
            fillCell(*cell, item);
            cell->updateTitleTextFieldConstraint();
        }
        return;
    }
}

void SessionsListSidebarViewController::fillCell(SessionsListTableCellView& cell, const Item& item) const {
    const auto& controller = item->shellController();
    cell.titleTextField()->setText(QString::fromStdString(controller ? controller->name().value_or("") : ""));
    cell.descriptionTextField()->setText(QString::fromStdString(item->displayTitle()));
    cell.setToolTip(QString::fromStdString(controller ? controller->sshServerNotation() : ""));
}

void SessionsListSidebarViewController::makeCellView(int row) {
    auto* cell = new SessionsListTableCellView;
    fillCell(*cell, items_[static_cast<size_t>(row)]);
    cell->updateTitleTextFieldConstraint();
    connect(cell->closeButton(), &QToolButton::clicked, this,
            [this, button = cell->closeButton()] { closeSidebarItem(button); });
    tableView_->setIndexWidget(model_->index(row, 0), cell);
}

void SessionsListSidebarViewController::closeSidebarItem(QToolButton* sender) {
    auto* cell = sender ? qobject_cast<SessionsListTableCellView*>(sender->parentWidget()) : nullptr;
    if (!cell) return;
    const int row = tableView_->rowAt(cell->geometry().center().y());
    if (row >= 0 && delegate_) delegate_->closeSidebarItemAtIndex(row);
}

std::unique_ptr<QMimeData>
SessionsListSidebarViewController::writeRowsWithIndexes(const std::vector<int>& rows) const {
    auto data = std::make_unique<QMimeData>();
    if (!rows.empty())
        data->setData(QString::fromLatin1(SessionsListSidebarDraggedType), QByteArray::number(rows.front()));
    return data;
}

bool SessionsListSidebarViewController::validateDrop(const QMimeData& data, const QObject* source) const {
    return source == tableView_ && data.hasFormat(QString::fromLatin1(SessionsListSidebarDraggedType));
}

bool SessionsListSidebarViewController::acceptDrop(const QMimeData& data, int row, const QObject* source) {
    if (!validateDrop(data, source)) return false;
    bool ok = false;
    const int from = data.data(QString::fromLatin1(SessionsListSidebarDraggedType)).toInt(&ok);
    const int count = static_cast<int>(items_.size());
    if (!ok || from < 0 || from >= count || row < 0 || row > count) return false;
    // The row keeps its selection and cell view through the move.
    if (row != from && row != from + 1) model_->move(from, row);
    if (delegate_) delegate_->rowDidMovedAtIndex(from, row);
    return true;
}
