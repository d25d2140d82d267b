#include "Wendle/Views/MASPreferencesWindowController.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QToolBar>
#include <QVBoxLayout>

MASPreferencesWindowController::MASPreferencesWindowController(
    std::vector<MASPreferencesViewController*> viewControllers, QObject* parent)
    : QObject(parent), panes_(std::move(viewControllers)) {
    window_ = new QMainWindow;
    window_->setObjectName(QStringLiteral("preferencesWindow"));
    // Closing hides it; the controller keeps it for the next showWindow.
    window_->setAttribute(Qt::WA_DeleteOnClose, false);

    toolbar_ = new QToolBar(window_);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->toggleViewAction()->setEnabled(false);
    window_->setContextMenuPolicy(Qt::NoContextMenu);
    window_->addToolBar(Qt::TopToolBarArea, toolbar_);

    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        MASPreferencesViewController* pane = panes_[i];
        if (!pane) {
            auto* space = new QWidget(toolbar_);
            space->setObjectName(QStringLiteral("flexibleSpace"));
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            toolbar_->addWidget(space);
            actions_.push_back(nullptr);
            continue;
        }
        pane->setParent(this);
        QAction* action = toolbar_->addAction(pane->toolbarItemImage(), pane->toolbarItemLabel());
        action->setObjectName(pane->identifier());
        action->setCheckable(true);
        group->addAction(action);
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this, [this, index] { selectControllerAtIndex(index); });
        actions_.push_back(action);
    }

    container_ = new QWidget(window_);
    container_->setObjectName(QStringLiteral("paneContainer"));
    auto* layout = new QVBoxLayout(container_);
    layout->setContentsMargins(0, 0, 0, 0);
    window_->setCentralWidget(container_);
}

MASPreferencesWindowController::~MASPreferencesWindowController() {
    // The panes' views go with the window, before the panes themselves.
    delete window_.data();
}

MASPreferencesViewController* MASPreferencesWindowController::selectedViewController() const {
    return selected_ >= 0 ? panes_[static_cast<std::size_t>(selected_)] : nullptr;
}

QWidget* MASPreferencesWindowController::paneView(int index) const {
    return index >= 0 ? panes_[static_cast<std::size_t>(index)]->view() : nullptr;
}

void MASPreferencesWindowController::selectControllerAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(panes_.size()) || !window_) return;
    MASPreferencesViewController* pane = panes_[static_cast<std::size_t>(index)];
    if (!pane) return;
    actions_[static_cast<std::size_t>(index)]->setChecked(true);
    if (index == selected_) return;

    MASPreferencesViewController* previous = selectedViewController();
    QWidget* previousView = paneView(selected_);
    pane->viewWillAppear();
    // Only the shown view is in the layout, so the window's size is its own.
    if (previousView) {
        container_->layout()->removeWidget(previousView);
        previousView->hide();
    }
    QWidget* view = pane->view();
    container_->layout()->addWidget(view);
    view->show();
    selected_ = index;
    window_->setWindowTitle(pane->toolbarItemLabel());
    fitWindowToPane(pane);
    if (QWidget* key = pane->initialKeyView()) key->setFocus();
    if (previous) previous->viewDidDisappear();
}

void MASPreferencesWindowController::fitWindowToPane(MASPreferencesViewController* pane) {
    QWidget* view = pane->view();
    const QSize hint = view->sizeHint().expandedTo(view->minimumSizeHint()).expandedTo(view->minimumSize());
    container_->setMinimumSize(0, 0);
    container_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (!pane->hasResizableWidth()) container_->setFixedWidth(hint.width());
    if (!pane->hasResizableHeight()) container_->setFixedHeight(hint.height());
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // The layouts answer for the new pane only once they are redone.
    container_->layout()->activate();
    window_->layout()->invalidate();
    window_->layout()->activate();
    window_->resize(window_->sizeHint());
    if (!pane->hasResizableWidth()) window_->setFixedWidth(window_->width());
    if (!pane->hasResizableHeight()) window_->setFixedHeight(window_->height());
}

void MASPreferencesWindowController::showWindow(QObject*) {
    if (!window_) return;
    if (selected_ < 0) {
        for (std::size_t i = 0; i < panes_.size(); ++i) {
            if (panes_[i]) {
                selectControllerAtIndex(static_cast<int>(i));
                break;
            }
        }
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}
