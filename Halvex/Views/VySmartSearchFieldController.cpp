#include "Halvex/Views/VySmartSearchFieldController.h"

#include "Halvex/Views/VySmartSearchField.h"

#include <QLabel>
#include <QPushButton>
#include <QWidgetAction>

namespace {

constexpr int kMaximumRecents = 7;

// The view of a smart-group item, or null for any other item.
VySmartGroupItemView* smartGroupItemView(QAction* item) {
    auto* widgetItem = qobject_cast<QWidgetAction*>(item);
    return widgetItem ? qobject_cast<VySmartGroupItemView*>(widgetItem->defaultWidget()) : nullptr;
}

QWidgetAction* viewItem(QWidget* view, QObject* parent) {
    auto* item = new QWidgetAction(parent);
    item->setDefaultWidget(view);
    return item;
}

} // namespace

VySmartSearchFieldController::VySmartSearchFieldController(VySmartSearchField* searchField, QObject* parent)
    : QObject(parent), searchField_(searchField) {
    setupSmartGroupMenu(searchField);
    connect(searchField, &VySmartSearchField::searchAction, this,
            &VySmartSearchFieldController::searchFieldAction);
    connect(searchField, &VySmartSearchField::textDidChange, this,
            &VySmartSearchFieldController::controlTextDidChange);
    connect(searchField, &VySmartSearchField::cancelButtonClicked, this,
            [this] { cancelButtonAction(searchField_ ? searchField_->cancelButton() : nullptr); });
}

VySmartSearchFieldController::~VySmartSearchFieldController() {
    if (searchMenu_) {
        searchMenu_->setDelegate(nullptr);
        searchMenu_->setItemValidator(nullptr);
    }
    if (searchField_ && searchField_->cell()->searchMenuTemplate())
        searchField_->cell()->searchMenuTemplate()->setItemValidator(nullptr);
}

VySectionTitleView* VySmartSearchFieldController::sectionTitleViewWithTitle(const QString& title) {
    auto* view = new VySectionTitleView;
    view->sectionTitle()->setText(title);
    return view;
}

void VySmartSearchFieldController::setupSmartGroupMenu(VySmartSearchField* field) {
    auto* menu = new VyMenu(tr("Smart Group Menu"), field);
    menu->setObjectName(QStringLiteral("searchMenu"));
    menu->setAutoenablesItems(true);
    // The field's actions reach this controller, which validates its items.
    menu->setItemValidator(this);

    recentsTitleView_ = sectionTitleViewWithTitle(tr("Recent Searches"));
    QAction* recentsTitle = viewItem(recentsTitleView_, menu);
    VyMenu::setTag(recentsTitle, VySmartSearchFieldCell::RecentsTitleMenuItemTag);
    menu->addAction(recentsTitle);

    noRecentsTitleView_ = sectionTitleViewWithTitle(tr("No recent searches"));
    QAction* noRecents = viewItem(noRecentsTitleView_, menu);
    VyMenu::setTag(noRecents, VySmartSearchFieldCell::NoRecentsMenuItemTag);
    menu->addAction(noRecents);

    QAction* recents = menu->addAction(tr("Recents"));
    VyMenu::setTag(recents, VySmartSearchFieldCell::RecentsMenuItemTag);

    VyMenu::setTag(menu->addSeparator(), VySmartSearchFieldCell::ClearRecentsMenuItemTag);
    QAction* clear = menu->addAction(tr("Clear Recent Searches"));
    VyMenu::setTag(clear, VySmartSearchFieldCell::ClearRecentsMenuItemTag);
    connect(clear, &QAction::triggered, field, [field] { field->cell()->setRecentSearches({}); });

    menu->addSeparator();
    smartGroupsTitleView_ = sectionTitleViewWithTitle(tr("Smart Groups"));
    menu->addAction(viewItem(smartGroupsTitleView_, menu));

    QAction* placeholder = menu->addAction(tr("Conected Tunnels"));
    placeholder->setVisible(false);
    connect(placeholder, &QAction::triggered, this, &VySmartSearchFieldController::placeholderMenuItemAction);

    field->cell()->setMaximumRecents(kMaximumRecents);
    field->cell()->setSearchMenuTemplate(menu);
}

void VySmartSearchFieldController::searchFieldAction() {
    if (searchField_) actionSearchWithText(searchField_->text());
}

void VySmartSearchFieldController::actionSearchWithText(const QString& text) {
    if (text.isEmpty()) return;
    if (delegate_) delegate_->actionSearch(text);
}

void VySmartSearchFieldController::controlTextDidChange() {
    if (delegate_ && searchField_) delegate_->actionSearchFieldDidChange(searchField_->text());
}

