// Throughput of a whole terminal as the application drives it, against
// libvterm and alacritty_terminal on the same bytes; then the memory of 65535
// full coloured scrollback lines.
//
// The terminal runs on the real clock, with a main queue that applies every
// update to the text storages and a feeding thread that hands the bytes over
// in chunks (4 KiB, 32 KiB and 256 KiB), 80x24 with a scrollback of 65535
// lines that is full before the timing starts. A run ends when the update
// showing the last byte has been applied. libvterm (in this process, a
// screen whose scrollback of 65535 lines is kept through its callbacks) and
// alacritty_terminal (bench/alacritty-peer, a program of its own, built by
// the target alacritty-peer) get the same prefill, payload and chunks.
//
//   bench_terminal [--megabytes N] [--runs N] [--chunk BYTES] [--only NAME-PART]
//                  [--manual-clock] [--no-peer] [--no-memory] [--memory-only]
//                  [--alacritty PATH] [--write-payloads DIR]
//
// --write-payloads writes each payload of the size given (and the prefill)
// to DIR, for rellum-replay, rellum-screenshot and profilers, and stops.
// --manual-clock drives the core alone, as before: 4 KiB chunks, an update
// fired by hand every 64 KiB (for profiling the scanner, grids and storages
// without the clock's waits).

#include "TerminalRigs.h"

#include <vterm.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef ORVIK_ALACRITTY_PEER
#define ORVIK_ALACRITTY_PEER ""
#endif

