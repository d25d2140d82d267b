// The search side of the sidebar: searches through the delegate, the
// results toolbar, and the sheet that adds, edits or deletes a smart group.
#include "Halvex/Views/VySSHSidebarViewController.h"

#include "Halvex/Views/VyLayoutConstraint.h"
#include "Halvex/Views/VySidebarTableModel.h"
#include "Halvex/Views/VySmartSearchField.h"

#include <QLabel>
#include <QPushButton>

namespace {

constexpr double kIconShownLeading = 11.0;
constexpr double kIconHiddenLeading = -27.0;
constexpr double kResultLeadingWithIcon = 10.0;
constexpr double kResultLeadingWithoutIcon = 25.0;

} // namespace

void VySSHSidebarViewController::actionSearch(const QString& text) {
    updateTableViewDisplayingItems(delegate_ ? delegate_->vysb_filteringItemsWithText(text) : QVariantList());
    popupSmartGroupToolbar(text);
}

void VySSHSidebarViewController::actionSearchFieldDidChange(const QString& text) {
    actionSearch(text);
}

void VySSHSidebarViewController::actionCancelButtonClicked(QObject*) {
    updateTableViewDisplayingItems(allContentItems());
    dismissSmartGroupToolbar();
}

VySmartGroupList VySSHSidebarViewController::actionUpdateSmartGroups() {
    reloadSmartGroups();
    return smartGroups_;
}

VySmartGroupList VySSHSidebarViewController::allSmartGroups() {
    return actionUpdateSmartGroups();
}

qsizetype VySSHSidebarViewController::smartGroupsCount() {
    return allSmartGroups().size();
}

void VySSHSidebarViewController::actionNewSmartGroups() {
    popupSmartGroupAddingPanel();
}

void VySSHSidebarViewController::actionImportSmartGroups() {
    if (delegate_) delegate_->vysb_importSmartGroups();
}

void VySSHSidebarViewController::actionExportSmartGroups() {
    if (delegate_) delegate_->vysb_exportSmartGroups();
}

void VySSHSidebarViewController::actionKeywordsDidChange(const QString& text) {
    gotoSmartGroup(text);
}

int VySSHSidebarViewController::indexOfSmartGroupWithSearchingText(const QString& text) const {
    return static_cast<int>(vyIndexOfSmartGroupWithSearchText(smartGroups_, text));
}

VySmartGroup VySSHSidebarViewController::smartGroupWithSearchingText(const QString& text) const {
    const int index = indexOfSmartGroupWithSearchingText(text);
    return index < 0 ? VySmartGroup() : smartGroups_[index];
}

int VySSHSidebarViewController::addSmartGroup(const VySmartGroup& group) {
    smartGroups_.append(group);
    if (searchField_) popupSmartGroupToolbar(searchField_->text());
    saveSmartGroups();
    return static_cast<int>(smartGroups_.size()) - 1;
}

void VySSHSidebarViewController::removeSmartGroupAtIndex(int index) {
    if (index < 0 || index >= smartGroups_.size()) return;
    smartGroups_.removeAt(index);
    if (searchField_) popupSmartGroupToolbar(searchField_->text());
    saveSmartGroups();
}

int VySSHSidebarViewController::replaceSmartGroupAtIndex(int index, const VySmartGroup& group) {
    if (index < 0 || index >= smartGroups_.size()) return -1;
    smartGroups_[index] = group;
    if (searchField_) popupSmartGroupToolbar(searchField_->text());
    saveSmartGroups();
    return index;
}

void VySSHSidebarViewController::gotoSmartGroup(const QString& text) {
    view();
    searchField_->setText(text);
    actionSearch(text);
}

void VySSHSidebarViewController::saveNEditButtonClicked() {
    if (saveNEditButton_ && saveNEditButton_->text() == tr("Save"))
        popupSmartGroupAddingPanel();
    else
        popupSmartGroupEditingPanel();
}

void VySSHSidebarViewController::activateSearchField() {
    view();
    searchField_->setFocus(Qt::OtherFocusReason);
}

void VySSHSidebarViewController::updateTableViewDisplayingItems(const QVariantList& items) {
    view();
    RowChange change(*this);
    // 1. Rows whose entry is not in the result go.
    std::vector<int> removedRows;
    for (int row = 0; row < displayingItems_.size(); ++row)
        if (!items.contains(displayingItems_[row])) removedRows.push_back(row);
    for (auto it = removedRows.rbegin(); it != removedRows.rend(); ++it)
        displayingItems_.removeAt(*it);

    // 2. The result's new entries go in at their content-ordered places; the
    // cursor never moves back, so the recorded rows are final positions.
    std::vector<int> insertedRows;
    int cursor = 0;
    for (const QVariant& entry : items) {
        if (displayingItems_.contains(entry)) continue;
        const qsizetype contentIndex = contentItems_.indexOf(entry);
        while (cursor < displayingItems_.size() &&
               contentItems_.indexOf(displayingItems_[cursor]) <= contentIndex)
            ++cursor;
        displayingItems_.insert(cursor, entry);
        insertedRows.push_back(cursor);
        ++cursor;
    }

    // 3. The table takes both in one batch.
    VySidebarTableModel* rows = tableView_->rowsModel();
    tableView_->beginUpdates();
    for (auto it = removedRows.rbegin(); it != removedRows.rend(); ++it)
        rows->removeRow(*it);
    for (int row : insertedRows)
        rows->insertRow(row, displayingItems_[row]);
    tableView_->endUpdates();
    selectOneAtLeast();
}

