// However the host's stream is cut into chunks, the scanner's delegate hears
// the same calls. Text runs cut at a chunk end arrive as two runs, and the
// bookkeeping calls (chunk start and end, held-back remainders) follow the
// chunks, so the logs compared here join adjacent runs and leave those out.
#include "ScannerRecordingDelegate.h"

#include <gtest/gtest.h>

using namespace scanner_test;

#include <random>

namespace {

class NormalisingDelegate : public ScannerRecordingDelegate {
public:
    void renderASCIIChars(RellumScanner& scanner, const char* chars, uint64_t length) override {
        const std::string text = escapeBytes(std::string_view(chars, length));
        if (lastASCII_ == calls.size() && !calls.empty()) {
            calls.back().resize(calls.back().size() - 2);
            calls.back() += text;
            calls.back() += "\")";
        } else {
            ScannerRecordingDelegate::renderASCIIChars(scanner, chars, length);
        }
        lastASCII_ = calls.size();
    }
    void renderMBCSString(RellumScanner& scanner, std::u32string_view string) override {
        const size_t before = calls.size();
        ScannerRecordingDelegate::renderMBCSString(scanner, string);
        if (lastMBCS_ == before && before > 0) {
            std::string piece = calls.back().substr(std::string("renderMBCSString(").size());
            calls.pop_back();
            calls.back().pop_back();
            calls.back() += " ";
            calls.back() += piece;
        }
        lastMBCS_ = calls.size();
    }
    void didScanPartialData(RellumScanner&, std::string_view data, uint64_t type) override {
        if (type == RellumTokenWait) return;
        const std::string name(RellumTokenTagName(type));
        const bool joins = type == RellumTokenASCII || type == RellumTokenMBCS || type == RellumTokenSkip ||
                           type == RellumTokenInvalid;
        if (joins && lastTokenType_ == type && lastToken_ == tokens.size() && !tokens.empty()) {
            tokens.back() += escapeBytes(data);
        } else {
            tokens.push_back(name + ":");
            tokens.back() += escapeBytes(data);
        }
        lastTokenType_ = type;
        lastToken_ = tokens.size();
    }

private:
    size_t lastASCII_ = SIZE_MAX;
    size_t lastMBCS_ = SIZE_MAX;
    size_t lastToken_ = SIZE_MAX;
    uint64_t lastTokenType_ = 0;
};

struct Log {
    std::vector<std::string> calls;
    std::vector<std::string> tokens;
    bool operator==(const Log&) const = default;
};

// Feeds `bytes` cut before each offset in `cuts` (ascending).
Log feed(const std::string& bytes, const std::vector<size_t>& cuts) {
    NormalisingDelegate delegate;
    delegate.cursorColumn = 5;
    delegate.cursorRow = 3;
    RellumScanner scanner(&delegate);
    size_t start = 0;
    for (size_t cut : cuts) {
        scanner.scanData(std::string_view(bytes).substr(start, cut - start));
        start = cut;
    }
    scanner.scanData(std::string_view(bytes).substr(start));
    return {delegate.calls, delegate.tokens};
}

std::vector<std::string> buildCorpus() {
    std::vector<std::string> corpus;
    const std::string E = "\033";
    // Text: ASCII with DEL, UTF-8 of every length, combining marks, wide characters, ill-formed bytes.
    for (const char* text :
         {"hello",
          "a\x7f"
          "b",
          "\x7f\x7f", "tab\there", "\xc3\xa9t\xc3\xa9", "e\xcc\x81", "\xe4\xb8\xad\xe6\x96\x87",
          "\xf0\x9f\x98\x80!", "\xc3(", "\xed\xa0\x80",
          "\xe0\x80"
          "A",
          "\xc3\xa9\xff", "\xc0\x80", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80", "\xfc\x84\x80\x80\x80\x80",
          "\xfe\xff\x80\xbf", "x\xe2\x82", "\xe2\x82\xac\xe2\x82"})
        corpus.push_back(text);
    corpus.push_back(std::string(40, '\0') + "x");
    // Every C0 control and DEL alone, and inside a control sequence.
    for (int c = 0; c < 0x20; ++c) {
        corpus.push_back(std::string("a") + static_cast<char>(c) + "b");
        corpus.push_back(E + "[1" + static_cast<char>(c) + "2A");
        corpus.push_back(E + "[?25" + static_cast<char>(c) + "h" + "z");
    }
    corpus.push_back(E + "[1\x7f"
                         "2A");
    // ESC followed by every byte.
    for (int c = 0; c < 0x100; ++c)
        corpus.push_back(E + static_cast<char>(c) + "x");
    for (const char* rest :
         {" F",     " X", "#8", "#5", "(0", ")B", "*%5", "+\"4", "-A", ".<", "/\x01", "(\xc3",
          "\033[A", "7",  "8",  "=",  ">",  "D",  "E",   "H",    "M",  "Z",  "c"})
        corpus.push_back(E + rest + "q");
    // Control sequences: every final byte with a few parameter forms.
    for (int final = 0x40; final <= 0x7E; ++final) {
        for (const char* params : {"", "0", "3", "2;5", "?1", ">1", "1!", "1$", "99999999999999999999"})
            corpus.push_back(E + "[" + params + static_cast<char>(final));
    }
    // DEC private modes, each set and reset, and in lists.
    for (int mode : {1,    3,    5,    6,    7,    8,    25,   41,   45,   47,   69,  1000,
                     1002, 1003, 1004, 1005, 1006, 1015, 1047, 1048, 1049, 2004, 9999}) {
        corpus.push_back(E + "[?" + std::to_string(mode) + "h");
        corpus.push_back(E + "[?" + std::to_string(mode) + ";25l");
    }
    // Window operations.
    for (int op = 0; op <= 24; ++op) {
        corpus.push_back(E + "[" + std::to_string(op) + "t");
        corpus.push_back(E + "[" + std::to_string(op) + ";1;2t");
    }
    // Graphic rendition: seeded random lists, and the colour forms.
    std::mt19937 random(20261208);
    const int codes[] = {0,  1,  2,  3,  4,  5,  7,  8,  9,  21, 22,  23,  24, 25, 27,  28,  29,
                         30, 37, 38, 39, 40, 47, 48, 49, 90, 97, 100, 107, 2,  5,  196, 255, 300};
    for (int i = 0; i < 60; ++i) {
        std::string list;
        const int count = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < count; ++k) {
            list += k ? ";" : "";
            list += std::to_string(codes[random() % std::size(codes)]);
        }
        corpus.push_back(E + "[" + list + "m" + "t");
    }
    for (const char* sgr : {"38;5;196", "48;2;1;2;3", "38;2;255;0;0;1", "38;5", "1;0", "22;1", "", ";",
                            "1;;4", "0001;31", "99999999999999999999;1", "38:5:196", "1;\a4", "?1"})
        corpus.push_back(E + "[" + sgr + "m");
    // More parameters than are kept: the last ones are dropped.
    std::string many;
    for (int k = 0; k < 70; ++k)
        many += std::to_string(30 + k % 8) + ";";
    corpus.push_back(E + "[" + many + "1m");
    // Operating-system commands and device control strings.
    for (const char* osc : {"0;title\a", "2;x\033\\", "1;a;b\a", ";plain\a", "7;file:///tmp\a", "7;no url\a",
                            "3;x\a", "0;a\033]b\a",
                            "0;ab\x18"
                            "c",
                            "0;ab\033x", "P0a0b0c0", "P1", "0;\xc3\xa9\a", "0;\xff\a", "0;\t\n\a"})
        corpus.push_back(E + "]" + osc + "z");
    for (const char* dcs : {"1$r\033\\", "q#0;1\a\x18\033x\033\\", "\033\\"})
        corpus.push_back(E + "P" + dcs + "z");
    // Sequences cancelled by ESC, CAN and SUB.
    corpus.push_back(E + "[1" + E + "[2J");
    corpus.push_back(E + "[1\x18"
                         "A\x1a");
    return corpus;
}

