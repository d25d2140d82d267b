#pragma once

#include "Wendle/Views/MASPreferencesViewController.h"

#include <QMainWindow>
#include <QObject>
#include <QPointer>

#include <vector>

class QAction;

class QToolBar;

// The preferences window: a toolbar with one item per pane (its image and
// label) and the selected pane's view below it; the window title is that
// pane's label. A null pane stands as flexible space in the toolbar. Closing
// only hides the window; showWindow shows the same window again, with the
// pane that was selected. The window is sized to the pane's view, fixed in
// the directions the pane does not resize in. GUI thread only.
//
// Object names: "preferencesWindow", "toolbar" (its actions are named by the
// panes' identifiers), "flexibleSpace" (a null pane), "paneContainer".
class MASPreferencesWindowController : public QObject {
    Q_OBJECT

public:
    // Takes the panes (they become its children); entries may be null.
    explicit MASPreferencesWindowController(std::vector<MASPreferencesViewController*> viewControllers,
                                            QObject* parent = nullptr);
    ~MASPreferencesWindowController() override;

    QMainWindow* window() const { return window_; }
    const std::vector<MASPreferencesViewController*>& viewControllers() const { return panes_; }

    // Shows the pane at `index`; a null pane or an index out of range is
    // ignored.
    void selectControllerAtIndex(int index);
    // -1 before any pane is shown.
    int selectedIndex() const { return selected_; }
    MASPreferencesViewController* selectedViewController() const;

    // Shows the window in front, on the first pane when none was selected.
    void showWindow(QObject* sender = nullptr);

private:
    void fitWindowToPane(MASPreferencesViewController* pane);
    QWidget* paneView(int index) const;

    std::vector<MASPreferencesViewController*> panes_;
    std::vector<QAction*> actions_;
    QPointer<QMainWindow> window_;
    QToolBar* toolbar_ = nullptr;
    QWidget* container_ = nullptr;
    int selected_ = -1;
};
