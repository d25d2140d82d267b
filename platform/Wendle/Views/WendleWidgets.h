#pragma once

#include <vector>

class QAbstractItemView;
class QAbstractScrollArea;
class QWidget;

// Operations on Qt's widgets that views share.

// Whether the area is scrolled to the end of its content (true when the
// content fits without scrolling).
bool wendle_isAtBottom(const QAbstractScrollArea* area);
// Scrolls the area to the end of its content.
void wendle_scrollToBottom(QAbstractScrollArea* area);

// Whether the widget's window is the active window (the one taking keys).
bool wendle_isInKeyWindow(const QWidget* widget);

// The clicked row of a list or table: the row under the last mouse press or
// mouse-invoked context menu in the view. It is forgotten when the selection
// changes, when a key is pressed in the view, at a keyboard-invoked context
// menu, and when its row is removed; it follows its row when rows move. So it
// names the right-clicked row while that row's context menu runs (a menu run
// with exec() or popup() alike), and never outlives a later keyboard or
// programmatic change of selection. Tracking starts with
// wendle_trackClickedRow (call it once when making the view); untracked views
// have no clicked row.
void wendle_trackClickedRow(QAbstractItemView* view);
// The clicked row, or -1.
int wendle_clickedRow(const QAbstractItemView* view);

// The rows the user's current command applies to, ascending: the clicked row
// alone when it is not among the selected rows, else the selected rows (also
// when there is no clicked row).
std::vector<int> focusedRowIndexes(const QAbstractItemView* view);
