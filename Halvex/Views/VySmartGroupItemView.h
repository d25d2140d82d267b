#pragma once

#include <QWidget>

class QColor;
class QLabel;
class QPixmap;
class QPushButton;

// The icon of a smart group (a folder with a magnifier), `size` pixels square.
QPixmap vySmartGroupIcon(const QColor& color, int size);

// A heading inside the search menu.
class VySectionTitleView : public QWidget {
    Q_OBJECT

public:
    explicit VySectionTitleView(QWidget* parent = nullptr);
    QLabel* sectionTitle() const { return sectionTitle_; }

private:
    QLabel* sectionTitle_;
};

class VySmartGroupItemViewDelegate {
public:
    virtual ~VySmartGroupItemViewDelegate() = default;
    virtual void updateSearchFieldNTrigerSearch(const QString& text) = 0;
};

// One smart group in the search menu: icon, name, search text and hit count.
// Highlighted, it draws name and search text in the highlighted-text colour
// on the highlight colour. A click hands its search text to the delegate.
class VySmartGroupItemView : public QWidget {
    Q_OBJECT

public:
    explicit VySmartGroupItemView(QWidget* parent = nullptr);

    VySmartGroupItemViewDelegate* delegate() const { return delegate_; }
    void setDelegate(VySmartGroupItemViewDelegate* delegate) { delegate_ = delegate; }

    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on);

    // Outlets.
    QLabel* smartGroupIcon() const { return smartGroupIcon_; }
    QLabel* smartGroupName() const { return smartGroupName_; }
    QLabel* searchText() const { return searchText_; }
    QPushButton* hitCountIndicator() const { return hitCountIndicator_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyColours();

    VySmartGroupItemViewDelegate* delegate_ = nullptr;
    bool highlighted_ = false;
    QLabel* smartGroupIcon_;
    QLabel* smartGroupName_;
    QLabel* searchText_;
    QPushButton* hitCountIndicator_;
};

// Makes the view of one smart-group menu item.
class VySmartGroupItemViewController {
public:
    VySmartGroupItemView* view();

private:
    VySmartGroupItemView* view_ = nullptr;
};
