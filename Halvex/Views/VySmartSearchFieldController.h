#pragma once

#include "Halvex/Views/VyMenu.h"
#include "Halvex/Views/VySmartGroup.h"
#include "Halvex/Views/VySmartGroupItemView.h"
#include "Halvex/Views/VySmartSearchField.h"

#include <QObject>
#include <QPointer>

class VySectionTitleView;

// What the search field's controller reports. Every operation is optional:
// the defaults do nothing and supply no smart groups.
class VySmartSearchFieldControllerDelegate {
public:
    virtual ~VySmartSearchFieldControllerDelegate() = default;
    virtual void actionSearch(const QString&) {}
    virtual void actionSearchFieldDidChange(const QString&) {}
    virtual void actionCancelButtonClicked(QObject* /*sender*/) {}
    virtual VySmartGroupList actionUpdateSmartGroups() { return {}; }
    virtual void actionNewSmartGroups() {}
    virtual void actionImportSmartGroups() {}
    virtual void actionExportSmartGroups() {}
};

// Drives one search field: its search and cancel actions and typing become
// delegate calls, and its search menu carries, below the recent searches,
// the delegate's smart groups with their hit counts and the items to make,
// import and export smart groups, rebuilt on every opening.
class VySmartSearchFieldController : public QObject,
                                     public VyMenuDelegate,
                                     public VyMenuItemValidation,
                                     public VySmartGroupItemViewDelegate {
    Q_OBJECT

public:
    explicit VySmartSearchFieldController(VySmartSearchField* searchField, QObject* parent = nullptr);
    ~VySmartSearchFieldController() override;

    VySmartSearchField* searchField() const { return searchField_; }
    VySmartSearchFieldControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(VySmartSearchFieldControllerDelegate* delegate) { delegate_ = delegate; }
    // The menu adopted on its first validation; null until then.
    VyMenu* searchMenu() const { return searchMenu_; }

    VySectionTitleView* sectionTitleViewWithTitle(const QString& title);

    // Field actions.
    void searchFieldAction();
    void actionSearchWithText(const QString& text);
    void controlTextDidChange();
    void controlTextDidBeginEditing() {}
    void controlTextDidEndEditing() {}
    bool controlTextShouldBeginEditing() { return true; }
    void cancelButtonAction(QObject* sender);

    VySmartGroupList actionUpdateSmartGroups();
    void updateSearchFieldNTrigerSearch(const QString& text) override;

    // Menu actions.
    void newSmartGroupAction();
    void importSmartGroupsAction();
    void exportSmartGroupsAction();
    void placeholderMenuItemAction() {}

    // Rebuilds the smart-group items of `menu`.
    void updateSmartGroupMenuItems(VyMenu& menu);

    // Menu delegate and validation.
    void menuNeedsUpdate(VyMenu& menu) override;
    void menuDidClose(VyMenu& menu) override;
    int numberOfItemsInMenu(VyMenu&) override { return 10; }
    bool validateMenuItem(QAction* item) override;

private:
    void setupSmartGroupMenu(VySmartSearchField* field);
    void updateItemHighlights(VyMenu& menu, QAction* highlighted);

    QPointer<VySmartSearchField> searchField_;
    VySmartSearchFieldControllerDelegate* delegate_ = nullptr;
    QPointer<VyMenu> searchMenu_;
    QPointer<VySectionTitleView> recentsTitleView_;
    QPointer<VySectionTitleView> noRecentsTitleView_;
    QPointer<VySectionTitleView> smartGroupsTitleView_;
};
