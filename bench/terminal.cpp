// Throughput of a whole terminal (scanner, control functions, grid with 65535
// lines of scrollback, edits applied to the text storages on the main
// thread) against libvterm (a screen with a scrollback of 65535 lines kept
// through its callbacks) on the same payloads; then the memory of 65535 full
// coloured scrollback lines.
//
//   bench_terminal [--megabytes N] [--only NAME-PART] [--memory-only]
//                  [--no-memory] [--no-peer]   (for profiling one side)

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumTerminal.h"

#include <vterm.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kChunk = 4096;
// An update after this many bytes, as the coalesced updates of a busy stream
// would come (the clock of the benchmark is a manual one).
constexpr std::size_t kBytesPerUpdate = 64 * 1024;
constexpr int kRows = 24, kCols = 80;
constexpr int kScrollback = 65535;

// ---- Payloads ----

std::string asciiPayload(std::size_t size) {
    std::mt19937 rng(1);
    std::string out;
    out.reserve(size + 128);
    while (out.size() < size) {
        const int n = 10 + int(rng() % 70);
        for (int i = 0; i < n; ++i)
            out.push_back(rng() % 7 == 0 ? ' ' : char('!' + rng() % 94));
        out += "\r\n";
    }
    return out;
}

std::string utf8Payload(std::size_t size) {
    std::mt19937 rng(2);
    static const char* const pieces[] = {"abc",
                                         "d\xC3\xA9j\xC3\xA0",
                                         "\xE4\xB8\x80\xE4\xBA\x8C", // wide
                                         "e\xCC\x81",
                                         "a\xCC\x80\xCC\x82",
                                         "\xF0\x9F\x98\x80", // marks, emoji
                                         "\xCE\xB1\xCE\xB2",
                                         "\xD0\xB6\xD0\xB8",
                                         "\xE3\x81\x82\xE3\x81\x84",
                                         " "};
    std::string out;
    out.reserve(size + 128);
    while (out.size() < size) {
        const int n = 5 + int(rng() % 25);
        for (int i = 0; i < n; ++i)
            out += pieces[rng() % 10];
        out += "\r\n";
    }
    return out;
}

std::string colourPayload(std::size_t size) {
    std::mt19937 rng(3);
    std::string out;
    out.reserve(size + 128);
    char sgr[32];
    while (out.size() < size) {
        const int words = 3 + int(rng() % 8);
        for (int w = 0; w < words; ++w) {
            switch (rng() % 4) {
            case 0:
                snprintf(sgr, sizeof sgr, "\x1b[38;5;%um", unsigned(rng() % 256));
                break;
            case 1:
                snprintf(sgr, sizeof sgr, "\x1b[1;%um", 31 + unsigned(rng() % 7));
                break;
            case 2:
                snprintf(sgr, sizeof sgr, "\x1b[48;2;%u;%u;%um", unsigned(rng() % 256), unsigned(rng() % 256),
                         unsigned(rng() % 256));
                break;
            default:
                snprintf(sgr, sizeof sgr, "\x1b[0m");
                break;
            }
            out += sgr;
            const int n = 2 + int(rng() % 8);
            for (int i = 0; i < n; ++i)
                out.push_back(char('a' + rng() % 26));
            out.push_back(' ');
        }
        out += "\x1b[0m\r\n";
    }
    return out;
}

std::string regionPayload(std::size_t size) {
    std::mt19937 rng(4);
    std::string out = "\x1b[2J\x1b[5;20r";
    out.reserve(size + 128);
    while (out.size() < size) {
        out += "\x1b[20;1H"; // bottom of the region
        for (int l = 0; l < 16; ++l) {
            const int n = 10 + int(rng() % 60);
            for (int i = 0; i < n; ++i)
                out.push_back(char('a' + rng() % 26));
            out += "\r\n";
        }
        out += "\x1b[1;1Hstatus line\x1b[24;1Hbottom line";
    }
    out += "\x1b[r";
    return out;
}

// ---- The terminal ----

class NullDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view) override {}
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
};

struct TerminalRig {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<DrivableMainQueue> main = std::make_shared<DrivableMainQueue>(clock);
    std::shared_ptr<NullDelegate> delegate = std::make_shared<NullDelegate>();
    std::shared_ptr<RellumTerminal> terminal;

