#include "TerminalHarness.h"

#include <gtest/gtest.h>

#include <map>
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

} // namespace

// Eight threads and the main thread feed while updates run on a real clock:
// nothing deadlocks, every line arrives once and in its writer's order, and
// at every update each storage equals its grid's lines joined by "\n".
TEST(RellumTerminalStress, NineWritersWhileUpdatesRun) {
    TerminalHarness h({80, 24}, /*realClock=*/true);
    constexpr int kThreads = 8, kChunks = 12, kLines = 15;
    int checked = 0;
    std::vector<std::string> mismatches;
    h.controller->onUpdate = [&] {
        // The render queue waits in its hop to this thread: the grids hold still.
        RellumTerminal& t = *h.terminal;
        if (t.primaryTextStorage()->string() != t.primaryGrid()->string()) mismatches.push_back("primary");
        if (t.alternateTextStorage()->string() != t.alternateGrid()->string()) mismatches.push_back("alternate");
        ++checked;
    };

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

    EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " mismatches";
    EXPECT_GT(checked, 1);
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
