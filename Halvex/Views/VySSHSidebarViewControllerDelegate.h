#pragma once

#include "Halvex/Views/VySmartGroup.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

// What a host supplies to the entry-list sidebar. The sidebar keeps no data
// of its own: it fetches entries and smart groups here and hands every change
// straight back. Entries are any values the host keeps (a registered type
// with operator==, a dictionary, a string); the sidebar looks them up by
// equality. Every operation is called unconditionally. Main thread only.
class VySSHSidebarViewControllerDelegate {
public:
    virtual ~VySSHSidebarViewControllerDelegate() = default;

    // All entries, in display order.
    virtual QVariantList vysb_fetchTableContent() = 0;
    // Store the entries in this order (after every insertion, replacement,
    // removal and drop).
    virtual void vysb_saveTableContent(const QVariantList& items) = 0;
    // All smart groups; asked again whenever the menu or a count needs them.
    virtual VySmartGroupList vysb_fetchSmartGroups() = 0;
    virtual void vysb_saveSmartGroups(const VySmartGroupList& groups) = 0;
    // The entries matching `text`, each equal to an entry of the content, in
    // content order.
    virtual QVariantList vysb_filteringItemsWithText(const QString& text) = 0;
    // A row was double-clicked: act on the selected entries.
    virtual void vysb_tableDoubleClicked(const QVariantList& items) = 0;
    // An entry's name was edited in its row: take over the edited value
    // (the sidebar's entries already hold it).
    virtual void vysb_tableDidEndEditing() = 0;
    // The selection changed (and once when the view loads). An item that is
    // nil is an invalid QVariant.
    virtual void vysb_tableSelectionDidChange(const QVariantList& selectedItems,
                                              const QVariant& lastSelectedItem,
                                              const QVariant& beforeLastSelectedItem) = 0;
    // Read smart groups from a file of the host's choice and store them.
    virtual void vysb_importSmartGroups() = 0;
    // Write the smart groups to a file of the host's choice.
    virtual void vysb_exportSmartGroups() = 0;
};