void VySSHSidebarViewController::popupSmartGroupToolbar(const QString& text) {
    view();
    if (!vyTextHasWords(text)) {
        dismissSmartGroupToolbar();
        return;
    }
    const qsizetype count = displayingItemsCount();
    QString line = count == 1  ? tr("1 tunnel found")
                   : count > 1 ? tr("%1 tunnels found").arg(count)
                               : tr("Sorry, no tunnel matched.");
    const int groupIndex = indexOfSmartGroupWithSearchingText(text);
    if (groupIndex >= 0) line = vySmartGroupName(smartGroups_[groupIndex]);
    searchingResultTextField_->setText(line);

    const bool groupMatched = groupIndex >= 0;
    if (topSpaceOfSmartGroupToolbar_->constant() != 0) {
        setSmartGroupIconShown(groupMatched, false);
        topSpaceOfSmartGroupToolbar_->animateConstant(0);
    } else {
        setSmartGroupIconShown(groupMatched, true);
    }
}

void VySSHSidebarViewController::setSmartGroupIconShown(bool shown, bool animated) {
    const double icon = shown ? kIconShownLeading : kIconHiddenLeading;
    const double result = shown ? kResultLeadingWithIcon : kResultLeadingWithoutIcon;
    if (animated) {
        leadingSpaceOfSmartGroupIcon_->animateConstant(icon);
        leadingSpaceOfSearchingResult_->animateConstant(result);
    } else {
        leadingSpaceOfSmartGroupIcon_->setConstant(icon);
        leadingSpaceOfSearchingResult_->setConstant(result);
    }
    saveNEditButton_->setText(shown ? tr("Edit") : tr("Save"));
    layoutView();
}

void VySSHSidebarViewController::dismissSmartGroupToolbar() {
    view();
    topSpaceOfSmartGroupToolbar_->animateConstant(-smartGroupToolbarView_->height());
}

void VySSHSidebarViewController::openSmartGroupPanel(
    const QString& name, const QString& keywords, bool editing,
    std::function<void(VySmartGroupEditingPanelController&, int)> ended) {
    // One sheet at a time.
    if (smartGroupEditingPanel_) return;
    auto* panel = new VySmartGroupEditingPanelController(name, keywords, editing, this);
    panel->setDelegate(this);
    smartGroupEditingPanel_ = panel;
    panel->beginSheet(view_ ? view_->window() : nullptr, [this, panel, ended](int code) {
        panel->setDelegate(nullptr);
        ended(*panel, code);
        if (smartGroupEditingPanel_ == panel) smartGroupEditingPanel_ = nullptr;
        panel->deleteLater();
    });
}

void VySSHSidebarViewController::popupSmartGroupAddingPanel() {
    view();
    const QString text = searchField_->text();
    const bool hasWords = vyTextHasWords(text);
    openSmartGroupPanel(hasWords ? text : tr("New Smart Group"), hasWords ? text : QString(), false,
                        [this](VySmartGroupEditingPanelController& panel, int code) {
                            if (code != VySmartGroupEditingPanelController::SaveCode) return;
                            addSmartGroup({{kSmartGroupName, panel.smartGroupName()},
                                           {kSmartGroupSearchText, panel.keywords()}});
                        });
}

void VySSHSidebarViewController::popupSmartGroupEditingPanel() {
    view();
    const QString text = searchField_->text();
    if (!vyTextHasWords(text)) return;
    const VySmartGroup group = smartGroupWithSearchingText(text);
    if (group.isEmpty()) return;
    openSmartGroupPanel(vySmartGroupName(group), text, true,
                        [this, text](VySmartGroupEditingPanelController& panel, int code) {
                            // The group as it stands now: the list may have changed meanwhile.
                            const int index = indexOfSmartGroupWithSearchingText(text);
                            if (index < 0) return;
                            if (code == VySmartGroupEditingPanelController::SaveCode)
                                replaceSmartGroupAtIndex(index, {{kSmartGroupName, panel.smartGroupName()},
                                                                 {kSmartGroupSearchText, panel.keywords()}});
                            else if (code == VySmartGroupEditingPanelController::DeleteCode)
                                removeSmartGroupAtIndex(index);
                        });
}
