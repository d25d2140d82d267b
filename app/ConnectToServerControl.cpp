#include "app/ConnectToServerControl.h"

#include "app/OrvikImages.h"

#include <QHBoxLayout>
#include <QToolButton>

ConnectToServerControl::ConnectToServerControl(const QString& title, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int i = 0; i < 2; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        button->setAutoRaise(false);
        button->setIconSize(QSize(18, 18));
        connect(button, &QToolButton::clicked, this, [this, i] {
            selectedSegment_ = i;
            emit segmentClicked(i);
        });
        layout->addWidget(button);
        segments_[i] = button;
    }
    segments_[0]->setText(title);
    segments_[0]->setIcon(OrvikImageNamed(QStringLiteral("TBConnectButtonTemplate")));
    segments_[0]->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    segments_[1]->setIcon(OrvikImageNamed(QStringLiteral("TBPullDownTemplate")));
    segments_[1]->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

QString ConnectToServerControl::title() const {
    return segments_[0]->text();
}

bool ConnectToServerControl::isEnabledForSegment(int segment) const {
    return segment >= 0 && segment < 2 && segments_[segment]->isEnabled();
}

void ConnectToServerControl::setEnabledForSegment(int segment, bool enabled) {
    if (segment >= 0 && segment < 2) segments_[segment]->setEnabled(enabled);
}

QToolButton* ConnectToServerControl::segment(int index) const {
    return index >= 0 && index < 2 ? segments_[index] : nullptr;
}
