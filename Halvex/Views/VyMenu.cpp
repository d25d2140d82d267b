#include "Halvex/Views/VyMenu.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {
const char* const kTagProperty = "vyMenuItemTag";
}

VyMenu::VyMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {
    connect(this, &QMenu::aboutToShow, this, &VyMenu::prepareToOpen);
    connect(this, &QMenu::aboutToHide, this, [this] {
        if (delegate_) delegate_->menuDidClose(*this);
    });
    connect(this, &QMenu::hovered, this, [this](QAction* item) {
        if (delegate_) delegate_->menuWillHighlightItem(*this, item);
    });
}

void VyMenu::prepareToOpen() {
    if (delegate_) {
        delegate_->numberOfItemsInMenu(*this);
        delegate_->menuNeedsUpdate(*this);
        delegate_->menuWillOpen(*this);
    }
    if (autoenables_) validateItems();
}

void VyMenu::validateItems() {
    if (!validator_) return;
    // By index: a validation may rebuild part of the menu.
    for (qsizetype i = 0; i < actions().size(); ++i) {
        QAction* item = actions().at(i);
        if (item->isSeparator()) continue;
        item->setEnabled(validator_->validateMenuItem(item));
    }
}

void VyMenu::cancelTrackingWithoutAnimation() {
    setActiveAction(nullptr);
    hide();
}

int VyMenu::tag(const QAction* item) {
    return item ? item->property(kTagProperty).toInt() : 0;
}

void VyMenu::setTag(QAction* item, int tag) {
    item->setProperty(kTagProperty, tag);
}

QList<QAction*> VyMenu::itemsWithTag(int tag) const {
    QList<QAction*> found;
    for (QAction* item : actions())
        if (VyMenu::tag(item) == tag) found.append(item);
    return found;
}

void VyMenu::keyPressEvent(QKeyEvent* event) {
    // Dismissing chooses nothing, whatever was highlighted.
    if (event->key() == Qt::Key_Escape) setActiveAction(nullptr);
    QMenu::keyPressEvent(event);
}

void VyMenu::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) setActiveAction(nullptr);
    QMenu::mousePressEvent(event);
}
