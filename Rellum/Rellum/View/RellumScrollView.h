#pragma once

#include <QColor>
#include <QWidget>

class QScrollBar;
class RellumClipView;
class RellumTextView;

// The terminal's page as the application shows it: paints the terminal's
// background behind everything, centres the text area (the clip view) in
// itself and carries the vertical scroll bar over the right edge. It never
// takes the focus itself; the text view does.
class RellumScrollView : public QWidget {
    Q_OBJECT
public:
    explicit RellumScrollView(QWidget* parent = nullptr);

    QColor globalBackgroundColor() const { return globalBackgroundColor_; }
    void setGlobalBackgroundColor(const QColor& color);

    // Puts the clip view (with the text view inside it) and lays it out.
    void setContent(RellumClipView* clipView, RellumTextView* textView);
    RellumClipView* clipView() const { return clipView_; }
    RellumTextView* textView() const { return textView_; }
    QScrollBar* verticalScrollBar() const { return scrollBar_; }

    // Lays the clip view out again (after the cell metrics changed).
    void layoutContent();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor globalBackgroundColor_;
    RellumClipView* clipView_ = nullptr;
    RellumTextView* textView_ = nullptr;
    QScrollBar* scrollBar_ = nullptr;
};