namespace {

constexpr int kRows = 24, kCols = 80;
constexpr int kScrollback = 65535;

// ---- Payloads ----

std::string asciiPayload(std::size_t size) {
    return bench::textLines(size, 1, "\r\n");
}

// Lines enough to fill the page and the whole scrollback.
std::string prefillPayload() {
    std::mt19937 rng(9);
    std::string out;
    for (int line = 0; line < kScrollback + kRows + 16; ++line) {
        const int n = 10 + int(rng() % 70);
        for (int i = 0; i < n; ++i)
            out.push_back(char('a' + rng() % 26));
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

// A random SGR change: 256-colour and direct colour in the semicolon and
// colon forms, styles, resets.
std::string randomSGR(std::mt19937& rng) {
    char sgr[48];
    switch (rng() % 9) {
    case 0:
        snprintf(sgr, sizeof sgr, "\x1b[38;5;%um", unsigned(rng() % 256));
        break;
    case 1:
        snprintf(sgr, sizeof sgr, "\x1b[48;5;%um", unsigned(rng() % 256));
        break;
    case 2:
        snprintf(sgr, sizeof sgr, "\x1b[38:5:%um", unsigned(rng() % 256));
        break;
    case 3:
        snprintf(sgr, sizeof sgr, "\x1b[38;2;%u;%u;%um", unsigned(rng() % 256), unsigned(rng() % 256),
                 unsigned(rng() % 256));
        break;
    case 4:
        snprintf(sgr, sizeof sgr, "\x1b[48;2;%u;%u;%um", unsigned(rng() % 256), unsigned(rng() % 256),
                 unsigned(rng() % 256));
        break;
    case 5:
        snprintf(sgr, sizeof sgr, "\x1b[38:2::%u:%u:%um", unsigned(rng() % 256), unsigned(rng() % 256),
                 unsigned(rng() % 256));
        break;
    case 6:
        snprintf(sgr, sizeof sgr, "\x1b[1;%um", 31 + unsigned(rng() % 7));
        break;
    case 7:
        snprintf(sgr, sizeof sgr, "\x1b[0m");
        break;
    default:
        snprintf(sgr, sizeof sgr, "\x1b[%u;%um", 90 + unsigned(rng() % 8), 40 + unsigned(rng() % 8));
        break;
    }
    return sgr;
}

// Short coloured runs on one page that never scrolls: homes, relative moves
// and erases in line between them.
std::string colourPayload(std::size_t size) {
    std::mt19937 rng(3);
    std::string out = "\x1b[H\x1b[2J";
    out.reserve(size + 128);
    int row = 0, col = 0;
    char seq[32];
    while (out.size() < size) {
        const unsigned pick = rng() % 100;
        if (pick < 70) {
            out += randomSGR(rng);
            const int n = std::min(1 + int(rng() % 16), kCols - col);
            for (int i = 0; i < n; ++i)
                out.push_back(char('a' + rng() % 26));
            col += n;
            if (col >= kCols - 1) {
                if (row < kRows - 1) {
                    out += "\r\n";
                    ++row;
                } else {
                    out += "\x1b[H";
                    row = 0;
                }
                col = 0;
            }
        } else if (pick < 76) {
            out += "\x1b[H";
            row = col = 0;
        } else if (pick < 88) {
            const int n = 1 + int(rng() % 5);
            switch (rng() % 4) {
            case 0:
                snprintf(seq, sizeof seq, "\x1b[%dA", n);
                row = std::max(0, row - n);
                break;
            case 1:
                snprintf(seq, sizeof seq, "\x1b[%dB", n);
                row = std::min(kRows - 1, row + n);
                break;
            case 2:
                snprintf(seq, sizeof seq, "\x1b[%dC", n);
                col = std::min(kCols - 1, col + n);
                break;
            default:
                snprintf(seq, sizeof seq, "\x1b[%dD", n);
                col = std::max(0, col - n);
                break;
            }
            out += seq;
        } else if (pick < 96) {
            out += "\x1b[K";
        } else {
            out += "\r";
            col = 0;
        }
    }
    out += "\x1b[0m";
    return out;
}

// Full-page redraws with one CUP a row and syntax-coloured runs, scrolling
// inside a region with IND, a reverse-video status line.
std::string editorPayload(std::size_t size) {
    std::mt19937 rng(5);
    static const char* const keywords[] = {"int", "return", "if", "else", "for", "while", "const", "auto"};
    std::string out = "\x1b[?1049h\x1b[H\x1b[2J";
    out.reserve(size + 4096);
    char seq[64];
    auto codeLine = [&](int width) {
        int col = 0;
        while (col < width - 12) {
            switch (rng() % 5) {
            case 0: {
                const char* k = keywords[rng() % 8];
                out += "\x1b[1;34m";
                out += k;
                col += int(std::strlen(k));
                break;
            }
            case 1: {
                out += "\x1b[38;5;142m\"";
                const int n = 2 + int(rng() % 9);
                for (int i = 0; i < n; ++i)
                    out.push_back(char('a' + rng() % 26));
                out += "\"";
                col += n + 2;
                break;
            }
            case 2:
                out += "\x1b[38;2;120;120;120m// note";
                col += 7;
                break;
            default: {
                out += "\x1b[0m";
                const int n = 1 + int(rng() % 8);
                for (int i = 0; i < n; ++i)
                    out.push_back(char('a' + rng() % 26));
                col += n;
                break;
            }
            }
            out.push_back(' ');
            ++col;
        }
        out += "\x1b[0m\x1b[K";
    };
    unsigned frame = 0;
    while (out.size() < size) {
        if (frame % 3 == 0) {
            for (int row = 1; row < kRows; ++row) {
                snprintf(seq, sizeof seq, "\x1b[%d;1H", row);
                out += seq;
                codeLine(kCols);
            }
        } else {
            out += "\x1b[1;23r\x1b[23;1H";
            const int lines = 1 + int(rng() % 6);
            for (int l = 0; l < lines; ++l) {
                out += "\x1b"
                       "D\r";
                codeLine(kCols);
            }
            out += "\x1b[r";
        }
        snprintf(seq, sizeof seq, "\x1b[24;1H\x1b[7m main.c  line %u, col %u \x1b[0m\x1b[K", frame % 9000,
                 unsigned(rng() % 80));
        out += seq;
        ++frame;
    }
    out += "\x1b[?1049l";
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

// Seconds for the payload after an untimed prefill; damage is flushed after
// every chunk (as the terminal applies an update for what it has scanned).
double vtermSeconds(const std::string& prefill, const std::string& payload, std::size_t chunk) {
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
    auto feed = [&](const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            vterm_input_write(vt, bytes.data() + at, std::min(chunk, bytes.size() - at));
            vterm_screen_flush_damage(screen);
        }
    };
    feed(prefill);
    const auto start = std::chrono::steady_clock::now();
    feed(payload);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    vterm_free(vt);
    return seconds;
}

// ---- alacritty_terminal ----

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/orvik-bench-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) return;
        path = name;
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
            if (n <= 0) break;
            at += std::size_t(n);
        }
        ::close(fd);
    }
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
};