    TerminalRig() {
        MainQueue::setMain(main);
        RellumTerminal::Options options;
        options.clock = clock;
        terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        terminal->initiateWithPageSize({kCols, kRows});
        terminal->setMaxScrollback(kScrollback);
    }
    ~TerminalRig() {
        terminal.reset();
        MainQueue::setMain(nullptr);
    }
    // Called from a feeding thread: fires the pending update and waits until it ran.
    void updateFromFeeder() {
        terminal->renderQueue().sync([] {});
        clock->advance(RellumTerminal::kLongChunkDelay);
        terminal->renderQueue().sync([] {});
    }
    // Runs work on a feeding thread while this (main) thread serves the updates.
    void runFeeder(const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread feeder([&] {
            work();
            updateFromFeeder();
            done = true;
            main->async([] {});
        });
        main->runUntil([&] { return done.load(); }, std::chrono::hours(1));
        feeder.join();
    }
    bool storagesMatchGrids() {
        bool same = false;
        RellumTerminal* t = terminal.get();
        t->renderQueue().sync([&] {
            same = t->primaryTextStorage()->string() == t->primaryGrid()->string() &&
                   t->alternateTextStorage()->string() == t->alternateGrid()->string();
        });
        return same;
    }
};

double terminalSeconds(const std::string& payload, bool* consistent) {
    TerminalRig rig;
    const auto start = std::chrono::steady_clock::now();
    rig.runFeeder([&] {
        std::size_t sinceUpdate = 0;
        for (std::size_t at = 0; at < payload.size(); at += kChunk) {
            rig.terminal->renderData(payload.substr(at, kChunk));
            sinceUpdate += kChunk;
            if (sinceUpdate >= kBytesPerUpdate) {
                rig.updateFromFeeder();
                sinceUpdate = 0;
            }
        }
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *consistent = rig.storagesMatchGrids();
    return seconds;
}

// ---- libvterm ----

struct VtermScrollback {
    std::vector<std::vector<VTermScreenCell>> lines = std::vector<std::vector<VTermScreenCell>>(kScrollback);
    std::size_t next = 0, count = 0;
    uint64_t damage = 0;
};

int vtermPushLine(int cols, const VTermScreenCell* cells, void* user) {
    auto* sb = static_cast<VtermScrollback*>(user);
    sb->lines[sb->next].assign(cells, cells + cols);
    sb->next = (sb->next + 1) % sb->lines.size();
    sb->count = std::min(sb->count + 1, sb->lines.size());
    return 1;
}

int vtermPopLine(int cols, VTermScreenCell* cells, void* user) {
    auto* sb = static_cast<VtermScrollback*>(user);
    if (sb->count == 0) return 0;
    sb->next = (sb->next + sb->lines.size() - 1) % sb->lines.size();
    --sb->count;
    const auto& line = sb->lines[sb->next];
    for (int i = 0; i < cols; ++i)
        cells[i] = i < int(line.size()) ? line[std::size_t(i)]
                   : line.empty()       ? VTermScreenCell{}
                                        : line.back();
    return 1;
}

int vtermDamage(VTermRect rect, void* user) {
    static_cast<VtermScrollback*>(user)->damage += uint64_t(rect.end_row - rect.start_row);
    return 1;
}

double vtermSeconds(const std::string& payload) {
    VtermScrollback sb;
    VTerm* vt = vterm_new(kRows, kCols);
    vterm_set_utf8(vt, 1);
    VTermScreen* screen = vterm_obtain_screen(vt);
    VTermScreenCallbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    callbacks.damage = vtermDamage;
    callbacks.sb_pushline = vtermPushLine;
    callbacks.sb_popline = vtermPopLine;
    vterm_screen_set_callbacks(screen, &callbacks, &sb);
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_set_damage_merge(screen, VTERM_DAMAGE_SCROLL);
    vterm_screen_reset(screen, 1);
    const auto start = std::chrono::steady_clock::now();
    std::size_t sinceUpdate = 0;
    for (std::size_t at = 0; at < payload.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, payload.size() - at);
        vterm_input_write(vt, payload.data() + at, n);
        sinceUpdate += n;
        if (sinceUpdate >= kBytesPerUpdate) {
            vterm_screen_flush_damage(screen);
            sinceUpdate = 0;
        }
    }
    vterm_screen_flush_damage(screen);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    vterm_free(vt);
    return seconds;
}

// ---- Memory ----

long residentBytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return resident * sysconf(_SC_PAGESIZE);
}

