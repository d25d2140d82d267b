#pragma once

#include <QObject>
#include <QPointer>

class QVariantAnimation;

// One number of a hand-made layout (a space or an offset), which its owner
// reads when it places its children. Setting it changes it at once;
// animating slides it to the target, reporting each step.
class VyLayoutConstraint : public QObject {
    Q_OBJECT

public:
    explicit VyLayoutConstraint(double constant, QObject* parent = nullptr);

    double constant() const { return constant_; }
    // Stops any animation and sets the value.
    void setConstant(double value);
    // Slides to `value` over a short time.
    void animateConstant(double value);
    // Where the constant is heading: the running animation's end, else the
    // constant itself.
    double targetConstant() const;
    bool isAnimating() const;
    // Jumps a running animation to its end.
    void finishAnimation();

signals:
    void constantChanged(double value);

private:
    void apply(double value);

    double constant_;
    QPointer<QVariantAnimation> animation_;
};
