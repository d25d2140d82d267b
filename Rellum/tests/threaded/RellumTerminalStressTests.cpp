#include "TerminalHarness.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

using namespace terminal_test;
using namespace std::chrono_literals;

namespace {

// Chunk c of writer w: whole lines "w<w> c<c> l<l>", so chunks of different
// writers never mix within a line.
std::string chunkOf(int writer, int chunk, int lines) {
    std::string out;
    char line[64];
    for (int l = 0; l < lines; ++l) {
        snprintf(line, sizeof line, "w%d c%d l%d\r\n", writer, chunk, l);
        out += line;
    }
    return out;
}

// Checks at every update that each storage equals its grid's lines as they
// stood when the update was handed over (the grids move on while the main
// thread applies it).
struct StoragesMatchGridsAtEachUpdate {
    std::mutex mutex;
    std::deque<std::pair<std::u16string, std::u16string>> handedOver;
    std::vector<std::string> mismatches;
    int checked = 0;

    explicit StoragesMatchGridsAtEachUpdate(TerminalHarness& h) {
        h.delegate->onBegin = [this](RellumTerminal& t) {
            std::lock_guard lock(mutex);
            handedOver.emplace_back(t.primaryGrid()->string(), t.alternateGrid()->string());
        };
        h.controller->onUpdate = [this, &h] {
            std::pair<std::u16string, std::u16string> grids;
            {
                std::lock_guard lock(mutex);
                if (handedOver.empty()) {
                    mismatches.push_back("an update nobody handed over");
                    return;
                }
                grids = std::move(handedOver.front());
                handedOver.pop_front();
            }
            RellumTerminal& t = *h.terminal;
            if (t.primaryTextStorage()->string() != grids.first) mismatches.push_back("primary");
            if (t.alternateTextStorage()->string() != grids.second) mismatches.push_back("alternate");
            ++checked;
        };
    }
};

} // namespace

// Eight threads and the main thread feed while updates run on a real clock:
// nothing deadlocks, every line arrives once and in its writer's order, and
// at every update each storage equals its grid's lines joined by "\n".
TEST(RellumTerminalStress, NineWritersWhileUpdatesRun) {
    TerminalHarness h({80, 24}, /*realClock=*/true);
    constexpr int kThreads = 8, kChunks = 12, kLines = 15;
    StoragesMatchGridsAtEachUpdate check(h);

    std::atomic<int> finished{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kThreads; ++w)
        writers.emplace_back([&, w] {
            for (int c = 0; c < kChunks; ++c) {
                h.terminal->renderData(chunkOf(w, c, kLines));
                if (c % 3 == 0) std::this_thread::sleep_for(5ms);
            }
            ++finished;
        });
    // The main thread writes too (as the connection log is echoed) while it
    // serves the updates.
    for (int c = 0; c < kChunks; ++c) {
        h.terminal->renderData(chunkOf(kThreads, c, kLines));
        h.main->runUntil([] { return false; }, 10ms);
    }
    ASSERT_TRUE(h.main->runUntil([&] { return finished.load() == kThreads; }, 60s)) << "writers stuck";
    for (auto& t : writers)
        t.join();
    // Let the last chunks reach the storages.
    h.drainRealClock();

    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.size() << " mismatches";
    EXPECT_GT(check.checked, 1);
    const std::string text = h.primaryText();
    EXPECT_EQ(text, h.gridText());
    std::map<int, int> next; // writer -> next expected line number
    std::istringstream lines(text);
    std::string line;
    int total = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        int w = -1, c = -1, l = -1;
        ASSERT_EQ(sscanf(line.c_str(), "w%d c%d l%d", &w, &c, &l), 3) << line;
        EXPECT_EQ(c * kLines + l, next[w]) << "writer " << w << " out of order at " << line;
        next[w] = c * kLines + l + 1;
        ++total;
    }
    EXPECT_EQ(total, (kThreads + 1) * kChunks * kLines);
    for (int w = 0; w <= kThreads; ++w)
        EXPECT_EQ(next[w], kChunks * kLines) << "writer " << w;
}