void memoryFigures() {
    const long before = residentBytes();
    {
        TerminalRig rig;
        // Full lines of 80 cells in eight colours each (the colours set on
        // the terminal's state directly, as the control functions do).
        const RellumColor colours[] = {
            RellumColor::colorWithRGB255(200, 0, 0),   RellumColor::colorWithRGB255(0, 200, 0),
            RellumColor::colorWithRGB255(0, 0, 200),   RellumColor::colorWithRGB255(200, 200, 0),
            RellumColor::colorWithRGB255(0, 200, 200), RellumColor::colorWithRGB255(200, 0, 200),
            RellumColor::colorWithRGB255(90, 90, 90),  RellumColor::colorWithRGB255(250, 250, 250)};
        RellumTerminal* t = rig.terminal.get();
        rig.runFeeder([&] {
            for (int block = 0; block < (kScrollback + kRows) / 1000 + 1; ++block) {
                t->renderQueue().sync([&] {
                    for (int l = 0; l < 1000; ++l) {
                        for (int k = 0; k < 8; ++k) {
                            t->context()->setCurrentTextColor(colours[(l + k) % 8]);
                            t->scanner()->scanData("0123456789");
                        }
                        t->scanner()->scanData("\r\n");
                    }
                });
                rig.updateFromFeeder();
            }
        });
        uint64_t lines = 0;
        t->renderQueue().sync([&] { lines = t->primaryGrid()->acutalLineCount(); });
        const long after = residentBytes();
        std::printf("memory: 80x24, %llu lines (%d of scrollback), 8 colours a line: resident %.1f MiB "
                    "(%.1f MiB for the terminal) -> %s 64 MiB\n",
                    (unsigned long long)lines, kScrollback, double(after) / 1048576.0,
                    double(after - before) / 1048576.0, after < 64L * 1048576 ? "under" : "OVER");
        std::printf("memory: text storage %llu runs, %s its grid\n",
                    (unsigned long long)t->primaryTextStorage()->runCount(),
                    rig.storagesMatchGrids() ? "equal to" : "DIFFERENT FROM");
    }
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 4;
    bool memoryOnly = false, noMemory = false, noPeer = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--megabytes") && i + 1 < argc)
            megabytes = std::size_t(std::max(1, std::atoi(argv[++i])));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--memory-only"))
            memoryOnly = true;
        else if (!std::strcmp(argv[i], "--no-memory"))
            noMemory = true;
        else if (!std::strcmp(argv[i], "--no-peer"))
            noPeer = true;
    }
    if (memoryOnly) {
        memoryFigures();
        return 0;
    }
    // The memory figure comes from a process of its own, before anything
    // else has grown this one.
    const pid_t child = noMemory ? -1 : fork();
    if (child == 0) {
        memoryFigures();
        std::fflush(stdout);
        _exit(0);
    }
    if (child > 0) waitpid(child, nullptr, 0);
    const std::size_t size = megabytes << 20;
    struct Payload {
        const char* name;
        std::string bytes;
    };
    const Payload payloads[] = {{"plain ASCII", asciiPayload(size)},
                                {"mixed UTF-8 (wide, combining)", utf8Payload(size)},
                                {"colour-heavy CSI", colourPayload(size)},
                                {"scrolling inside a region", regionPayload(size)}};
    std::printf("%-32s %10s %12s %12s %8s\n", "payload", "MiB", "terminal", "libvterm", "ratio");
    for (const Payload& p : payloads) {
        if (!only.empty() && std::string(p.name).find(only) == std::string::npos) continue;
        bool consistent = false;
        // Best of three for each.
        double ours = 1e9, theirs = 1e9;
        for (int run = 0; run < 3; ++run) {
            ours = std::min(ours, terminalSeconds(p.bytes, &consistent));
            if (!noPeer) theirs = std::min(theirs, vtermSeconds(p.bytes));
        }
        const double mb = double(p.bytes.size()) / 1e6;
        std::printf("%-32s %10.2f %9.1f MB/s %9.1f MB/s %7.2fx%s\n", p.name,
                    double(p.bytes.size()) / 1048576.0, mb / ours, mb / theirs, theirs / ours,
                    consistent ? "" : "  (storage differs from grid!)");
    }
    return 0;
}