std::vector<size_t> randomCuts(std::mt19937& random, size_t size) {
    std::vector<size_t> cuts;
    if (size < 2) return cuts;
    const size_t count = 1 + random() % std::min<size_t>(size - 1, 12);
    for (size_t i = 0; i < count; ++i)
        cuts.push_back(1 + random() % (size - 1));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

std::vector<size_t> everyByte(size_t size) {
    std::vector<size_t> cuts;
    for (size_t i = 1; i < size; ++i)
        cuts.push_back(i);
    return cuts;
}

std::string describe(const std::string& bytes, const std::vector<size_t>& cuts) {
    std::string out = escapeBytes(bytes) + " cut at";
    for (size_t cut : cuts) {
        out += " ";
        out += std::to_string(cut);
    }
    return out;
}

} // namespace

TEST(RellumScannerChunking, CorpusIsLargeEnough) {
    EXPECT_GE(buildCorpus().size(), 300u);
}

TEST(RellumScannerChunking, EveryTwoWaySplitGivesTheSameCalls) {
    for (const std::string& bytes : buildCorpus()) {
        const Log whole = feed(bytes, {});
        for (size_t cut = 1; cut < bytes.size(); ++cut)
            ASSERT_EQ(feed(bytes, {cut}), whole) << describe(bytes, {cut});
        ASSERT_EQ(feed(bytes, everyByte(bytes.size())), whole) << "byte by byte: " << escapeBytes(bytes);
    }
}