// The peer's seconds for each run, or nothing when it could not run.
std::vector<double> alacrittySeconds(const std::string& peer, const std::string& prefillPath,
                                     const std::string& payloadPath, std::size_t chunk, int runs) {
    int out[2];
    if (pipe(out) != 0) return {};
    const std::vector<std::string> args = {peer,
                                           std::to_string(kCols),
                                           std::to_string(kRows),
                                           std::to_string(kScrollback),
                                           std::to_string(chunk),
                                           prefillPath,
                                           payloadPath,
                                           std::to_string(runs)};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(peer.c_str(), argv.data());
        _exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<double> seconds;
    std::size_t at = 0;
    while ((at = text.find("seconds ", at)) != std::string::npos) {
        at += 8;
        seconds.push_back(std::strtod(text.c_str() + at, nullptr));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return seconds;
}

// ---- Figures ----

struct Range {
    double low = 1e18, high = 0;
    void add(double v) {
        low = std::min(low, v);
        high = std::max(high, v);
    }
    bool empty() const { return high == 0; }
};

std::string rangeText(const Range& r) {
    if (r.empty()) return "-";
    char text[48];
    if (r.high - r.low < 0.05 * r.high)
        snprintf(text, sizeof text, "%.1f", r.high);
    else
        snprintf(text, sizeof text, "%.1f-%.1f", r.low, r.high);
    return text;
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
        bench::TerminalRig rig(kCols, kRows, kScrollback, false);
        // Full lines of 80 cells in eight colours each, written by the host.
        std::string bytes;
        static const char* const colours[] = {
            "\x1b[38;2;200;0;0m",   "\x1b[38;2;0;200;0m",   "\x1b[38;2;0;0;200m",  "\x1b[38;2;200;200;0m",
            "\x1b[38;2;0;200;200m", "\x1b[38;2;200;0;200m", "\x1b[38;2;90;90;90m", "\x1b[38;2;250;250;250m"};
        for (int l = 0; l < kScrollback + kRows; ++l) {
            for (int k = 0; k < 8; ++k) {
                bytes += colours[(l + k) % 8];
                bytes += "0123456789";
            }
            bytes += "\r\n";
        }
        rig.feedAndShow(bytes, 64 * 1024);
        // The stream is the host's, not the terminal's: the application never
        // holds it whole, so it is not counted.
        std::string().swap(bytes);
        // Measured as a quiet terminal holds it: a second after a burst, the
        // terminal gives back the free room its updates used.
        std::this_thread::sleep_for(RellumTerminal::kTrimAfterQuiet + std::chrono::milliseconds(500));
        uint64_t lines = 0;
        RellumTerminal* t = rig.terminal.get();
        rig.runFeeder([&] { t->renderQueue().sync([&] { lines = t->primaryGrid()->acutalLineCount(); }); });
        const long after = residentBytes();
        std::printf("memory: 80x24, %llu lines (%d of scrollback), 8 colours a line: resident %.1f MiB "
                    "(%.1f MiB for the terminal) -> %s 64 MiB\n",
                    (unsigned long long)lines, kScrollback, double(after) / 1048576.0,
                    double(after - before) / 1048576.0, after < 64L * 1048576 ? "under" : "OVER");
        std::printf("memory: text storage %s its grid\n",
                    rig.storagesMatchGrids() ? "equal to" : "DIFFERENT FROM");
    }
}

