#pragma once

#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QString>

class QLabel;

// A popover: a framed popup beside an anchor (a widget, or a rectangle in
// it) holding one content widget. Like every Qt popup it closes on a click
// outside it; Escape closes it too. It is kept when closed, with its
// content, and can be shown again.
//
// Object names: "popover" (unless the owner names it), the content keeps
// its own.
class WendlePopover : public QFrame {
    Q_OBJECT

public:
    // Sides of the anchor, in the widget's coordinates (y grows downwards).
    enum class Edge { left, right, top, bottom };

    // `parent` owns the popover; it does not sit inside it.
    explicit WendlePopover(QWidget* parent = nullptr);

    // The popover takes the content and deletes the one it replaces.
    void setContentWidget(QWidget* content);
    QWidget* contentWidget() const { return content_; }

    // Shows the popover beside `rect` of `view` (the whole view when the
    // rectangle is empty) on the preferred edge, or on the opposite edge when
    // the screen has no room there, centred along that edge and kept on the
    // screen.
    void showRelativeToRect(const QRect& rect, QWidget* view, Edge preferredEdge);
    // The edge it was last shown on.
    Edge shownEdge() const { return shownEdge_; }

signals:
    void didClose();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> content_;
    Edge shownEdge_ = Edge::right;
};

// The content of a help popover: the help text, plain and wrapped.
//
// Object names: "helpText" (the label).
class VyPopoverHelperViewController : public QWidget {
    Q_OBJECT

public:
    explicit VyPopoverHelperViewController(const QString& helpText, QWidget* parent = nullptr);

    QString helpText() const;

private:
    QLabel* label_;
};
