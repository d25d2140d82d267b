#pragma once

// A real terminal with its Qt view in a window, on the Qt main queue and a
// manual clock, and a delegate that records every byte for the host.

#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumTerminal.h"
#include "Rellum/View/RellumClipView.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "Rellum/View/RellumTextView.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace view_test {

class RecordingDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override {
        std::lock_guard lock(mutex);
        written.append(data);
        ++writes;
    }
    void changePageSize(RellumTerminal& terminal, RellumPageSize size) override {
        {
            std::lock_guard lock(mutex);
            proposals.push_back(size);
        }
        if (acceptProposals) terminal.didChangePageSize(size);
    }
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates; }

    // The bytes written since the last call.
    std::string take() {
        std::lock_guard lock(mutex);
        std::string out;
        out.swap(written);
        return out;
    }
    std::vector<RellumPageSize> takeProposals() {
        std::lock_guard lock(mutex);
        std::vector<RellumPageSize> out;
        out.swap(proposals);
        return out;
    }

    std::mutex mutex;
    std::string written;
    int writes = 0;
    std::vector<RellumPageSize> proposals;
    bool acceptProposals = false;
    std::atomic<int> updates{0};
};

inline void pumpEvents(int milliseconds = 0) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (milliseconds > 0) QThread::msleep(1);
    } while (timer.elapsed() < milliseconds);
}

struct ViewHarness {
    std::shared_ptr<WendleQtMainQueue> mainQueue = WendleQtMainQueue::installAsMain();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<RellumTerminal> terminal;
    RellumQtScreenController* controller = nullptr;
    std::unique_ptr<QWidget> window;

    explicit ViewHarness(RellumPageSize size = {80, 24}, bool withFont = true) {
        RellumTerminal::Options options;
        options.clock = clock;
        options.screenControllerFactory = RellumQtScreenController::factory();
        if (withFont) options.font = RellumQtFont::fontWithName("Menlo", 12);
        terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        controller = RellumQtScreenController::of(*terminal);
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(controller->view());
        const RellumCellSize cell = terminal->cellSize();
        window->resize(int(double(size.width) * cell.width + 2 * RellumClipView::kHorizontalInset),
                       int(double(size.height) * cell.height + 2 * RellumClipView::kVerticalInset));
        terminal->initiateWithPageSize(size);
        window->show();
        QApplication::setActiveWindow(window.get());
        view()->setFocus();
        pumpEvents();
        delegate->take();
        delegate->takeProposals();
    }
    ~ViewHarness() {
        // The view goes with the terminal's controller; the window must not
        // delete it a second time.
        if (controller && controller->view()) controller->view()->setParent(nullptr);
        window.reset();
        terminal.reset();
        MainQueue::setMain(nullptr);
    }

    RellumTextView* view() const { return controller->textView(); }
    double cw() const { return view()->charWidth(); }
    double lh() const { return view()->lineHeight(); }
    // The centre of a cell of the visible page, in the text view.
    QPointF cell(int x, int y) const { return {(x + 0.5) * cw(), (y + 0.5) * lh()}; }

    // Feeds host bytes and waits until the display update that shows them
    // has been applied.
    void feed(const std::string& bytes) {
        terminal->renderData(bytes);
        // No update can be waiting for this thread until the clock moves.
        terminal->renderQueue().sync([] {});
        const int before = delegate->updates.load();
        if (clock->advance(RellumTerminal::kLongChunkDelay) == 0) return;
        QElapsedTimer timer;
        timer.start();
        while (delegate->updates.load() == before && timer.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        terminal->renderQueue().sync([] {});
        pumpEvents();
    }
};

} // namespace view_test