// ---- The core alone on a manual clock ----

void manualClockTable(const std::vector<std::pair<const char*, std::string>>& payloads,
                      const std::string& only, bool noPeer, int runs) {
    constexpr std::size_t kChunk = 4096, kBytesPerUpdate = 64 * 1024;
    std::printf("manual clock, 4 KiB chunks, an update every 64 KiB, empty scrollback at the start\n");
    std::printf("%-30s %8s %14s %14s %8s\n", "payload", "MiB", "terminal", "libvterm", "ratio");
    for (const auto& [name, bytes] : payloads) {
        if (!only.empty() && std::string(name).find(only) == std::string::npos) continue;
        double ours = 1e9, theirs = 1e9;
        bool consistent = true;
        for (int run = 0; run < runs; ++run) {
            bench::TerminalRig rig(kCols, kRows, kScrollback, true);
            const auto start = std::chrono::steady_clock::now();
            rig.runFeeder([&] {
                std::size_t sinceUpdate = 0;
                for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
                    rig.terminal->renderData(bytes.substr(at, kChunk));
                    sinceUpdate += kChunk;
                    if (sinceUpdate >= kBytesPerUpdate) {
                        rig.waitUntilShown();
                        sinceUpdate = 0;
                    }
                }
                rig.waitUntilShown();
            });
            ours = std::min(ours,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            consistent = consistent && rig.storagesMatchGrids();
            if (!noPeer) theirs = std::min(theirs, vtermSeconds({}, bytes, kChunk));
        }
        const double mb = double(bytes.size()) / 1e6;
        std::printf("%-30s %8.2f %9.1f MB/s %9.1f MB/s %7.2fx%s\n", name, double(bytes.size()) / 1048576.0,
                    mb / ours, noPeer ? 0.0 : mb / theirs, noPeer ? 0.0 : theirs / ours,
                    consistent ? "" : "  (storage differs from grid!)");
    }
}

