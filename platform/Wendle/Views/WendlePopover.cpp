#include "Wendle/Views/WendlePopover.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kGap = 4;

WendlePopover::Edge opposite(WendlePopover::Edge edge) {
    switch (edge) {
    case WendlePopover::Edge::left:
        return WendlePopover::Edge::right;
    case WendlePopover::Edge::right:
        return WendlePopover::Edge::left;
    case WendlePopover::Edge::top:
        return WendlePopover::Edge::bottom;
    case WendlePopover::Edge::bottom:
        return WendlePopover::Edge::top;
    }
    return edge;
}

// The popover's frame beside `anchor` (global coordinates) on `edge`.
QRect placed(const QRect& anchor, QSize size, WendlePopover::Edge edge) {
    QRect frame(QPoint(), size);
    frame.moveCenter(anchor.center());
    switch (edge) {
    case WendlePopover::Edge::left:
        frame.moveRight(anchor.left() - kGap);
        break;
    case WendlePopover::Edge::right:
        frame.moveLeft(anchor.right() + kGap);
        break;
    case WendlePopover::Edge::top:
        frame.moveBottom(anchor.top() - kGap);
        break;
    case WendlePopover::Edge::bottom:
        frame.moveTop(anchor.bottom() + kGap);
        break;
    }
    return frame;
}

// Whether the frame's side away from the anchor stays on the screen.
bool fits(const QRect& frame, const QRect& screen, WendlePopover::Edge edge) {
    switch (edge) {
    case WendlePopover::Edge::left:
        return frame.left() >= screen.left();
    case WendlePopover::Edge::right:
        return frame.right() <= screen.right();
    case WendlePopover::Edge::top:
        return frame.top() >= screen.top();
    case WendlePopover::Edge::bottom:
        return frame.bottom() <= screen.bottom();
    }
    return true;
}

} // namespace

WendlePopover::WendlePopover(QWidget* parent) : QFrame(parent, Qt::Popup) {
    setObjectName(QStringLiteral("popover"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
}

void WendlePopover::setContentWidget(QWidget* content) {
    if (content == content_) return;
    if (content_) {
        content_->hide();
        content_->deleteLater();
    }
    content_ = content;
    if (content) layout()->addWidget(content);
}

void WendlePopover::showRelativeToRect(const QRect& rect, QWidget* view, Edge preferredEdge) {
    adjustSize();
    QRect anchor = rect.isEmpty() && view ? view->rect() : rect;
    QScreen* screen = nullptr;
    if (view) {
        anchor.moveTopLeft(view->mapToGlobal(anchor.topLeft()));
        screen = view->screen();
    }
    if (!screen) screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(anchor.center(), size());

    Edge edge = preferredEdge;
    QRect frame = placed(anchor, size(), edge);
    if (!fits(frame, available, edge)) {
        const QRect other = placed(anchor, size(), opposite(edge));
        if (fits(other, available, opposite(edge))) {
            edge = opposite(edge);
            frame = other;
        }
    }
    // Kept on the screen along the edge.
    frame.moveLeft(std::clamp(frame.left(), available.left(),
                              std::max(available.left(), available.right() - frame.width() + 1)));
    frame.moveTop(std::clamp(frame.top(), available.top(),
                             std::max(available.top(), available.bottom() - frame.height() + 1)));
    shownEdge_ = edge;
    move(frame.topLeft());
    show();
    if (content_) content_->setFocus(Qt::PopupFocusReason);
}

void WendlePopover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QFrame::keyPressEvent(event);
}

void WendlePopover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    emit didClose();
}

VyPopoverHelperViewController::VyPopoverHelperViewController(const QString& helpText, QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)) {
    label_->setObjectName(QStringLiteral("helpText"));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label_->setText(helpText);
    // Wide enough to read a paragraph, not a column of words.
    label_->setMinimumWidth(300);
    label_->setMaximumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
}

QString VyPopoverHelperViewController::helpText() const {
    return label_->text();
}
