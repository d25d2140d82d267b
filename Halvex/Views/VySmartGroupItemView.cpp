#include "Halvex/Views/VySmartGroupItemView.h"

#include "Halvex/Views/VyPlainLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QPixmap vySmartGroupIcon(const QColor& color, int size) {
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 1.3));
    p.drawRoundedRect(QRectF(1.5, 4.5, 15, 11), 2, 2);
    p.drawLine(QPointF(1.5, 6.5), QPointF(7, 6.5));
    p.drawEllipse(QRectF(6, 7.5, 5, 5));
    p.drawLine(QPointF(10.5, 12), QPointF(13, 14.5));
    p.end();
    return size == 18 ? pixmap : pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

VySectionTitleView::VySectionTitleView(QWidget* parent)
    : QWidget(parent), sectionTitle_(vyPlainLabel("sectionTitle", this)) {
    QFont font = sectionTitle_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    sectionTitle_->setFont(font);
    QPalette p = sectionTitle_->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Disabled, QPalette::WindowText));
    sectionTitle_->setPalette(p);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 4, 12, 2);
    layout->addWidget(sectionTitle_);
}

VySmartGroupItemView::VySmartGroupItemView(QWidget* parent)
    : QWidget(parent), smartGroupIcon_(new QLabel(this)),
      smartGroupName_(vyPlainLabel("smartGroupName", this)), searchText_(vyPlainLabel("searchText", this)),
      hitCountIndicator_(new QPushButton(this)) {
    setAttribute(Qt::WA_Hover);
    smartGroupIcon_->setObjectName(QStringLiteral("smartGroupIcon"));
    smartGroupIcon_->setFixedSize(18, 18);
    hitCountIndicator_->setObjectName(QStringLiteral("hitCountIndicator"));
    hitCountIndicator_->setFlat(true);
    hitCountIndicator_->setFocusPolicy(Qt::NoFocus);
    // The count is a badge: clicks go to the item.
    hitCountIndicator_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont small = searchText_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    searchText_->setFont(small);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    texts->addWidget(smartGroupName_);
    texts->addWidget(searchText_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 3, 10, 3);
    row->addWidget(smartGroupIcon_);
    row->addLayout(texts, 1);
    row->addWidget(hitCountIndicator_);
    setMinimumWidth(220);
    applyColours();
}

void VySmartGroupItemView::setHighlighted(bool on) {
    if (highlighted_ == on) return;
    highlighted_ = on;
    applyColours();
    update();
}

void VySmartGroupItemView::applyColours() {
    const QPalette& base = palette();
    const QColor name =
        highlighted_ ? base.color(QPalette::HighlightedText) : base.color(QPalette::WindowText);
    const QColor search = highlighted_ ? base.color(QPalette::HighlightedText)
                                       : base.color(QPalette::Disabled, QPalette::WindowText);
    for (auto [label, colour] : {std::pair{smartGroupName_, name}, std::pair{searchText_, search}}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    }
    smartGroupIcon_->setPixmap(vySmartGroupIcon(
        highlighted_ ? base.color(QPalette::HighlightedText) : base.color(QPalette::Highlight), 18));
}

void VySmartGroupItemView::paintEvent(QPaintEvent* event) {
    if (highlighted_) {
        QPainter p(this);
        p.fillRect(event->rect(), palette().color(QPalette::Highlight));
    }
    QWidget::paintEvent(event);
}

void VySmartGroupItemView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (delegate_ && rect().contains(event->position().toPoint()))
        delegate_->updateSearchFieldNTrigerSearch(searchText_->text());
}

VySmartGroupItemView* VySmartGroupItemViewController::view() {
    if (!view_) view_ = new VySmartGroupItemView;
    return view_;
}
