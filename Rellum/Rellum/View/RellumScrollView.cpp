#include "Rellum/View/RellumScrollView.h"

#include "Rellum/View/RellumClipView.h"
#include "Rellum/View/RellumTextView.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>

RellumScrollView::RellumScrollView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("scrollView"));
    setFocusPolicy(Qt::NoFocus);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName(QStringLiteral("verticalScroller"));
    scrollBar_->setFocusPolicy(Qt::NoFocus);
    scrollBar_->hide();
}

void RellumScrollView::setGlobalBackgroundColor(const QColor& color) {
    globalBackgroundColor_ = color;
    update();
}

void RellumScrollView::setContent(RellumClipView* clipView, RellumTextView* textView) {
    clipView_ = clipView;
    textView_ = textView;
    clipView->setParent(this);
    textView->setParent(clipView);
    setFocusProxy(textView);
    textView->setScrollBar(scrollBar_);
    layoutContent();
    scrollBar_->raise();
}

void RellumScrollView::layoutContent() {
    if (clipView_) {
        clipView_->setFrame(rect());
        if (textView_) textView_->setGeometry(clipView_->rect());
    }
    // The scroller lies over the right edge, as an overlay scroller does.
    const int width = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollBar_);
    scrollBar_->setGeometry(this->width() - width, 0, width, height());
}

void RellumScrollView::paintEvent(QPaintEvent* event) {
    if (!globalBackgroundColor_.isValid()) return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(event->rect(), globalBackgroundColor_);
}

void RellumScrollView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContent();
}
