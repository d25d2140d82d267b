#include "Wendle/Views/WendleWidgets.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <set>

bool wendle_isAtBottom(const QAbstractScrollArea* area) {
    const QScrollBar* bar = area->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void wendle_scrollToBottom(QAbstractScrollArea* area) {
    QScrollBar* bar = area->verticalScrollBar();
    bar->setValue(bar->maximum());
}

bool wendle_isInKeyWindow(const QWidget* widget) {
    return widget && widget->window()->isActiveWindow();
}

namespace {

// Watches a view's viewport (presses, mouse context menus) and the view
// itself (keys, keyboard context menus) and keeps the clicked row.
class ClickedRowTracker : public QObject {
public:
    explicit ClickedRowTracker(QAbstractItemView* view) : QObject(view), view_(view) {
        setObjectName(QString::fromLatin1(kName));
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        followSelectionModel();
    }

    static constexpr const char* kName = "wendle_clickedRowTracker";

    int row() const {
        // A row of a model the view has since let go does not count.
        return clicked_.isValid() && clicked_.model() == view_->model() ? clicked_.row() : -1;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        followSelectionModel();
        if (watched == view_->viewport()) {
            switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                clicked_ = view_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
                break;
            case QEvent::ContextMenu: {
                auto* menu = static_cast<QContextMenuEvent*>(event);
                clicked_ = menu->reason() == QContextMenuEvent::Mouse
                               ? QPersistentModelIndex(view_->indexAt(menu->pos()))
                               : QPersistentModelIndex();
                break;
            }
            default:
                break;
            }
        } else if (watched == view_) {
            if (event->type() == QEvent::KeyPress ||
                (event->type() == QEvent::ContextMenu &&
                 static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse))
                clicked_ = QPersistentModelIndex();
        }
        return false;
    }

private:
    // The view makes a new selection model with each new model.
    void followSelectionModel() {
        QItemSelectionModel* model = view_->selectionModel();
        if (model == selection_) return;
        if (selection_) disconnect(selection_, nullptr, this, nullptr);
        selection_ = model;
        if (model)
            connect(model, &QItemSelectionModel::selectionChanged, this,
                    [this] { clicked_ = QPersistentModelIndex(); });
    }

    QAbstractItemView* view_;
    QPointer<QItemSelectionModel> selection_;
    QPersistentModelIndex clicked_;
};

ClickedRowTracker* trackerOf(const QAbstractItemView* view) {
    return view->findChild<ClickedRowTracker*>(QString::fromLatin1(ClickedRowTracker::kName),
                                               Qt::FindDirectChildrenOnly);
}

} // namespace

void wendle_trackClickedRow(QAbstractItemView* view) {
    if (!trackerOf(view)) new ClickedRowTracker(view);
}

int wendle_clickedRow(const QAbstractItemView* view) {
    const ClickedRowTracker* tracker = trackerOf(view);
    return tracker ? tracker->row() : -1;
}

std::vector<int> focusedRowIndexes(const QAbstractItemView* view) {
    std::set<int> selected;
    if (const QItemSelectionModel* selection = view->selectionModel()) {
        for (const QModelIndex& index : selection->selectedIndexes())
            selected.insert(index.row());
    }
    const int clicked = wendle_clickedRow(view);
    if (clicked >= 0 && !selected.count(clicked)) return {clicked};
    return {selected.begin(), selected.end()};
}
