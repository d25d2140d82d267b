#pragma once

#include "Halvex/Views/VySSHSidebarViewControllerDelegate.h"
#include "Halvex/Views/VySidebarTableView.h"
#include "Halvex/Views/VySmartGroupEditingPanelController.h"
#include "Halvex/Views/VySmartSearchFieldController.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

#include <memory>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class VyLayoutConstraint;
class VySmartSearchField;

// The drag type of the sidebar's rows: a JSON array of the dragged rows,
// ascending.
extern const QString kSSHSidebarDraggedType;

// A reusable sidebar for a host's entries: a search field, a results toolbar
// under it, and a table of the entries with drag-and-drop reordering, smart
// groups (saved searches) in the search field's menu. It owns no data: it
// fetches entries and smart groups from its delegate and hands every change
// straight back. Rows are shown rows (all entries, or a search's result, in
// content order); index sets are ascending row lists. "Not found" is -1.
// Main thread only.
//
// Object names: "searchField", "smartGroupToolbarView", "smartGroupIconImageView",
// "searchingResultTextField", "saveNEditButton", "tableView".
class VySSHSidebarViewController : public QObject,
                                   public VySmartSearchFieldControllerDelegate,
                                   public VySmartGroupEditingPanelControllerDelegate,
                                   public VySidebarTableDragSource {
    Q_OBJECT

public:
    explicit VySSHSidebarViewController(VySSHSidebarViewControllerDelegate* delegate,
                                        QObject* parent = nullptr);
    ~VySSHSidebarViewController() override;

    VySSHSidebarViewControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(VySSHSidebarViewControllerDelegate* delegate) { delegate_ = delegate; }

    // The sidebar's view, loaded (with the data) on first use. It may be
    // placed in any window; it goes when the sidebar goes.
    QWidget* view();
    bool isViewLoaded() const { return view_ != nullptr; }

    const QVariantList& contentItems() const { return contentItems_; }
    const QVariantList& displayingItems() const { return displayingItems_; }
    const VySmartGroupList& smartGroups() const { return smartGroups_; }
    const QVariant& lastSelectedItem() const { return lastSelectedItem_; }
    VySmartSearchFieldController* searchFieldController() const { return searchFieldController_.get(); }
    VySmartGroupEditingPanelController* smartGroupEditingPanel() const { return smartGroupEditingPanel_; }

    // Outlets (null until the view loads).
    VySmartSearchField* searchField() const { return searchField_; }
    VySidebarTableView* tableView() const { return tableView_; }
    QWidget* smartGroupToolbarView() const { return smartGroupToolbarView_; }
    QLabel* smartGroupIconImageView() const { return smartGroupIconImageView_; }
    QLabel* searchingResultTextField() const { return searchingResultTextField_; }
    QPushButton* saveNEditButton() const { return saveNEditButton_; }
    VyLayoutConstraint* topSpaceOfSmartGroupToolbar() const { return topSpaceOfSmartGroupToolbar_; }
    VyLayoutConstraint* leadingSpaceOfSmartGroupIcon() const { return leadingSpaceOfSmartGroupIcon_; }
    VyLayoutConstraint* leadingSpaceOfSearchingResult() const { return leadingSpaceOfSearchingResult_; }

    // Loading and saving through the delegate.
    void reloadTableContent();
    void saveTableContent();
    void reloadSmartGroups();
    void saveSmartGroups();

    // The table's context menu (not owned).
    void setSidebarMenu(QMenu* menu);

    qsizetype contentItemsCount() const { return contentItems_.size(); }
    QVariantList allContentItems() const { return contentItems_; }
    qsizetype displayingItemsCount() const { return displayingItems_.size(); }
    QVariantList allDisplayingItems() const { return displayingItems_; }

    // The shown entry of a row; invalid when out of range.
    QVariant itemAtIndex(int row) const;
    QVariantList itemsAtIndexes(const std::vector<int>& rows) const;
    int indexOfItem(const QVariant& entry) const;
    // The rows of those entries that are shown.
    std::vector<int> indexesOfItems(const QVariantList& entries) const;

    std::vector<int> focusedIndexes() const;
    QVariantList focusedItems() const;
    std::vector<int> selectedIndexes() const;
    QVariantList selectedItems() const;
    int selectedIndex() const;
    QVariant selectedItem() const;

    // Clears the search, shows every entry and selects this one.
    void gotoItem(const QVariant& entry);
    void tableViewDoubleAction();

    // Appends to the shown rows, unselected; answers the row.
    int addItem(const QVariant& entry);
    // Inserts after the last focused row (at row 0 when none) and selects it.
    int newItem(const QVariant& entry);
    void insertItemAtIndex(int row, const QVariant& entry, bool select);
    void replaceItemAtIndex(int row, const QVariant& entry);
    void removeItemAtIndex(int row);
    void removeItemsAtIndexes(const std::vector<int>& rows);

    // Ignored for a row that is not shown; else selects only it, scrolls to
    // it and gives the table the keyboard.
    void setSelectionIndex(int row);
    void setSelectionIndexes(const std::vector<int>& rows);
    void selectOneAtLeast();

    // Table data source.
    int numberOfRowsInTableView() const { return static_cast<int>(displayingItems_.size()); }
    QVariant objectValueForRow(int row) const { return itemAtIndex(row); }
    void controlTextDidEndEditing();
    void tableViewSelectionDidChange();

    // Shown rows and content indexes.
    int contentIndexByDisplayingIndex(int row) const;
    std::vector<int> contentIndexesByDisplayingIndexes(const std::vector<int>& rows) const;
    int insertingIndexForContentItems(int row) const;

    // Drags within the table.
    bool tableViewWriteRows(const std::vector<int>& rows, QMimeData& data) override;
    Qt::DropAction tableViewValidateDrop(const QMimeData& data, const QObject* source, int& row,
                                         VyTableViewDropOperation& operation) override;
    bool tableViewAcceptDrop(const QMimeData& data, int row, VyTableViewDropOperation operation) override;
    void moveTableViewRowsAtIndexes(const std::vector<int>& rows, int target);

    // Smart search.
    void actionSearch(const QString& text) override;
    void actionSearchFieldDidChange(const QString& text) override;
    void actionCancelButtonClicked(QObject* sender) override;
    VySmartGroupList actionUpdateSmartGroups() override;
    VySmartGroupList allSmartGroups();
    qsizetype smartGroupsCount();
    void actionNewSmartGroups() override;
    void actionImportSmartGroups() override;
    void actionExportSmartGroups() override;
    void actionKeywordsDidChange(const QString& text) override;

    int indexOfSmartGroupWithSearchingText(const QString& text) const;
    VySmartGroup smartGroupWithSearchingText(const QString& text) const;
    int addSmartGroup(const VySmartGroup& group);
    void removeSmartGroupAtIndex(int index);
    int replaceSmartGroupAtIndex(int index, const VySmartGroup& group);

    void gotoSmartGroup(const QString& text);
    void saveNEditButtonClicked();
    void activateSearchField();

    // Shows the entries of a search result, removing and inserting rows in
    // one batch, in content order.
    void updateTableViewDisplayingItems(const QVariantList& items);
    void popupSmartGroupToolbar(const QString& text);
    void dismissSmartGroupToolbar();
    void popupSmartGroupAddingPanel();
    void popupSmartGroupEditingPanel();

private:
    // While the lists and the table change together, selection changes are
    // reported once, after both agree again.
    class RowChange {
    public:
        explicit RowChange(VySSHSidebarViewController& sidebar) : sidebar_(sidebar) {
            ++sidebar_.rowChangeDepth_;
        }
        ~RowChange() {
            if (--sidebar_.rowChangeDepth_ > 0 || !sidebar_.selectionChangedDuringRowChange_) return;
            sidebar_.selectionChangedDuringRowChange_ = false;
            sidebar_.tableViewSelectionDidChange();
        }
        RowChange(const RowChange&) = delete;
        RowChange& operator=(const RowChange&) = delete;

    private:
        VySSHSidebarViewController& sidebar_;
    };

    void loadView();
    void layoutView();
    void setSmartGroupIconShown(bool shown, bool animated);
    void rowNameDidEndEditing(int row, const QString& name);
    void openSmartGroupPanel(const QString& name, const QString& keywords, bool editing,
                             std::function<void(VySmartGroupEditingPanelController&, int)> ended);
    std::vector<int> shownRows(const std::vector<int>& rows) const;

    VySSHSidebarViewControllerDelegate* delegate_;
    QVariantList contentItems_;
    QVariantList displayingItems_;
    VySmartGroupList smartGroups_;
    QVariant lastSelectedItem_;
    int rowChangeDepth_ = 0;
    bool selectionChangedDuringRowChange_ = false;
    std::unique_ptr<VySmartSearchFieldController> searchFieldController_;
    QPointer<VySmartGroupEditingPanelController> smartGroupEditingPanel_;

    QPointer<QWidget> view_;
    VySmartSearchField* searchField_ = nullptr;
    VySidebarTableView* tableView_ = nullptr;
    QWidget* toolbarClip_ = nullptr;
    QWidget* smartGroupToolbarView_ = nullptr;
    QLabel* smartGroupIconImageView_ = nullptr;
    QLabel* searchingResultTextField_ = nullptr;
    QPushButton* saveNEditButton_ = nullptr;
    VyLayoutConstraint* topSpaceOfSmartGroupToolbar_ = nullptr;
    VyLayoutConstraint* leadingSpaceOfSmartGroupIcon_ = nullptr;
    VyLayoutConstraint* leadingSpaceOfSearchingResult_ = nullptr;
};
