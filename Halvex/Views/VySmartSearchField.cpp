#include "Halvex/Views/VySmartSearchField.h"

#include "Halvex/Views/VyMenu.h"

#include <QAction>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace {

// A magnifier with a small arrow: the field's menu button.
QIcon searchMenuIcon(const QColor& color) {
    QPixmap pixmap(20, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.6));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13.5));
    QPainterPath arrow;
    arrow.moveTo(14.5, 6);
    arrow.lineTo(19.5, 6);
    arrow.lineTo(17, 9);
    arrow.closeSubpath();
    p.fillPath(arrow, color);
    return QIcon(pixmap);
}

} // namespace

VySmartSearchFieldCell::VySmartSearchFieldCell(QObject* parent) : QObject(parent) {}

void VySmartSearchFieldCell::setMaximumRecents(int count) {
    maximumRecents_ = std::max(0, count);
    while (recentSearches_.size() > maximumRecents_)
        recentSearches_.removeLast();
}

void VySmartSearchFieldCell::setRecentSearches(const QStringList& searches) {
    recentSearches_ = searches.mid(0, maximumRecents_);
}

void VySmartSearchFieldCell::addRecentSearch(const QString& text) {
    if (text.isEmpty() || maximumRecents_ == 0) return;
    recentSearches_.removeAll(text);
    recentSearches_.prepend(text);
    while (recentSearches_.size() > maximumRecents_)
        recentSearches_.removeLast();
}

void VySmartSearchFieldCell::setSearchMenuTemplate(VyMenu* menu) {
    if (searchMenuTemplate_ && searchMenuTemplate_ != menu) searchMenuTemplate_->deleteLater();
    searchMenuTemplate_ = menu;
    recentItems_.clear();
}

void VySmartSearchFieldCell::updateRecentsItems() {
    VyMenu* menu = searchMenuTemplate_;
    if (!menu) return;
    for (QAction* item : recentItems_) {
        menu->removeAction(item);
        item->deleteLater();
    }
    recentItems_.clear();
    const bool hasRecents = !recentSearches_.isEmpty();
    for (QAction* item : menu->actions()) {
        switch (VyMenu::tag(item)) {
        case RecentsTitleMenuItemTag:
        case ClearRecentsMenuItemTag:
            item->setVisible(hasRecents);
            break;
        case NoRecentsMenuItemTag:
            item->setVisible(!hasRecents);
            break;
        case RecentsMenuItemTag: {
            // The template's item marks the place; the searches stand in for it.
            item->setVisible(false);
            for (const QString& text : recentSearches_) {
                auto* recent = new QAction(text, menu);
                connect(recent, &QAction::triggered, this, [this, text] { emit recentSearchChosen(text); });
                menu->insertAction(item, recent);
                recentItems_.append(recent);
            }
            break;
        }
        default:
            break;
        }
    }
}

VySmartSearchField::VySmartSearchField(QWidget* parent)
    : QLineEdit(parent), cell_(new VySmartSearchFieldCell(this)) {
    setObjectName(QStringLiteral("searchField"));
    setPlaceholderText(tr("Search"));
    searchButton_ = addAction(searchMenuIcon(palette().color(QPalette::PlaceholderText)), LeadingPosition);
    searchButton_->setObjectName(QStringLiteral("searchButton"));
    searchButton_->setToolTip(tr("Recent searches and smart groups"));
    cancelButton_ =
        addAction(style()->standardIcon(QStyle::SP_LineEditClearButton, nullptr, this), TrailingPosition);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setVisible(false);

    connect(searchButton_, &QAction::triggered, this, &VySmartSearchField::popUpSearchMenu);
    connect(cancelButton_, &QAction::triggered, this, &VySmartSearchField::cancelButtonClicked);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { cancelButton_->setVisible(!text.isEmpty()); });
    connect(this, &QLineEdit::textEdited, this, &VySmartSearchField::textDidChange);
    connect(this, &QLineEdit::returnPressed, this, &VySmartSearchField::performSearchAction);
    connect(cell_, &VySmartSearchFieldCell::recentSearchChosen, this, [this](const QString& text) {
        setText(text);
        performSearchAction();
    });
}

void VySmartSearchField::performSearchAction() {
    cell_->addRecentSearch(text());
    emit searchAction();
}

void VySmartSearchField::popUpSearchMenu() {
    VyMenu* menu = cell_->searchMenuTemplate();
    if (!menu) return;
    cell_->updateRecentsItems();
    menu->popup(mapToGlobal(QPoint(0, height())));
}
