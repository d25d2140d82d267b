#include "Halvex/Views/VyHighlightedTableCellView.h"

#include "Halvex/Views/VySidebarTableModel.h"

#include "Halvex/Views/VyPlainLabel.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

VyHighlightedTableCellView::VyHighlightedTableCellView(QWidget* parent)
    : QWidget(parent), nameTextField_(new QLineEdit(this)),
      messageTextField_(vyPlainLabel("messageTextField", this)),
      descriptionTextField_(vyPlainLabel("descriptionTextField", this)) {
    nameTextField_->setObjectName(QStringLiteral("nameTextField"));
    nameTextField_->setFrame(false);
    nameTextField_->setReadOnly(true);
    nameTextField_->setFocusPolicy(Qt::NoFocus);
    nameTextField_->setAttribute(Qt::WA_MacShowFocusRect, false);
    QFont bold = nameTextField_->font();
    bold.setBold(true);
    nameTextField_->setFont(bold);
    nameTextField_->installEventFilter(this);
    // Transparent background, so the table's selection shows through.
    QPalette p = nameTextField_->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    nameTextField_->setPalette(p);
    descriptionTextField_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 3, 6, 3);
    grid->setVerticalSpacing(0);
    grid->addWidget(nameTextField_, 0, 0);
    grid->addWidget(descriptionTextField_, 0, 1);
    grid->addWidget(messageTextField_, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    setBackgroundStyle(BackgroundStyleLight);
    connect(nameTextField_, &QLineEdit::editingFinished, this, &VyHighlightedTableCellView::endEditing);
}

void VyHighlightedTableCellView::setObjectValue(const QVariant& entry) {
    objectValue_ = entry;
    if (!isEditing()) nameTextField_->setText(vyValueForKey(entry, QStringLiteral("name")).toString());
    messageTextField_->setText(vyValueForKey(entry, QStringLiteral("message")).toString());
    descriptionTextField_->setText(vyValueForKey(entry, QStringLiteral("description")).toString());
}

void VyHighlightedTableCellView::setBackgroundStyle(int style) {
    backgroundStyle_ = style;
    const QPalette& base = palette();
    const QColor secondary = style == BackgroundStyleDark ? base.color(QPalette::HighlightedText)
                                                          : base.color(QPalette::Disabled, QPalette::Text);
    for (QLabel* label : {messageTextField_, descriptionTextField_}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, secondary);
        label->setPalette(p);
    }
}

void VyHighlightedTableCellView::beginEditing() {
    nameTextField_->setReadOnly(false);
    nameTextField_->setFocusPolicy(Qt::StrongFocus);
    QPalette p = nameTextField_->palette();
    p.setColor(QPalette::Base, palette().color(QPalette::Base));
    nameTextField_->setPalette(p);
    nameTextField_->setFrame(true);
    nameTextField_->setFocus(Qt::OtherFocusReason);
    nameTextField_->selectAll();
}

bool VyHighlightedTableCellView::isEditing() const {
    return !nameTextField_->isReadOnly();
}

void VyHighlightedTableCellView::endEditing() {
    if (!isEditing()) return;
    nameTextField_->setReadOnly(true);
    nameTextField_->setFocusPolicy(Qt::NoFocus);
    nameTextField_->setFrame(false);
    QPalette p = nameTextField_->palette();
    p.setColor(QPalette::Base, Qt::transparent);
    nameTextField_->setPalette(p);
    nameTextField_->deselect();
    emit nameDidEndEditing(nameTextField_->text());
}

bool VyHighlightedTableCellView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != nameTextField_ || isEditing()) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        // Not editing: the click belongs to the table (selection, drags,
        // double-click), which receives it as the event goes up.
        event->ignore();
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
