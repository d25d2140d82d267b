// The costliest single control functions on the largest page a host can ask
// for (CSI 8;99999;99999t: 1000x500 without a view), with and without left
// and right margins (CSI ?69h CSI 1;20s): IL, DL, SU, SD, ICH, DCH, ECH, ED
// and EL at their clamped counts, and a line feed at the bottom margin. Each
// runs on a full page of coloured text; its time runs from handing the bytes
// over to the update that shows the change applied to the text storage.
//
//   bench_controls [--runs N] [--only NAME-PART] [--margins-only] [--verbose]
//
// --verbose prints each run's scan (render queue) and update (main thread) times.

#include "TerminalRigs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kLimitMilliseconds = 5.0;

// Every row of the page full, in a few colours.
std::string fullPage(int columns, int rows) {
    std::string out = "\x1b[H";
    static const char* const colours[] = {"\x1b[31m", "\x1b[32m", "\x1b[38;5;208m", "\x1b[0m"};
    for (int y = 0; y < rows; ++y) {
        out += "\x1b[" + std::to_string(y + 1) + ";1H";
        for (int x = 0; x < columns; x += 50) {
            out += colours[(x / 50 + y) % 4];
            for (int k = 0; k < 50 && x + k < columns; ++k)
                out.push_back(char('a' + (x + k + y) % 26));
        }
    }
    return out + "\x1b[0m";
}

struct Case {
    const char* name;
    const char* cursor; // where the function runs
    const char* bytes;
};

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string only;
    bool marginsOnly = false, verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--margins-only")
            marginsOnly = true;
        else if (arg == "--verbose")
            verbose = true;
    }
    const Case cases[] = {{"IL 999", "\x1b[1;1H", "\x1b[999L"},      {"DL 999", "\x1b[1;1H", "\x1b[999M"},
                          {"SU 999", "\x1b[1;1H", "\x1b[999S"},      {"SD 999", "\x1b[1;1H", "\x1b[999T"},
                          {"ICH 9999", "\x1b[1;1H", "\x1b[9999@"},   {"DCH 9999", "\x1b[1;1H", "\x1b[9999P"},
                          {"ECH 9999", "\x1b[1;1H", "\x1b[9999X"},   {"ED 2", "\x1b[1;1H", "\x1b[2J"},
                          {"ED 0 from home", "\x1b[1;1H", "\x1b[J"}, {"EL 2", "\x1b[1;1H", "\x1b[2K"},
                          {"LF at the bottom", "\x1b[500;1H", "\n"}};
    bench::TerminalRig rig(80, 24, 65535, true);
    // The largest page the host may ask for.
    rig.feedAndShow("\x1b[8;99999;99999t", 64);
    RellumPageSize size;
    rig.runFeeder(
        [&] { rig.terminal->renderQueue().sync([&] { size = rig.terminal->context()->pageSize(); }); });
    std::printf("page %lldx%lld, %d runs each (fastest and slowest), from the bytes to the update applied\n",
                (long long)size.width, (long long)size.height, runs);
    std::printf("%-18s %22s %22s\n", "function", "no margins (ms)", "margins 1;20 (ms)");
    const std::string page = fullPage(int(size.width), int(size.height));
    bool allUnder = true;
    for (const Case& c : cases) {
        if (!only.empty() && std::string(c.name).find(only) == std::string::npos) continue;
        std::string cells[2] = {"-", "-"};
        for (int margins = marginsOnly ? 1 : 0; margins < 2; ++margins) {
            double best = 1e9, worst = 0;
            for (int run = 0; run < runs; ++run) {
                // The page is filled first: text written inside the margins
                // would wrap at column 20.
                std::string setup = "\x1b[?69l" + page;
                if (margins) setup += "\x1b[?69h\x1b[1;20s";
                setup += c.cursor;
                rig.feedAndShow(setup, 65536);
                double scan = 0;
                rig.runFeeder([&] {
                    const auto start = std::chrono::steady_clock::now();
                    rig.terminal->renderData(c.bytes);
                    rig.terminal->renderQueue().sync([] {});
                    scan = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                });
                const double ms = (scan + rig.feedAndShow({}, 4096)) * 1000.0;
                if (verbose)
                    std::printf("  %s: scanned in %.2f ms, shown %.2f ms later\n", c.name, scan * 1000,
                                ms - scan * 1000);
                best = std::min(best, ms);
                worst = std::max(worst, ms);
            }
            allUnder = allUnder && worst < kLimitMilliseconds;
            char text[64];
            snprintf(text, sizeof text, "%.2f-%.2f%s", best, worst, worst < kLimitMilliseconds ? "" : " (!)");
            cells[margins] = text;
        }
        std::printf("%-18s %22s %22s\n", c.name, cells[0].c_str(), cells[1].c_str());
        std::fflush(stdout);
    }
    std::printf("every function %s %.0f ms; text storage %s its grid\n", allUnder ? "under" : "NOT under",
                kLimitMilliseconds, rig.storagesMatchGrids() ? "equal to" : "DIFFERENT FROM");
    return 0;
}
