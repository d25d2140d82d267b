#include "Halvex/Views/VySSHSidebarViewController.h"

#include "Halvex/Views/VyLayoutConstraint.h"
#include "Halvex/Views/VyPlainLabel.h"
#include "Halvex/Views/VySidebarTableModel.h"
#include "Halvex/Views/VySmartGroupItemView.h"
#include "Halvex/Views/VySmartSearchField.h"
#include "Wendle/Views/WendleWidgets.h"
#include "Wendle/WendleArrays.h"

#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <functional>

const QString kSSHSidebarDraggedType = QStringLiteral("com.brimble.SSHSidebarDraggedType");

namespace {

// The token of the table a drag came from, for drops that arrive without a
// source widget.
const QString kDraggedTableTokenType = kSSHSidebarDraggedType + QStringLiteral(".table");

constexpr int kToolbarHeight = 30;
constexpr int kIconSize = 16;
constexpr int kMargin = 8;

// The sidebar's view: places its parts by hand, following the sidebar's
// layout constraints.
class SidebarView : public QWidget {
public:
    std::function<void()> layout;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (layout) layout();
    }
};

template <class T>
bool moveVariants(QList<T>& list, const std::vector<int>& indexes, int target) {
    std::vector<T> array(list.begin(), list.end());
    std::vector<std::size_t> at(indexes.begin(), indexes.end());
    if (!moveObjectsAtIndexes(array, at, static_cast<std::size_t>(target))) return false;
    list = QList<T>(array.begin(), array.end());
    return true;
}

} // namespace

VySSHSidebarViewController::VySSHSidebarViewController(VySSHSidebarViewControllerDelegate* delegate,
                                                       QObject* parent)
    : QObject(parent), delegate_(delegate) {}

VySSHSidebarViewController::~VySSHSidebarViewController() {
    if (smartGroupEditingPanel_) {
        smartGroupEditingPanel_->setDelegate(nullptr);
        delete smartGroupEditingPanel_;
    }
    if (tableView_) tableView_->setDragSource(nullptr);
    searchFieldController_.reset();
    delete view_;
}

QWidget* VySSHSidebarViewController::view() {
    if (!view_) loadView();
    return view_;
}

void VySSHSidebarViewController::loadView() {
    auto* view = new SidebarView;
    view->setObjectName(QStringLiteral("sidebarView"));
    view_ = view;

    searchField_ = new VySmartSearchField(view);

    toolbarClip_ = new QWidget(view);
    smartGroupToolbarView_ = new QWidget(toolbarClip_);
    smartGroupToolbarView_->setObjectName(QStringLiteral("smartGroupToolbarView"));
    smartGroupToolbarView_->setAutoFillBackground(true);
    smartGroupIconImageView_ = new QLabel(smartGroupToolbarView_);
    smartGroupIconImageView_->setObjectName(QStringLiteral("smartGroupIconImageView"));
    smartGroupIconImageView_->setPixmap(
        vySmartGroupIcon(view->palette().color(QPalette::Highlight), kIconSize));
    searchingResultTextField_ = vyPlainLabel("searchingResultTextField", smartGroupToolbarView_);
    saveNEditButton_ = new QPushButton(tr("Save"), smartGroupToolbarView_);
    saveNEditButton_->setObjectName(QStringLiteral("saveNEditButton"));
    saveNEditButton_->setAutoDefault(false);
    connect(saveNEditButton_, &QPushButton::clicked, this,
            &VySSHSidebarViewController::saveNEditButtonClicked);

    tableView_ = new VySidebarTableView(view);
    topSpaceOfSmartGroupToolbar_ = new VyLayoutConstraint(-kToolbarHeight, this);
    leadingSpaceOfSmartGroupIcon_ = new VyLayoutConstraint(-27.0, this);
    leadingSpaceOfSearchingResult_ = new VyLayoutConstraint(25.0, this);
    for (VyLayoutConstraint* c :
         {topSpaceOfSmartGroupToolbar_, leadingSpaceOfSmartGroupIcon_, leadingSpaceOfSearchingResult_})
        connect(c, &VyLayoutConstraint::constantChanged, this, &VySSHSidebarViewController::layoutView);
    view->layout = [this] { layoutView(); };
    view->resize(260, 480);

    // The table's target and drags.
    connect(tableView_, &VySidebarTableView::doubleAction, this,
            &VySSHSidebarViewController::tableViewDoubleAction);
    connect(tableView_, &VySidebarTableView::rowNameDidEndEditing, this,
            &VySSHSidebarViewController::rowNameDidEndEditing);
    tableView_->setDragSource(this);
    wendle_trackClickedRow(tableView_);

    reloadSmartGroups();
    reloadTableContent();
    setSelectionIndex(0);
    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &VySSHSidebarViewController::tableViewSelectionDidChange);
    tableViewSelectionDidChange();

    searchFieldController_ = std::make_unique<VySmartSearchFieldController>(searchField_);
    searchFieldController_->setDelegate(this);
    dismissSmartGroupToolbar();
    layoutView();
}