bool executable(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR);
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 8;
    int runs = 3;
    bool memoryOnly = false, noMemory = false, noPeer = false, manual = false;
    std::string only, alacritty = ORVIK_ALACRITTY_PEER, writeTo;
    std::vector<std::size_t> chunks = {4096, 32768, 262144};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--megabytes" && hasValue)
            megabytes = std::size_t(std::max(1, std::atoi(argv[++i])));
        else if (arg == "--runs" && hasValue)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--chunk" && hasValue)
            chunks = {std::size_t(std::max(1L, std::atol(argv[++i])))};
        else if (arg == "--only" && hasValue)
            only = argv[++i];
        else if (arg == "--alacritty" && hasValue)
            alacritty = argv[++i];
        else if (arg == "--write-payloads" && hasValue)
            writeTo = argv[++i];
        else if (arg == "--memory-only")
            memoryOnly = true;
        else if (arg == "--no-memory")
            noMemory = true;
        else if (arg == "--no-peer")
            noPeer = true;
        else if (arg == "--manual-clock")
            manual = true;
        else {
            std::fprintf(
                stderr, "usage: bench_terminal [--megabytes N] [--runs N] [--chunk BYTES] [--only NAME-PART] "
                        "[--manual-clock] [--no-peer] [--no-memory] [--memory-only] [--alacritty PATH] "
                        "[--write-payloads DIR]\n");
            return 64;
        }
    }
    if (!writeTo.empty()) {
        const std::size_t size = megabytes << 20;
        const std::pair<const char*, std::string> files[] = {
            {"prefill", prefillPayload()},   {"ascii", asciiPayload(size)},   {"colour", colourPayload(size)},
            {"editor", editorPayload(size)}, {"region", regionPayload(size)}, {"utf8", utf8Payload(size)}};
        for (const auto& [name, bytes] : files) {
            const std::string path = writeTo + "/" + name + ".bin";
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
            std::printf("wrote %s (%zu bytes)\n", path.c_str(), bytes.size());
        }
        return 0;
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
    const std::vector<std::pair<const char*, std::string>> payloads = {
        {"plain ASCII", asciiPayload(size)},
        {"colour-heavy", colourPayload(size)},
        {"editor-like", editorPayload(size)},
        {"scrolling in a region", regionPayload(size)},
        {"mixed UTF-8 (wide, combining)", utf8Payload(size)}};
    if (manual) {
        manualClockTable(payloads, only, noPeer, runs);
        return 0;
    }

    const bool withAlacritty = !noPeer && executable(alacritty);
    if (!noPeer && !withAlacritty)
        std::printf("alacritty_terminal peer not found%s%s: build it with `cmake --build --preset release "
                    "--target alacritty-peer` (needs cargo and librust-alacritty-terminal-dev)\n",
                    alacritty.empty() ? "" : " at ", alacritty.c_str());
    const std::string prefill = prefillPayload();
    std::unique_ptr<TempFile> prefillFile;
    if (withAlacritty) prefillFile = std::make_unique<TempFile>(prefill);

    std::printf("application mode: real clock, live main queue, a feeding thread, 80x24, scrollback of %d "
                "lines full before timing; %d runs each, MB/s as low-high\n",
                kScrollback, runs);
    std::printf("%-30s %6s %13s %13s %13s %10s %10s\n", "payload", "chunk", "Orvik", "libvterm", "alacritty",
                "/libvterm", "/alacritty");
    int belowLibvterm = 0, belowAlacritty = 0, rowsMeasured = 0;
    bool allConsistent = true;
    for (const auto& [name, bytes] : payloads) {
        if (!only.empty() && std::string(name).find(only) == std::string::npos) continue;
        std::unique_ptr<TempFile> payloadFile;
        if (withAlacritty) payloadFile = std::make_unique<TempFile>(bytes);
        const double mb = double(bytes.size()) / 1e6;
        for (std::size_t chunk : chunks) {
            Range ours, vterm, alac;
            for (int run = 0; run < runs; ++run) {
                bench::TerminalRig rig(kCols, kRows, kScrollback, false);
                rig.feedAndShow(prefill, 65536);
                ours.add(mb / rig.feedAndShow(bytes, chunk));
                allConsistent = rig.storagesMatchGrids() && allConsistent;
                if (!noPeer) vterm.add(mb / vtermSeconds(prefill, bytes, chunk));
            }
            if (withAlacritty)
                for (double s :
                     alacrittySeconds(alacritty, prefillFile->path, payloadFile->path, chunk, runs))
                    alac.add(mb / s);
            char chunkText[32];
            snprintf(chunkText, sizeof chunkText, "%zuK", chunk / 1024);
            auto ratio = [&](const Range& peer) -> std::string {
                if (peer.empty()) return "-";
                char text[32];
                // Typical against typical: the upper ends of both ranges.
                snprintf(text, sizeof text, "%.2fx", ours.high / peer.high);
                return text;
            };
            std::printf("%-30s %6s %13s %13s %13s %10s %10s\n", name, chunkText, rangeText(ours).c_str(),
                        rangeText(vterm).c_str(), rangeText(alac).c_str(), ratio(vterm).c_str(),
                        ratio(alac).c_str());
            std::fflush(stdout);
            ++rowsMeasured;
            if (!vterm.empty() && ours.high < vterm.high) ++belowLibvterm;
            if (!alac.empty() && ours.high < alac.high) ++belowAlacritty;
        }
    }
    if (!noPeer)
        std::printf("rows below libvterm: %d of %d; below alacritty_terminal: %d of %d\n", belowLibvterm,
                    rowsMeasured, belowAlacritty, withAlacritty ? rowsMeasured : 0);
    std::printf("text storages %s their grids after every run\n",
                allConsistent ? "equal to" : "DIFFERENT FROM");
    return 0;
}
