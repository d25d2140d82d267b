#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QWidget;

// One pane of the preferences window (MASPreferencesWindowController): its
// toolbar item and its view. The optional hooks do nothing by default.
// GUI thread only.
class MASPreferencesViewController : public QObject {
    Q_OBJECT

public:
    explicit MASPreferencesViewController(QObject* parent = nullptr) : QObject(parent) {}

    // Unique among the window's panes.
    virtual QString identifier() const = 0;
    virtual QString toolbarItemLabel() const = 0;
    virtual QIcon toolbarItemImage() const = 0;
    // The pane's view, made on first use. The window takes it into itself
    // when the pane is first shown.
    virtual QWidget* view() = 0;

    // The pane is about to be shown / has been replaced by another.
    virtual void viewWillAppear() {}
    virtual void viewDidDisappear() {}
    // The widget that takes the focus when the pane is shown (none: the
    // window's first focusable widget).
    virtual QWidget* initialKeyView() { return nullptr; }
    // Whether the window may be resized with this pane showing.
    virtual bool hasResizableWidth() const { return false; }
    virtual bool hasResizableHeight() const { return false; }
};
