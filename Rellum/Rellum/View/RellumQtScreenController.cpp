#include "Rellum/View/RellumQtScreenController.h"

#include "Rellum/View/RellumClipView.h"
#include "Rellum/View/RellumScrollView.h"
#include "Rellum/View/RellumStorageLineIndex.h"
#include "Rellum/View/RellumTextView.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace {

QColor qColor(const RellumColor& c) {
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}

} // namespace

RellumQtScreenController::RellumQtScreenController(RellumTerminal& terminal, RellumTextStorage& storage)
    : terminal_(terminal) {
    setObjectName(QStringLiteral("screenController"));
    scrollView_ = new RellumScrollView();
    clipView_ = new RellumClipView();
    textView_ = new RellumTextView(&terminal);
    scrollView_->setContent(clipView_, textView_);
    scrollView_->installEventFilter(this);
    if (const std::optional<RellumColor> background = terminal.defaultBackgroundColor())
        updateBackgroundColor(background);
    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(kResizeSettleMilliseconds);
    connect(&resizeTimer_, &QTimer::timeout, this, &RellumQtScreenController::viewDidLayout);
    replaceTextStorage(&storage);
}

RellumQtScreenController::~RellumQtScreenController() {
    resizeTimer_.stop();
    // The terminal is going: its storages may already be gone.
    if (textView_) textView_->detachTerminal();
    if (scrollView_) {
        scrollView_->removeEventFilter(this);
        delete scrollView_.data();
    }
}

RellumTerminal::ScreenControllerFactory RellumQtScreenController::factory() {
    return
        [](RellumTerminal& terminal, RellumTextStorage& storage) -> std::unique_ptr<RellumScreenController> {
            return std::make_unique<RellumQtScreenController>(terminal, storage);
        };
}

RellumQtScreenController* RellumQtScreenController::of(const RellumTerminal& terminal) {
    return dynamic_cast<RellumQtScreenController*>(terminal.screenController());
}

RellumScrollView* RellumQtScreenController::view() const {
    return scrollView_;
}

RellumScrollView* RellumQtScreenController::scrollView() const {
    return scrollView_;
}

RellumClipView* RellumQtScreenController::clipView() const {
    return clipView_;
}

RellumTextView* RellumQtScreenController::textView() const {
    return textView_;
}

void RellumQtScreenController::setResizeSettleInterval(int milliseconds) {
    resizeTimer_.setInterval(std::max(0, milliseconds));
}

bool RellumQtScreenController::newlinesPasteAsCarriageReturns() const {
    return textView_ && textView_->newlinesPasteAsCarriageReturns();
}

void RellumQtScreenController::setNewlinesPasteAsCarriageReturns(bool on) {
    if (textView_) textView_->setNewlinesPasteAsCarriageReturns(on);
}

RellumPageSize RellumQtScreenController::pageSizeForViewSize(double width, double height) const {
    if (!clipView_) return {};
    return clipView_->maximumPageSizeForSize(width - 2 * RellumClipView::kHorizontalInset,
                                             height - 2 * RellumClipView::kVerticalInset);
}

RellumPageSize RellumQtScreenController::maximalPageSize() {
    if (!scrollView_) return {};
    return pageSizeForViewSize(scrollView_->width(), scrollView_->height());
}

void RellumQtScreenController::viewDidLayout() {
    publishWindowState();
    terminal_.willChangePageSize(terminal_.maxAllowedPageSize());
}

bool RellumQtScreenController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scrollView_ && event->type() == QEvent::Resize) {
        // A burst of resizes (a window edge being dragged) proposes one page
        // size, once the size has settled.
        resizeTimer_.start();
        publishWindowState();
    }
    return QObject::eventFilter(watched, event);
}

void RellumQtScreenController::setLineHeight(double lineHeight, double charWidth) {
    if (textView_) {
        textView_->setLineHeight(lineHeight);
        textView_->setCharWidth(charWidth);
    }
    if (clipView_) {
        clipView_->setLineHeight(lineHeight);
        clipView_->setCharWidth(charWidth);
    }
    if (scrollView_) scrollView_->layoutContent();
    publishWindowState();
}

