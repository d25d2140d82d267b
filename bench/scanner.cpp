// Scanner throughput: host output of three kinds, each at least 4 MiB, fed in
// the chunk sizes a terminal reads, through a delegate that only tallies.
#include "Rellum/Scanner/RellumScannerNullDelegate.h"
#include "Rellum/Scanner/RellumScanner.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

class TallyDelegate final : public RellumScannerNullDelegate {
public:
    uint64_t tally = 0;
    void renderASCIIChars(RellumScanner&, const char*, uint64_t length) override { tally += length; }
    void renderMBCSString(RellumScanner&, std::u32string_view string) override {
        tally += string.size() + (string.empty() ? 0 : string[0]);
    }
    void didScanPartialData(RellumScanner&, std::string_view data, uint64_t) override {
        tally += data.size();
    }
    void scannerLineFeed(RellumScanner&) override { ++tally; }
    void setForegroundWithColorIndex(RellumScanner&, uint8_t index) override { tally += index; }
    void setBackgroundWithColorIndex(RellumScanner&, uint8_t index) override { tally += index; }
    void setForegroundColor(RellumScanner&, std::optional<RellumColor> color) override {
        tally += color ? 1 : 2;
    }
    void addTextStyleMask(RellumScanner&, uint64_t mask) override { tally += mask; }
};

constexpr size_t kPayloadSize = 4u << 20;

std::string plainASCII() {
    std::string out;
    std::mt19937 random(1);
    while (out.size() < kPayloadSize) {
        std::string line;
        while (line.size() < 78) {
            const size_t word = 1 + random() % 9;
            for (size_t i = 0; i < word; ++i)
                line.push_back(static_cast<char>('a' + random() % 26));
            line.push_back(' ');
        }
        out += line + "\r\n";
    }
    return out;
}

std::string mixedUTF8() {
    // Latin with accents (some as combining marks), CJK (wide), emoji, Cyrillic.
    const char* words[] = {"caf\xc3\xa9",
                           "e\xcc\x81t\xc3\xa9",
                           "\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97",
                           "\xf0\x9f\x98\x80",
                           "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
                           "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xa7\xe3\x81\x99",
                           "plain",
                           "a\xcc\x88o\xcc\x88"};
    std::string out;
    std::mt19937 random(2);
    size_t column = 0;
    while (out.size() < kPayloadSize) {
        out += words[random() % std::size(words)];
        out.push_back(' ');
        if (++column == 12) {
            out += "\r\n";
            column = 0;
        }
    }
    return out;
}

std::string colourHeavy() {
    std::string out;
    std::mt19937 random(3);
    while (out.size() < kPayloadSize) {
        switch (random() % 4) {
        case 0:
            out += "\033[" + std::to_string(30 + random() % 8) + "m";
            break;
        case 1:
            out += "\033[1;38;5;" + std::to_string(random() % 256) + "m";
            break;
        case 2:
            out += "\033[38;2;" + std::to_string(random() % 256) + ";" + std::to_string(random() % 256) +
                   ";" + std::to_string(random() % 256) + "m";
            break;
        default:
            out += "\033[0m";
            break;
        }
        out += "word";
        if (random() % 10 == 0) out += "\r\n";
    }
    return out;
}

void scan(benchmark::State& state, const std::string& payload) {
    const size_t chunk = static_cast<size_t>(state.range(0));
    TallyDelegate delegate;
    RellumScanner scanner(&delegate);
    for (auto _ : state) {
        for (size_t at = 0; at < payload.size(); at += chunk)
            scanner.scanData(std::string_view(payload).substr(at, chunk));
        benchmark::DoNotOptimize(delegate.tally);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload.size()));
}

void BM_ScanPlainASCII(benchmark::State& state) {
    static const std::string payload = plainASCII();
    scan(state, payload);
}

void BM_ScanMixedUTF8(benchmark::State& state) {
    static const std::string payload = mixedUTF8();
    scan(state, payload);
}

void BM_ScanColourHeavyCSI(benchmark::State& state) {
    static const std::string payload = colourHeavy();
    scan(state, payload);
}

} // namespace

// Chunk sizes: a typical read from a pty or SSH channel, and a large one.
BENCHMARK(BM_ScanPlainASCII)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanMixedUTF8)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanColourHeavyCSI)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