TEST(RellumScannerChunking, SeededRandomSplitsGiveTheSameCalls) {
    std::mt19937 random(1208);
    const std::vector<std::string> corpus = buildCorpus();
    int splits = 0;
    for (const std::string& bytes : corpus) {
        const Log whole = feed(bytes, {});
        for (int i = 0; i < 10; ++i, ++splits) {
            const std::vector<size_t> cuts = randomCuts(random, bytes.size());
            ASSERT_EQ(feed(bytes, cuts), whole) << describe(bytes, cuts);
        }
    }
    // The whole corpus as one stream, so that every sequence also meets its neighbours.
    std::string stream;
    for (const std::string& bytes : corpus)
        stream += bytes;
    const Log whole = feed(stream, {});
    for (int i = 0; i < 200; ++i, ++splits) {
        std::vector<size_t> cuts;
        for (size_t at = 1 + random() % 64; at < stream.size(); at += 1 + random() % 64)
            cuts.push_back(at);
        ASSERT_EQ(feed(stream, cuts), whole) << "stream split " << i;
    }
    EXPECT_GE(splits, 3000);
}

TEST(RellumScannerChunking, OverlongSequencesAreCutAtTheSamePlaceHoweverSplit) {
    const std::string E = "\033";
    const std::vector<std::string> long_ = {
        E + "[" + std::string(RellumScanner::kControlSequenceLimit + 100, '1') + "\nA" + "after",
        E + "]0;" + std::string(RellumScanner::kStringLimit + 10, 't') + "\033]x\033\\" + "after",
        E + "P" + std::string(RellumScanner::kStringLimit + 10, 'd') + "\033x\033\\" + "after",
        E + "]0;" + std::string(RellumScanner::kStringLimit - 4, 't') + "\033\\" + "after",
    };
    std::mt19937 random(77);
    for (const std::string& bytes : long_) {
        const Log whole = feed(bytes, {});
        ASSERT_FALSE(whole.calls.empty());
        EXPECT_EQ(whole.calls.back(), "renderASCIIChars(\"after\")");
        for (int i = 0; i < 40; ++i) {
            const std::vector<size_t> cuts = randomCuts(random, bytes.size());
            ASSERT_EQ(feed(bytes, cuts), whole) << "split " << i;
        }
        for (size_t cut :
             {RellumScanner::kControlSequenceLimit - 3, RellumScanner::kControlSequenceLimit - 2,
              RellumScanner::kControlSequenceLimit - 1, RellumScanner::kStringLimit - 2,
              RellumScanner::kStringLimit - 1, RellumScanner::kStringLimit, RellumScanner::kStringLimit + 1})
            if (cut < bytes.size()) {
                ASSERT_EQ(feed(bytes, {cut}), whole) << "cut at " << cut;
            }
    }
}

TEST(RellumScannerChunking, RandomStreamsGiveTheSameCallsHoweverSplit) {
    std::mt19937 random(5150);
    const std::string shaping =
        "\033\033\033\033[[[]]P;;;0123456789?>!$ #(%\"\a\x18\x1a\\\x7fmHhltAqrs\n\r\x01\x80"
        "\xa9\xc3\xe4\xb8\xed\xf0\x9f\xff";
    for (int round = 0; round < 60; ++round) {
        std::string bytes(2000, '\0');
        for (char& c : bytes)
            c = shaping[random() % shaping.size()];
        const Log whole = feed(bytes, {});
        for (int i = 0; i < 20; ++i) {
            const std::vector<size_t> cuts = randomCuts(random, bytes.size());
            ASSERT_EQ(feed(bytes, cuts), whole) << describe(bytes, cuts);
        }
        ASSERT_EQ(feed(bytes, everyByte(bytes.size())), whole) << "byte by byte: " << escapeBytes(bytes);
    }
}
