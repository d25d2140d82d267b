#pragma once

#include <QMenu>

class VyMenu;

// What a menu asks of its delegate while it opens and closes.
class VyMenuDelegate {
public:
    virtual ~VyMenuDelegate() = default;
    // Before each opening: bring the items up to date.
    virtual void menuNeedsUpdate(VyMenu&) {}
    virtual void menuWillOpen(VyMenu&) {}
    virtual void menuDidClose(VyMenu&) {}
    // A fixed item count, or -1 for none; the menu keeps its items either way.
    virtual int numberOfItemsInMenu(VyMenu&) { return -1; }
    virtual void menuWillHighlightItem(VyMenu&, QAction*) {}
};

// Decides whether an item is enabled, each time its menu opens.
class VyMenuItemValidation {
public:
    virtual ~VyMenuItemValidation() = default;
    virtual bool validateMenuItem(QAction* item) = 0;
};

// A menu with a delegate, items validated on every opening, and integer tags
// on its items (0 when none).
class VyMenu : public QMenu {
    Q_OBJECT

public:
    explicit VyMenu(const QString& title, QWidget* parent = nullptr);

    VyMenuDelegate* delegate() const { return delegate_; }
    void setDelegate(VyMenuDelegate* delegate) { delegate_ = delegate; }
    // Who validates the items (the menu's target); null leaves them as they are.
    VyMenuItemValidation* itemValidator() const { return validator_; }
    void setItemValidator(VyMenuItemValidation* validator) { validator_ = validator; }
    bool autoenablesItems() const { return autoenables_; }
    void setAutoenablesItems(bool on) { autoenables_ = on; }

    // What an opening does before the menu shows: the delegate's update and
    // will-open calls, then the validation of every item (items added while
    // validating are validated too).
    void prepareToOpen();
    void validateItems();

    // The item under the pointer or the keyboard; none after the menu was
    // dismissed with Escape or a click outside it.
    QAction* highlightedItem() const { return activeAction(); }
    // Closes at once with no item chosen.
    void cancelTrackingWithoutAnimation();

    static int tag(const QAction* item);
    static void setTag(QAction* item, int tag);
    QList<QAction*> itemsWithTag(int tag) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    VyMenuDelegate* delegate_ = nullptr;
    VyMenuItemValidation* validator_ = nullptr;
    bool autoenables_ = true;
};