void VySSHSidebarViewController::layoutView() {
    if (!view_) return;
    const int width = view_->width();
    const int fieldHeight = searchField_->sizeHint().height();
    searchField_->setGeometry(kMargin, kMargin, width - 2 * kMargin, fieldHeight);
    const int clipTop = kMargin + fieldHeight + kMargin / 2;
    const int top = static_cast<int>(topSpaceOfSmartGroupToolbar_->constant());
    const int shownHeight = std::clamp(kToolbarHeight + top, 0, kToolbarHeight);
    toolbarClip_->setGeometry(0, clipTop, width, shownHeight);
    smartGroupToolbarView_->setGeometry(0, top, width, kToolbarHeight);

    const int iconX = static_cast<int>(leadingSpaceOfSmartGroupIcon_->constant());
    smartGroupIconImageView_->setGeometry(iconX, (kToolbarHeight - kIconSize) / 2, kIconSize, kIconSize);
    const QSize buttonSize = saveNEditButton_->sizeHint();
    const int buttonX = width - kMargin - buttonSize.width();
    saveNEditButton_->setGeometry(buttonX, (kToolbarHeight - buttonSize.height()) / 2, buttonSize.width(),
                                  buttonSize.height());
    const int textX = iconX + kIconSize + static_cast<int>(leadingSpaceOfSearchingResult_->constant());
    searchingResultTextField_->setGeometry(textX, 0, std::max(0, buttonX - kMargin - textX), kToolbarHeight);

    const int tableTop = clipTop + shownHeight;
    tableView_->setGeometry(0, tableTop, width, std::max(0, view_->height() - tableTop));
}

void VySSHSidebarViewController::reloadTableContent() {
    RowChange change(*this);
    contentItems_ = delegate_ ? delegate_->vysb_fetchTableContent() : QVariantList();
    displayingItems_ = contentItems_;
    if (tableView_) tableView_->rowsModel()->reloadData(displayingItems_);
}

void VySSHSidebarViewController::saveTableContent() {
    if (delegate_) delegate_->vysb_saveTableContent(contentItems_);
}

void VySSHSidebarViewController::reloadSmartGroups() {
    smartGroups_ = delegate_ ? delegate_->vysb_fetchSmartGroups() : VySmartGroupList();
}

void VySSHSidebarViewController::saveSmartGroups() {
    if (delegate_) delegate_->vysb_saveSmartGroups(smartGroups_);
}

void VySSHSidebarViewController::setSidebarMenu(QMenu* menu) {
    view();
    tableView_->setMenu(menu);
}

QVariant VySSHSidebarViewController::itemAtIndex(int row) const {
    if (row < 0 || row >= displayingItems_.size()) return {};
    return displayingItems_[row];
}

QVariantList VySSHSidebarViewController::itemsAtIndexes(const std::vector<int>& rows) const {
    QVariantList items;
    for (int row : shownRows(rows))
        items.append(displayingItems_[row]);
    return items;
}

int VySSHSidebarViewController::indexOfItem(const QVariant& entry) const {
    return static_cast<int>(displayingItems_.indexOf(entry));
}

