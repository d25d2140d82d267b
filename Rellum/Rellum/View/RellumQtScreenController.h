#pragma once

#include "Rellum/RellumScreenController.h"
#include "Rellum/RellumTerminal.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <unordered_map>

class RellumClipView;
class RellumScrollView;
class RellumStorageLineIndex;
class RellumTextView;

// The terminal's view controller over Qt: builds the page the application
// shows (scroll view, clip view, text view), turns the page's size into the
// largest page size that fits, proposes a new page size once a burst of
// resizes has settled, receives each display update and carries out the
// host's window operations. Created by the terminal (factory()) on the main
// thread; lives as long as its terminal and takes its view with it.
class RellumQtScreenController final : public QObject, public RellumScreenController {
    Q_OBJECT
public:
    // How long the view's size must stay unchanged before a new page size is proposed.
    static constexpr int kResizeSettleMilliseconds = 100;

    RellumQtScreenController(RellumTerminal& terminal, RellumTextStorage& storage);
    ~RellumQtScreenController() override;

    // What RellumTerminal::Options::screenControllerFactory takes.
    static RellumTerminal::ScreenControllerFactory factory();
    // The controller of a terminal made with factory(); null otherwise.
    static RellumQtScreenController* of(const RellumTerminal& terminal);

    // The page the application shows, focuses and snapshots.
    RellumScrollView* view() const;
    RellumScrollView* scrollView() const;
    RellumClipView* clipView() const;
    RellumTextView* textView() const;
    RellumTerminal& terminal() const { return terminal_; }

    void setResizeSettleInterval(int milliseconds);
    // Proposes the page size that fits now (what a settled resize does).
    void viewDidLayout();
    // The page that fits a page view of this size.
    RellumPageSize pageSizeForViewSize(double width, double height) const;

    bool newlinesPasteAsCarriageReturns() const;
    void setNewlinesPasteAsCarriageReturns(bool on);

    // RellumScreenController.
    RellumPageSize maximalPageSize() override;
    void setLineHeight(double lineHeight, double charWidth) override;
    void updateBackgroundColor(const std::optional<RellumColor>& color) override;
    void replaceTextStorage(RellumTextStorage* storage) override;
    RellumTextStorage* contentAttributedString() override { return storage_; }
    void updateContext(std::unique_ptr<RellumContext> context, uint64_t cursorLocation, RellumRect cursorRect,
                       RellumCoord cursorCoord) override;
    void iconifyWindow(bool iconify) override;
    void moveWindowToOrigin(RellumPoint origin) override;
    RellumPoint windowTopLeftPoint() override;
    void raiseWindow(bool raise) override;
    std::optional<RellumSize> viewFrameSize() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RellumStorageLineIndex* indexFor(RellumTextStorage* storage);
    void publishWindowState();

    RellumTerminal& terminal_;
    RellumTextStorage* storage_ = nullptr;
    QPointer<RellumScrollView> scrollView_;
    QPointer<RellumClipView> clipView_;
    QPointer<RellumTextView> textView_;
    QTimer resizeTimer_;
    std::unordered_map<RellumTextStorage*, std::unique_ptr<RellumStorageLineIndex>> lineIndexes_;
};
