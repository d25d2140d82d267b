// The terminal view: a full repaint of a 200 x 60 page of coloured text, and
// one display update that applies 10,000 edits on the main thread. Both must
// stay well under a frame (targets: 8 ms and 10 ms on the offscreen platform).
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/bench_view

#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumTerminal.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "Rellum/View/RellumTextView.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

class BenchDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view) override {}
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
    void terminalDidBeginUpdateUI(RellumTerminal&) override { began = Clock::now(); }
    void terminalDidEndUpdateUI(RellumTerminal&) override {
        ended = Clock::now();
        ++updates;
    }
    Clock::time_point began, ended;
    std::atomic<int> updates{0};
};

struct Page {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<BenchDelegate> delegate = std::make_shared<BenchDelegate>();
    std::shared_ptr<RellumTerminal> terminal;
    RellumQtScreenController* controller = nullptr;

    explicit Page(RellumPageSize size) {
        RellumTerminal::Options options;
        options.clock = clock;
        options.screenControllerFactory = RellumQtScreenController::factory();
        options.font = RellumQtFont::fontWithName("Menlo", 12);
        terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        controller = RellumQtScreenController::of(*terminal);
        const RellumCellSize cell = terminal->cellSize();
        controller->view()->resize(int(double(size.width) * cell.width + 8),
                                   int(double(size.height) * cell.height + 4));
        terminal->initiateWithPageSize(size);
        controller->view()->show();
        QCoreApplication::processEvents();
    }
    ~Page() { terminal.reset(); }

    // Feeds bytes and waits for the update that shows them; answers the time
    // from its hand-over to the main thread to its end, once applied there.
    double feed(const std::string& bytes) {
        terminal->renderData(bytes);
        terminal->renderQueue().sync([] {});
        const int before = delegate->updates.load();
        clock->advance(RellumTerminal::kLongChunkDelay);
        while (delegate->updates.load() == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        terminal->renderQueue().sync([] {});
        return std::chrono::duration<double>(delegate->ended - delegate->began).count();
    }
};

std::string colouredPage(int columns, int rows, int seed) {
    std::string out = "\x1b[H";
    for (int y = 0; y < rows; ++y) {
        out += "\x1b[" + std::to_string(y + 1) + ";1H";
        for (int x = 0; x < columns; x += 8) {
            const int n = (x / 8 + y * 3 + seed) % 256;
            out += "\x1b[38;5;" + std::to_string(n) + "m";
            if ((x / 8 + y) % 5 == 0) out += "\x1b[1m";
            if ((x / 8 + y) % 7 == 0) out += "\x1b[48;5;" + std::to_string((n * 7) % 256) + "m";
            out += std::string("word") + char('a' + (x + y) % 26) + "   ";
            out += "\x1b[0m";
        }
    }
    return out;
}

void BM_FullRepaint200x60(benchmark::State& state) {
    Page page({200, 60});
    page.feed(colouredPage(200, 60, 0));
    QWidget* view = page.controller->view();
    QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view->render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["target_ms"] = 8;
}
BENCHMARK(BM_FullRepaint200x60)->Unit(benchmark::kMillisecond);

void BM_ApplyUpdateOf10000Edits(benchmark::State& state) {
    Page page({200, 60});
    page.feed(colouredPage(200, 60, 1));
    int round = 0;
    for (auto _ : state) {
        // 10,000 single cells written at scattered places: one edit each.
        std::string bytes;
        bytes.reserve(200000);
        for (int i = 0; i < 10000; ++i) {
            const int row = (i * 7 + round) % 60 + 1, column = (i * 13 + round * 3) % 200 + 1;
            bytes += "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
            bytes += char('a' + (i + round) % 26);
        }
        ++round;
        const double seconds = page.feed(bytes);
        state.SetIterationTime(seconds);
    }
    state.counters["target_ms"] = 10;
}
BENCHMARK(BM_ApplyUpdateOf10000Edits)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

// With the scrollback full, every update drops the oldest lines too: the
// view then reads the whole storage again to find where its lines start.
void BM_UpdateWithFullScrollback(benchmark::State& state) {
    Page page({80, 24});
    std::string lines;
    for (int i = 0; i < 70000; ++i)
        lines += "scrollback line " + std::to_string(i) + " with some text to fill it out a little\r\n";
    page.feed(lines);
    int round = 0;
    for (auto _ : state) {
        std::string more;
        for (int i = 0; i < 24; ++i)
            more += "new output " + std::to_string(round) + ":" + std::to_string(i) + "\r\n";
        ++round;
        state.SetIterationTime(page.feed(more));
    }
    state.counters["lines"] = double(page.controller->textView()->documentLineCount());
}
BENCHMARK(BM_UpdateWithFullScrollback)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto mainQueue = WendleQtMainQueue::installAsMain();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MainQueue::setMain(nullptr);
    return 0;
}