void VySmartSearchFieldController::cancelButtonAction(QObject* sender) {
    // The field is empty before anyone hears of the cancel.
    if (searchField_) searchField_->setText(QString());
    if (delegate_) delegate_->actionCancelButtonClicked(sender);
}

VySmartGroupList VySmartSearchFieldController::actionUpdateSmartGroups() {
    return delegate_ ? delegate_->actionUpdateSmartGroups() : VySmartGroupList();
}

void VySmartSearchFieldController::updateSearchFieldNTrigerSearch(const QString& text) {
    if (searchField_) {
        searchField_->setText(text);
        actionSearchWithText(searchField_->text());
    }
    if (searchMenu_) searchMenu_->cancelTrackingWithoutAnimation();
}

void VySmartSearchFieldController::newSmartGroupAction() {
    if (delegate_) delegate_->actionNewSmartGroups();
}

void VySmartSearchFieldController::importSmartGroupsAction() {
    if (delegate_) delegate_->actionImportSmartGroups();
}

void VySmartSearchFieldController::exportSmartGroupsAction() {
    if (delegate_) delegate_->actionExportSmartGroups();
}

void VySmartSearchFieldController::updateSmartGroupMenuItems(VyMenu& menu) {
    for (QAction* item : menu.itemsWithTag(kSmartGroupItemVolatileTag)) {
        menu.removeAction(item);
        item->deleteLater();
    }
    const VySmartGroupList groups = actionUpdateSmartGroups();
    for (const VySmartGroup& group : groups) {
        VySmartGroupItemViewController controller;
        VySmartGroupItemView* view = controller.view();
        view->setDelegate(this);
        view->smartGroupName()->setText(vySmartGroupName(group));
        view->searchText()->setText(vySmartGroupSearchText(group));
        view->hitCountIndicator()->setText(QString::number(vySmartGroupHitCount(group)));
        view->hitCountIndicator()->setVisible(true);
        QWidgetAction* item = viewItem(view, &menu);
        item->setText(tr("Smart Group Item"));
        VyMenu::setTag(item, kSmartGroupItemVolatileTag);
        connect(item, &QAction::triggered, this, &VySmartSearchFieldController::placeholderMenuItemAction);
        menu.addAction(item);
    }
    auto add = [&](const QString& title, void (VySmartSearchFieldController::*action)()) {
        QAction* item = menu.addAction(title);
        VyMenu::setTag(item, kSmartGroupItemVolatileTag);
        connect(item, &QAction::triggered, this, action);
        return item;
    };
    VyMenu::setTag(menu.addSeparator(), kSmartGroupItemVolatileTag);
    add(tr("New Smart Group…"), &VySmartSearchFieldController::newSmartGroupAction)
        ->setObjectName(QStringLiteral("newSmartGroupItem"));
    add(tr("Import Smart Groups…"), &VySmartSearchFieldController::importSmartGroupsAction)
        ->setObjectName(QStringLiteral("importSmartGroupsItem"));
    QAction* exportItem =
        add(tr("Export All Smart Groups…"), &VySmartSearchFieldController::exportSmartGroupsAction);
    exportItem->setObjectName(QStringLiteral("exportSmartGroupsItem"));
    exportItem->setEnabled(!groups.isEmpty());
}

void VySmartSearchFieldController::menuNeedsUpdate(VyMenu& menu) {
    updateSmartGroupMenuItems(menu);
}

void VySmartSearchFieldController::menuDidClose(VyMenu& menu) {
    QAction* highlighted = menu.highlightedItem();
    updateItemHighlights(menu, nullptr);
    if (VyMenu::tag(highlighted) != kSmartGroupItemVolatileTag) return;
    VySmartGroupItemView* view = smartGroupItemView(highlighted);
    if (view && !view->searchText()->text().isEmpty())
        updateSearchFieldNTrigerSearch(view->searchText()->text());
}

void VySmartSearchFieldController::updateItemHighlights(VyMenu& menu, QAction* highlighted) {
    for (QAction* item : menu.itemsWithTag(kSmartGroupItemVolatileTag))
        if (VySmartGroupItemView* view = smartGroupItemView(item)) view->setHighlighted(item == highlighted);
}

bool VySmartSearchFieldController::validateMenuItem(QAction* item) {
    if (!searchMenu_) {
        for (QObject* owner : item->associatedObjects()) {
            auto* menu = qobject_cast<VyMenu*>(owner);
            if (!menu || menu->delegate()) continue;
            menu->setDelegate(this);
            searchMenu_ = menu;
            connect(menu, &QMenu::hovered, this, [this](QAction* hovered) {
                if (searchMenu_) updateItemHighlights(*searchMenu_, hovered);
            });
            updateSmartGroupMenuItems(*menu);
            break;
        }
    }
    if (item->objectName() == QLatin1String("exportSmartGroupsItem"))
        return !actionUpdateSmartGroups().isEmpty();
    return true;
}