std::vector<int> VySSHSidebarViewController::indexesOfItems(const QVariantList& entries) const {
    std::vector<int> rows;
    for (const QVariant& entry : entries)
        if (const int row = indexOfItem(entry); row >= 0) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::vector<int> VySSHSidebarViewController::shownRows(const std::vector<int>& rows) const {
    std::vector<int> shown;
    for (int row : rows)
        if (row >= 0 && row < displayingItems_.size()) shown.push_back(row);
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    return shown;
}

std::vector<int> VySSHSidebarViewController::focusedIndexes() const {
    return tableView_ ? focusedRowIndexes(tableView_) : std::vector<int>();
}

QVariantList VySSHSidebarViewController::focusedItems() const {
    return itemsAtIndexes(focusedIndexes());
}

std::vector<int> VySSHSidebarViewController::selectedIndexes() const {
    return tableView_ ? tableView_->selectedRowIndexes() : std::vector<int>();
}

QVariantList VySSHSidebarViewController::selectedItems() const {
    return itemsAtIndexes(selectedIndexes());
}

int VySSHSidebarViewController::selectedIndex() const {
    return tableView_ ? tableView_->selectedRow() : -1;
}

QVariant VySSHSidebarViewController::selectedItem() const {
    return itemAtIndex(selectedIndex());
}

void VySSHSidebarViewController::gotoItem(const QVariant& entry) {
    view();
    searchField_->setText(QString());
    actionCancelButtonClicked(nullptr);
    setSelectionIndex(indexOfItem(entry));
}

void VySSHSidebarViewController::tableViewDoubleAction() {
    if (delegate_) delegate_->vysb_tableDoubleClicked(selectedItems());
}

int VySSHSidebarViewController::addItem(const QVariant& entry) {
    const int row = numberOfRowsInTableView();
    insertItemAtIndex(row, entry, false);
    return row;
}

int VySSHSidebarViewController::newItem(const QVariant& entry) {
    const std::vector<int> focused = focusedIndexes();
    const int row = focused.empty() ? 0 : focused.back() + 1;
    insertItemAtIndex(row, entry, true);
    return row;
}

void VySSHSidebarViewController::insertItemAtIndex(int row, const QVariant& entry, bool select) {
    view();
    RowChange change(*this);
    row = std::clamp(row, 0, numberOfRowsInTableView());
    contentItems_.insert(insertingIndexForContentItems(row), entry);
    displayingItems_.insert(row, entry);
    tableView_->rowsModel()->insertRow(row, entry);
    if (select) setSelectionIndex(row);
    saveTableContent();
}

void VySSHSidebarViewController::replaceItemAtIndex(int row, const QVariant& entry) {
    view();
    RowChange change(*this);
    if (row < 0 || row >= displayingItems_.size()) return;
    const int contentIndex = contentIndexByDisplayingIndex(row);
    if (contentIndex >= 0) contentItems_[contentIndex] = entry;
    displayingItems_[row] = entry;
    // The row shows the entry it now holds.
    tableView_->rowsModel()->reloadRow(row, entry);
    saveTableContent();
}

void VySSHSidebarViewController::removeItemAtIndex(int row) {
    view();
    RowChange change(*this);
    if (row < 0 || row >= displayingItems_.size()) return;
    const int contentIndex = contentIndexByDisplayingIndex(row);
    if (contentIndex >= 0) contentItems_.removeAt(contentIndex);
    displayingItems_.removeAt(row);
    tableView_->rowsModel()->removeRow(row);
    setSelectionIndex(row == 0 ? 0 : row - 1);
    saveTableContent();
}

void VySSHSidebarViewController::removeItemsAtIndexes(const std::vector<int>& rows) {
    view();
    RowChange change(*this);
    const std::vector<int> removed = shownRows(rows);
    if (removed.empty()) return;
    std::vector<int> contentIndexes = contentIndexesByDisplayingIndexes(removed);
    std::sort(contentIndexes.begin(), contentIndexes.end());
    for (auto it = contentIndexes.rbegin(); it != contentIndexes.rend(); ++it)
        contentItems_.removeAt(*it);
    tableView_->beginUpdates();
    for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
        displayingItems_.removeAt(*it);
        tableView_->rowsModel()->removeRow(*it);
    }
    tableView_->endUpdates();
    const int largest = removed.back();
    const int count = static_cast<int>(removed.size());
    // The removed rows were exactly the first rows: 0 through the largest.
    const bool leading = largest + 1 == count;
    setSelectionIndex(leading ? 0 : largest - count);
    saveTableContent();
}

void VySSHSidebarViewController::setSelectionIndex(int row) {
    if (row < 0 || row >= displayingItems_.size() || !tableView_) return;
    tableView_->selectRowIndexes({row});
    tableView_->scrollRowToVisible(row);
    tableView_->setFocus(Qt::OtherFocusReason);
}

void VySSHSidebarViewController::setSelectionIndexes(const std::vector<int>& rows) {
    if (!tableView_) return;
    const std::vector<int> shown = shownRows(rows);
    tableView_->selectRowIndexes(shown);
    if (!shown.empty()) tableView_->scrollRowToVisible(shown.back());
    tableView_->setFocus(Qt::OtherFocusReason);
}

void VySSHSidebarViewController::selectOneAtLeast() {
    if (!tableView_ || tableView_->selectedRow() >= 0 || displayingItems_.isEmpty()) return;
    tableView_->selectRowIndexes({0});
    tableView_->scrollRowToVisible(0);
}

void VySSHSidebarViewController::rowNameDidEndEditing(int row, const QString& name) {
    if (row < 0 || row >= displayingItems_.size()) return;
    const int contentIndex = contentIndexByDisplayingIndex(row);
    QVariant entry = displayingItems_[row];
    if (vyValueForKey(entry, QStringLiteral("name")).toString() != name &&
        vySetValueForKey(entry, QStringLiteral("name"), name)) {
        displayingItems_[row] = entry;
        if (contentIndex >= 0) contentItems_[contentIndex] = entry;
        tableView_->rowsModel()->reloadRow(row, entry);
    }
    controlTextDidEndEditing();
}

