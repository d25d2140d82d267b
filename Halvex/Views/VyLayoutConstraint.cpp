#include "Halvex/Views/VyLayoutConstraint.h"

#include <QVariantAnimation>

namespace {
constexpr int kAnimationMs = 200;
}

VyLayoutConstraint::VyLayoutConstraint(double constant, QObject* parent)
    : QObject(parent), constant_(constant) {}

void VyLayoutConstraint::apply(double value) {
    if (value == constant_) return;
    constant_ = value;
    emit constantChanged(value);
}

void VyLayoutConstraint::setConstant(double value) {
    if (animation_) animation_->stop(); // deletes itself
    animation_ = nullptr;
    apply(value);
}

void VyLayoutConstraint::animateConstant(double value) {
    if (animation_) animation_->stop();
    animation_ = nullptr;
    if (value == constant_) return;
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(constant_);
    animation->setEndValue(value);
    animation->setDuration(kAnimationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { apply(v.toDouble()); });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

double VyLayoutConstraint::targetConstant() const {
    return isAnimating() ? animation_->endValue().toDouble() : constant_;
}

bool VyLayoutConstraint::isAnimating() const {
    return animation_ && animation_->state() == QAbstractAnimation::Running;
}

void VyLayoutConstraint::finishAnimation() {
    if (!isAnimating()) return;
    const double end = animation_->endValue().toDouble();
    animation_->stop();
    animation_ = nullptr;
    apply(end);
}
