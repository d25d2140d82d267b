#include "Rellum/View/RellumTokenItemDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <variant>

namespace {

constexpr int kTokenPadding = 2;

} // namespace

RellumTokenItemDelegate::RellumTokenItemDelegate(const RellumTokenFieldDelegate* tokenDelegate,
                                                 QObject* parent)
    : QStyledItemDelegate(parent), tokenDelegate_(tokenDelegate) {}

void RellumTokenItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    // The cell itself (background, selection, focus) without its text.
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    // The whole cell less a margin: the style's text rectangle follows the
    // text, which the cell no longer has.
    const QRect area = opt.rect.adjusted(kTokenPadding, 0, -kTokenPadding, 0);
    const QFontMetrics metrics(opt.font);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setClipRect(area);
    painter->setFont(opt.font);
    int x = area.left() + kTokenPadding;
    for (const auto& element : RellumEscapeToken::tokensFromString(text.toStdString())) {
        const bool isToken = std::holds_alternative<RellumEscapeToken>(element);
        const RellumTokenStyle tokenStyle =
            tokenDelegate_ ? tokenDelegate_->styleForRepresentedObject(element)
                           : (isToken ? RellumTokenStyle::Squared : RellumTokenStyle::PlainText);
        const std::string shown = tokenDelegate_ ? tokenDelegate_->displayStringForRepresentedObject(element)
                                  : isToken      ? std::get<RellumEscapeToken>(element).string()
                                                 : std::get<std::string>(element);
        const QString part = QString::fromStdString(shown);
        const int width = metrics.horizontalAdvance(part);
        if (tokenStyle == RellumTokenStyle::Squared) {
            const QRect box(x, area.top() + (area.height() - metrics.height()) / 2 - 1,
                            width + 2 * kTokenPadding, metrics.height() + 2);
            painter->fillRect(box, RellumTokenBackgroundColor());
            painter->setPen(RellumTokenTextColor());
            painter->drawText(box, Qt::AlignCenter, part);
            x += box.width() + 1;
        } else {
            painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            painter->drawText(QRect(x, area.top(), width, area.height()), Qt::AlignVCenter | Qt::AlignLeft,
                              part);
            x += width;
        }
    }
    painter->restore();
}

QSize RellumTokenItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // Room for the token boxes' padding.
    size.rwidth() += 4 * kTokenPadding + 8;
    return size;
}