void RellumQtScreenController::updateBackgroundColor(const std::optional<RellumColor>& color) {
    if (scrollView_) scrollView_->setGlobalBackgroundColor(color ? qColor(*color) : QColor());
    if (textView_) textView_->setBackgroundColor(color);
}

RellumStorageLineIndex* RellumQtScreenController::indexFor(RellumTextStorage* storage) {
    auto found = lineIndexes_.find(storage);
    if (found != lineIndexes_.end()) return found->second.get();
    auto index = std::make_unique<RellumStorageLineIndex>();
    index->rebuild(*storage);
    RellumStorageLineIndex* raw = index.get();
    lineIndexes_.emplace(storage, std::move(index));
    storage->setEditObserver([this, storage, raw](RellumRange range, int64_t changeInLength) {
        const RellumStorageLineIndex::EditOutcome outcome = raw->applyEdit(*storage, range, changeInLength);
        if (storage == storage_ && textView_)
            textView_->textStorageDidEdit(range, changeInLength, outcome.droppedFromFront,
                                          outcome.unchangedEnd);
    });
    return raw;
}

void RellumQtScreenController::replaceTextStorage(RellumTextStorage* storage) {
    if (!storage || storage == storage_) return;
    storage_ = storage;
    RellumStorageLineIndex* index = indexFor(storage);
    if (textView_) textView_->setTextStorage(storage, index);
}

void RellumQtScreenController::updateContext(std::unique_ptr<RellumContext> context, uint64_t cursorLocation,
                                             RellumRect cursorRect, RellumCoord cursorCoord) {
    if (!textView_) return;
    textView_->setContext(std::move(context));
    textView_->setCursorLocation(cursorLocation);
    textView_->setCursorRect(cursorRect);
    textView_->setCursorCoord(cursorCoord);
    textView_->didChangeText();
}

void RellumQtScreenController::iconifyWindow(bool iconify) {
    if (!scrollView_) return;
    QWidget* window = scrollView_->window();
    if (iconify)
        window->showMinimized();
    else if (window->isMinimized())
        window->showNormal();
    publishWindowState();
}

namespace {

QRect visibleScreenArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

void RellumQtScreenController::moveWindowToOrigin(RellumPoint origin) {
    if (!scrollView_) return;
    QWidget* window = scrollView_->window();
    const QRect visible = visibleScreenArea(window);
    // Measured from the visible area's top-left corner, y downwards.
    window->move(visible.x() + int(origin.x), visible.y() + int(origin.y));
    publishWindowState();
}

RellumPoint RellumQtScreenController::windowTopLeftPoint() {
    if (!scrollView_) return {};
    const QWidget* window = scrollView_->window();
    const QRect visible = visibleScreenArea(window);
    const QRect frame = window->frameGeometry();
    return {double(frame.x() - visible.x()), double(frame.y() - visible.y())};
}

void RellumQtScreenController::raiseWindow(bool raise) {
    if (!scrollView_) return;
    QWidget* window = scrollView_->window();
    if (raise) {
        window->raise();
        window->activateWindow();
    } else {
        window->lower();
    }
}

std::optional<RellumSize> RellumQtScreenController::viewFrameSize() {
    if (!scrollView_) return std::nullopt;
    return RellumSize{double(scrollView_->width()), double(scrollView_->height())};
}

void RellumQtScreenController::publishWindowState() {
    RellumWindowSnapshot::State state;
    if (scrollView_) {
        state.miniaturized = scrollView_->window()->isMinimized();
        state.windowTopLeftPoint = windowTopLeftPoint();
        state.viewFrameSize = viewFrameSize();
        const RellumPageSize maximal = maximalPageSize();
        if (maximal.width > 0 && maximal.height > 0) state.maximalPageSize = maximal;
    }
    terminal_.windowSnapshot()->setState(state);
}