// The host confirms page sizes on its own thread, and the view changes the
// font and colours on the main thread, while output is being scanned and
// shown: every change reaches the render queue in order, and the storages
// keep equal to their grids.
TEST(RellumTerminalStress, SizesFontsAndColoursFromOtherThreadsDuringOutput) {
    TerminalHarness h({80, 24}, /*realClock=*/true);
    StoragesMatchGridsAtEachUpdate check(h);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int c = 0; c < 40; ++c)
            h.terminal->renderData(chunkOf(0, c, 10));
        done = true;
    });
    std::thread host([&] {
        for (int i = 0; i < 30; ++i) {
            h.terminal->didChangePageSize({int64_t(40 + i % 7 * 10), int64_t(10 + i % 5)});
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int i = 0; i < 20; ++i) {
        // Half the changes come after an update has been applied (a machine
        // under load may otherwise scan everything before the first one).
        if (i == 10) {
            ASSERT_TRUE(h.main->runUntil([&] { return check.checked >= 1; }, 20s));
        }
        h.terminal->setFont(std::make_shared<TestFont>("F", 6 + i % 3));
        h.terminal->setDefaultTextColor(i % 2 ? RellumColor::colorWithRGB255(1, 2, 3) : rellum_flatWhite());
        if (i % 4 == 0) h.terminal->showAlternateScreen();
        if (i % 4 == 2) h.terminal->hideAlternateScreen();
        h.main->runUntil([] { return false; }, 2ms);
    }
    host.join();
    ASSERT_TRUE(h.main->runUntil([&] { return done.load(); }, 60s));
    writer.join();
    h.drainRealClock();
    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.size() << " mismatches";
    EXPECT_GT(check.checked, 1);
    EXPECT_EQ(h.primaryText(), h.gridText());
    EXPECT_EQ(h.alternateText(), h.gridText(true));
    const RellumPageSize last{40 + 29 % 7 * 10, 10 + 29 % 5};
    EXPECT_EQ(h.terminal->pageSize(), last);
    h.onRenderQueue([&](RellumTerminal& t) { EXPECT_EQ(t.primaryGrid()->pageSize(), last); });
    EXPECT_EQ(h.terminal->primaryTextStorage()->advance(), 6 + 19 % 3);
}

// The cell size and the font are read from other threads while full resets
// replace the terminal's state on the render queue and the font changes:
// every read sees one of the fonts set, never a state being replaced.
TEST(RellumTerminalStress, CellSizeAndFontWhileFullResetsRun) {
    TerminalHarness h({80, 24}, /*realClock=*/true);
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, wrong{0};
    std::thread reader([&] {
        while (!stop.load()) {
            const RellumCellSize cell = h.terminal->cellSize();
            const std::shared_ptr<const RellumFont> font = h.terminal->font();
            if (!font || cell.width < 6 || cell.width > 8) ++wrong;
            ++reads;
            std::this_thread::sleep_for(20us);
        }
    });
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (int c = 0; c < 200; ++c)
            h.terminal->renderData(c % 2 ? std::string("\033c") : std::string("text\r\n"));
        written = true;
    });
    for (int i = 0; i < 20; ++i) {
        h.terminal->setFont(std::make_shared<TestFont>("F", 6 + i % 3));
        h.main->runUntil([] { return false; }, 1ms);
    }
    // Updates wait for this thread: it serves them until the writer is done.
    ASSERT_TRUE(h.main->runUntil([&] { return written.load(); }, 60s));
    writer.join();
    h.drainRealClock();
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_DOUBLE_EQ(h.terminal->cellSize().width, 6 + 19 % 3);
    EXPECT_EQ(h.terminal->font()->familyName(), "F");
}
