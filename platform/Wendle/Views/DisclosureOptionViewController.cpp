#include "Wendle/Views/DisclosureOptionViewController.h"

#include <QToolButton>
#include <QVBoxLayout>

DisclosureOptionViewController::DisclosureOptionViewController(const QString& title, QWidget* disclosedView,
                                                               QObject* parent)
    : QObject(parent) {
    view_ = new QWidget;
    view_->setObjectName(QStringLiteral("disclosureOptionView"));
    button_ = new QToolButton(view_);
    button_->setObjectName(QStringLiteral("disclosureButton"));
    button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button_->setAutoRaise(true);
    button_->setCheckable(true);
    button_->setArrowType(Qt::RightArrow);
    button_->setText(title);
    connect(button_, &QToolButton::toggled, this, &DisclosureOptionViewController::setDisclosed);

    auto* layout = new QVBoxLayout(view_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button_, 0, Qt::AlignLeft);
    setDisclosedView(disclosedView);
}

DisclosureOptionViewController::~DisclosureOptionViewController() {
    if (view_ && !view_->parent()) delete view_.data();
}

void DisclosureOptionViewController::setDisclosedView(QWidget* disclosedView) {
    if (disclosedView == disclosed_) return;
    if (disclosed_) disclosed_->deleteLater();
    disclosed_ = disclosedView;
    if (!disclosed_ || !view_) return;
    view_->layout()->addWidget(disclosed_);
    disclosed_->setVisible(isDisclosed_);
}

QString DisclosureOptionViewController::title() const {
    return button_ ? button_->text() : QString();
}

void DisclosureOptionViewController::setTitle(const QString& title) {
    if (button_) button_->setText(title);
}

void DisclosureOptionViewController::setDisclosed(bool disclosed) {
    if (disclosed == isDisclosed_) return;
    isDisclosed_ = disclosed;
    if (button_) {
        button_->setChecked(disclosed);
        button_->setArrowType(disclosed ? Qt::DownArrow : Qt::RightArrow);
    }
    if (disclosed_) disclosed_->setVisible(disclosed);
    emit disclosedChanged(disclosed);
}
