// rellum-screenshot: replays recorded host bytes into a real terminal window
// and saves what the window shows as a PNG.

#include "Dispatch/SerialQueue.h"
#include "ReadWholeFile.h"
#include "Rellum/RellumTerminal.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumQtScreenController.h"
#include "Rellum/View/RellumScrollView.h"
#include "Rellum/View/RellumTextView.h"
#include "Wendle/Views/WendleQtMainQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: rellum-screenshot [--cols N] [--rows N] [--font NAME] [--size POINTS] [--unfocused] IN... "
    "OUT.png\n"
    "\n"
    "Feeds the files IN, in order, to a terminal of N columns by N rows (80 x 24 by\n"
    "default) shown in a real window, waits for the display to catch up and saves\n"
    "the window as OUT.png. --font and --size choose the font (\"Menlo\" at 12 points,\n"
    "which stands for an installed fixed-pitch family); --unfocused draws the window\n"
    "as it looks without the keyboard focus (outlined cursor).\n"
    "\n"
    "Without a display, run it under Xvfb:\n"
    "  xvfb-run -a build/release/tools/rellum-screenshot/rellum-screenshot \\\n"
    "      --cols 80 --rows 24 in.bin out.png\n"
    "or on Qt's offscreen platform: QT_QPA_PLATFORM=offscreen rellum-screenshot ...\n"
    "Sample recordings: tools/rellum-screenshot/samples/ (a coloured listing, a\n"
    "full-screen editor, wide CJK text and box drawing). Prints \"wrote OUT.png WxH\".\n";

// Accepts every page size the terminal proposes, as a host would.
class ScreenshotDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view) override {}
    void changePageSize(RellumTerminal& terminal, RellumPageSize size) override {
        terminal.didChangePageSize(size);
    }
    void terminalDidBeginUpdateUI(RellumTerminal&) override { ++began; }
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates; }
    std::atomic<int> began{0};
    std::atomic<int> updates{0};
};

bool parseNumber(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(v >= low && v <= high)) return false;
    *value = v;
    return true;
}

void pump(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

} // namespace

int main(int argc, char** argv) {
    double cols = 80, rows = 24, size = 12;
    std::string fontName(RellumQtFont::DefaultFontName);
    bool unfocused = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--unfocused") {
            unfocused = true;
        } else if (arg == "--cols" || arg == "--rows" || arg == "--size") {
            double* target = arg == "--cols" ? &cols : arg == "--rows" ? &rows : &size;
            const double high = arg == "--size" ? 200 : 1000;
            if (i + 1 >= argc || !parseNumber(argv[i + 1], arg == "--size" ? 1 : 2, high, target)) {
                std::cerr << "rellum-screenshot: " << arg << " needs a number from "
                          << (arg == "--size" ? 1 : 2) << " to " << high << "\n";
                return 64;
            }
            ++i;
        } else if (arg == "--font") {
            if (i + 1 >= argc) {
                std::cerr << "rellum-screenshot: --font needs a family name\n";
                return 64;
            }
            fontName = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << kUsage;
            return 64;
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() < 2) {
        std::cerr << kUsage;
        return 64;
    }
    const std::string out = paths.back();
    paths.pop_back();

    std::vector<std::string> inputs;
    for (const std::string& path : paths) {
        std::optional<std::string> bytes = readWholeFile(path);
        if (!bytes) {
            std::cerr << "rellum-screenshot: cannot read " << path << ": " << std::strerror(errno) << "\n";
            return 66;
        }
        inputs.push_back(std::move(*bytes));
    }

    QApplication app(argc, argv);
    auto mainQueue = WendleQtMainQueue::installAsMain();
    auto delegate = std::make_shared<ScreenshotDelegate>();
    RellumTerminal::Options options;
    options.screenControllerFactory = RellumQtScreenController::factory();
    options.font = RellumQtFont::fontWithName(fontName, size);
    auto terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
    RellumQtScreenController* controller = RellumQtScreenController::of(*terminal);

    const RellumCellSize cell = terminal->cellSize();
    QWidget window;
    window.setWindowTitle(QStringLiteral("rellum-screenshot"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(controller->view());
    window.resize(int(cols * cell.width + 8), int(rows * cell.height + 4));
    terminal->initiateWithPageSize({int64_t(cols), int64_t(rows)});
    window.show();
    if (!unfocused) {
        window.activateWindow();
        controller->textView()->setFocus();
    }
    pump(50);

    for (const std::string& input : inputs)
        for (std::size_t at = 0; at < input.size(); at += 4096)
            terminal->renderData(input.substr(at, 4096));
    // Wait until every byte has been scanned, then for the update that shows it.
    // Updates begin on the render queue, so the update that shows the last
    // byte is the first one begun after it; updates end in order.
    std::atomic<bool> scanned{false};
    std::atomic<int> before{0};
    terminal->renderQueue().async([&] {
        before = delegate->began.load();
        scanned = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!scanned && timer.elapsed() < 30000)
        pump(5);
    while (delegate->updates.load() <= before.load() && timer.elapsed() < 30000)
        pump(5);
    // A picture of part of the output must not pass for the whole.
    const bool shown = scanned && delegate->updates.load() > before.load();
    pump(100);
    // A shown window takes the keyboard focus for its first widget on most
    // platforms (the offscreen one too), so the view is told either way.
    if (unfocused)
        controller->textView()->clearFocus();
    else
        controller->textView()->setFocus();
    pump(20);

    const QPixmap shot = window.grab();
    int status = 0;
    if (!shown) {
        std::cerr
            << "rellum-screenshot: the output was not all shown within 30 s; the picture is incomplete\n";
        status = 75;
    }
    if (!shot.save(QString::fromStdString(out), "PNG")) {
        std::cerr << "rellum-screenshot: cannot write " << out << "\n";
        status = 73;
    } else {
        std::cout << "wrote " << out << " " << shot.width() << "x" << shot.height() << "\n";
    }
    window.hide();
    layout->removeWidget(controller->view());
    controller->view()->setParent(nullptr);
    terminal.reset();
    MainQueue::setMain(nullptr);
    return status;
}
