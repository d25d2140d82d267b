#pragma once

#include <QString>
#include <QWidget>

class QToolButton;

// The toolbar's two-segment connect control: segment 0 names the server it
// connects to, segment 1 pops up the menu of servers. Each segment is enabled
// on its own; a click reports the segment (momentary: nothing stays pressed).
//
// Object names: "segment0", "segment1".
class ConnectToServerControl : public QWidget {
    Q_OBJECT
public:
    explicit ConnectToServerControl(const QString& title, QWidget* parent = nullptr);

    QString title() const;
    bool isEnabledForSegment(int segment) const;
    void setEnabledForSegment(int segment, bool enabled);
    // The segment last clicked (-1 before any click).
    int selectedSegment() const { return selectedSegment_; }
    QToolButton* segment(int index) const;

signals:
    void segmentClicked(int segment);

private:
    QToolButton* segments_[2];
    int selectedSegment_ = -1;
};