void VySSHSidebarViewController::controlTextDidEndEditing() {
    if (delegate_) delegate_->vysb_tableDidEndEditing();
}

void VySSHSidebarViewController::tableViewSelectionDidChange() {
    if (!tableView_) return;
    if (rowChangeDepth_ > 0) {
        selectionChangedDuringRowChange_ = true;
        return;
    }
    const std::vector<int> rows = tableView_->selectedRowIndexes();
    const QVariantList selected = itemsAtIndexes(rows);
    const QVariant previous = lastSelectedItem_;
    const int lastRow = tableView_->selectedRow();
    lastSelectedItem_ = itemAtIndex(lastRow);

    QVariant beforeLast;
    if (previous.isValid() && selected.contains(previous)) {
        beforeLast = previous;
    } else {
        // The last selected entry other than the new last-selected one.
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            if (*it == lastRow) continue;
            beforeLast = itemAtIndex(*it);
            break;
        }
    }
    if (delegate_) delegate_->vysb_tableSelectionDidChange(selected, lastSelectedItem_, beforeLast);
}

int VySSHSidebarViewController::contentIndexByDisplayingIndex(int row) const {
    const int n = static_cast<int>(displayingItems_.size());
    if (row >= 0 && row < n) return static_cast<int>(contentItems_.indexOf(displayingItems_[row]));
    if (row == n && n > 0) {
        const int last = static_cast<int>(contentItems_.indexOf(displayingItems_[n - 1]));
        return last < 0 ? -1 : last + 1;
    }
    return -1;
}

std::vector<int>
VySSHSidebarViewController::contentIndexesByDisplayingIndexes(const std::vector<int>& rows) const {
    std::vector<int> indexes;
    for (int row : rows)
        if (const int c = contentIndexByDisplayingIndex(row); c >= 0) indexes.push_back(c);
    return indexes;
}

int VySSHSidebarViewController::insertingIndexForContentItems(int row) const {
    if (row <= 0) return 0;
    const int previous = static_cast<int>(contentItems_.indexOf(displayingItems_[row - 1]));
    // An entry the content lacks (a host's mistake) puts the new one last.
    return previous < 0 ? static_cast<int>(contentItems_.size()) : previous + 1;
}

bool VySSHSidebarViewController::tableViewWriteRows(const std::vector<int>& rows, QMimeData& data) {
    QJsonArray array;
    for (int row : shownRows(rows))
        array.append(row);
    data.setData(kSSHSidebarDraggedType, QJsonDocument(array).toJson(QJsonDocument::Compact));
    if (tableView_) data.setData(kDraggedTableTokenType, tableView_->dragToken().toUtf8());
    return true;
}

Qt::DropAction VySSHSidebarViewController::tableViewValidateDrop(const QMimeData& data, const QObject* source,
                                                                 int& /*row*/,
                                                                 VyTableViewDropOperation& operation) {
    if (!tableView_ || !data.hasFormat(kSSHSidebarDraggedType)) return Qt::IgnoreAction;
    // Only this table's own rows may be dropped here. A drop without a source
    // (another program, a synthetic event) must carry this table's token.
    const bool ownTable =
        source ? source == tableView_ : data.data(kDraggedTableTokenType) == tableView_->dragToken().toUtf8();
    if (!ownTable) return Qt::IgnoreAction;
    operation = VyTableViewDropOperation::above;
    return Qt::MoveAction;
}

bool VySSHSidebarViewController::tableViewAcceptDrop(const QMimeData& data, int row,
                                                     VyTableViewDropOperation) {
    const QJsonDocument document = QJsonDocument::fromJson(data.data(kSSHSidebarDraggedType));
    if (!document.isArray()) return false;
    std::vector<int> rows;
    for (const QJsonValue& value : document.array()) {
        const auto number = static_cast<quint32>(value.toInteger());
        // Rows that are not shown (a stale or forged drag) are left out.
        if (number < static_cast<quint32>(displayingItems_.size())) rows.push_back(static_cast<int>(number));
    }
    rows = shownRows(rows);
    if (rows.empty()) return false;
    RowChange change(*this);
    const int target = std::clamp(row, 0, numberOfRowsInTableView());

    // Both mappings come before anything moves.
    const std::vector<int> contentIndexes = contentIndexesByDisplayingIndexes(rows);
    const int contentTarget = contentIndexByDisplayingIndex(target);
    if (contentTarget >= 0) moveVariants(contentItems_, contentIndexes, contentTarget);
    moveVariants(displayingItems_, rows, target);
    moveTableViewRowsAtIndexes(rows, target);
    saveTableContent();
    return true;
}

void VySSHSidebarViewController::moveTableViewRowsAtIndexes(const std::vector<int>& rows, int target) {
    if (tableView_) tableView_->moveRowsAtIndexesToIndex(rows, target);
}
