// rellum-replay: feeds files of host bytes, in order, through a headless
// terminal and prints what it shows after the last update.
//
//   rellum-replay [--cols N] [--rows N] [--debug] [--replies] FILE...
//
// Prints the visible page (one line per row, void cells as spaces, trailing
// spaces removed) and "cursor: X Y", or with --debug the active grid's debug
// description; with --replies also every write to the host as hex, one
// write per line. Exits 2 when a text storage differs from its grid.

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "ReadWholeFile.h"
#include "Rellum/Categories/RellumUTF8.h"
#include "Rellum/RellumElements.h"
#include "Rellum/RellumTerminal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

class ReplayDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override {
        std::lock_guard lock(mutex_);
        replies_.emplace_back(data);
    }
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates_; }

    int updates() const { return updates_.load(); }
    std::vector<std::string> replies() {
        std::lock_guard lock(mutex_);
        return replies_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> replies_;
    std::atomic<int> updates_{0};
};

using rellum_detail::appendUTF8;

std::string rowText(const RellumGrid& grid, uint64_t y) {
    const uint64_t index = grid.lineIndexAtY(y);
    if (index >= grid.acutalLineCount()) return {};
    const RellumElements& cells = grid.lineAtIndex(index).elements();
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const RellumElement& cell = cells[i];
        if (cell.isWideRight()) continue;
        if (cell.isVoidPadding() || cell.isTabPadding()) {
            out.push_back(' ');
            continue;
        }
        appendUTF8(out, cell.uchar);
        for (char32_t mark : cells.componentsAt(i))
            appendUTF8(out, mark);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

int usage() {
    std::cerr << "usage: rellum-replay [--cols N] [--rows N] [--debug] [--replies] FILE...\n";
    return 64;
}

bool parseSize(const char* text, int64_t* value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 1 || v > 10000) return false;
    *value = v;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int64_t cols = 80, rows = 24;
    bool debug = false, replies = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--debug") {
            debug = true;
        } else if (arg == "--replies") {
            replies = true;
        } else if (arg == "--cols" || arg == "--rows") {
            if (i + 1 >= argc || !parseSize(argv[i + 1], arg == "--cols" ? &cols : &rows)) {
                std::cerr << "rellum-replay: " << arg << " needs a number from 1 to 10000\n";
                return 64;
            }
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return usage();

    std::vector<std::string> inputs;
    for (const std::string& path : files) {
        std::optional<std::string> bytes = readWholeFile(path);
        if (!bytes) {
            std::cerr << "rellum-replay: cannot read " << path << ": " << std::strerror(errno) << "\n";
            return 66;
        }
        inputs.push_back(std::move(*bytes));
    }

    auto clock = std::make_shared<ManualClock>();
    auto main = std::make_shared<DrivableMainQueue>(clock);
    MainQueue::setMain(main);
    auto delegate = std::make_shared<ReplayDelegate>();
    RellumTerminal::Options options;
    options.clock = clock;
    auto terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
    terminal->initiateWithPageSize({cols, rows});
    for (const std::string& input : inputs)
        for (std::size_t at = 0; at < input.size(); at += 4096)
            terminal->renderData(input.substr(at, 4096));

    // Nothing waits for this thread until the clock moves: wait for the
    // scan, then run the one update.
    terminal->renderQueue().sync([] {});
    if (clock->advance(RellumTerminal::kLongChunkDelay) > 0) {
        for (int i = 0; i < 100000 && delegate->updates() == 0; ++i) {
            main->runUntilIdle();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    terminal->renderQueue().sync([] {});

    int status = 0;
    std::string out;
    RellumTerminal* t = terminal.get();
    t->renderQueue().sync([&] {
        if (t->primaryTextStorage()->string() != t->primaryGrid()->string() ||
            t->alternateTextStorage()->string() != t->alternateGrid()->string())
            status = 2;
        RellumGrid* grid = t->activeGrid();
        if (debug) {
            out = grid->debugDescription();
            out.push_back('\n');
        } else {
            for (int64_t y = 0; y < rows; ++y)
                out.append(rowText(*grid, uint64_t(y))).push_back('\n');
            out.append("cursor: ")
                .append(std::to_string(grid->cursorX()))
                .append(" ")
                .append(std::to_string(grid->cursorY()))
                .push_back('\n');
        }
    });
    if (replies) {
        static const char* const hex = "0123456789abcdef";
        for (const std::string& reply : delegate->replies()) {
            out.append("reply: ");
            for (unsigned char c : reply) {
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            }
            out.push_back('\n');
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (status != 0) std::cerr << "rellum-replay: a text storage differs from its grid\n";
    terminal.reset();
    MainQueue::setMain(nullptr);
    return status;
}
