// A delegate that takes mixed text runs in one call receives the same pieces,
// in the same order and with the same ends, as one that takes them one by
// one: ASCII runs (with a DEL inside), non-ASCII runs cut at ill-formed or
// unfinished characters and at the decode limit, controls in between.
#include "ScannerRecordingDelegate.h"

#include <gtest/gtest.h>

#include <random>

using namespace scanner_test;

namespace {

class SegmentDelegate : public ScannerRecordingDelegate {
public:
    int segmentCalls = 0;
    bool acceptsTextSegments(RellumScanner&) override { return true; }
    void renderTextSegments(RellumScanner& scanner, const RellumTextSegment* segments,
                            std::size_t count) override {
        ++segmentCalls;
        RellumScannerDelegate::renderTextSegments(scanner, segments, count);
    }
};

std::vector<std::string> piecewise(const std::vector<std::string>& chunks) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    for (const std::string& chunk : chunks)
        scanner.scanData(chunk);
    return delegate.calls;
}

std::vector<std::string> joined(const std::vector<std::string>& chunks, int* segmentCalls = nullptr) {
    SegmentDelegate delegate;
    RellumScanner scanner(&delegate);
    for (const std::string& chunk : chunks)
        scanner.scanData(chunk);
    if (segmentCalls) *segmentCalls = delegate.segmentCalls;
    return delegate.calls;
}

TEST(ScannerTextSegments, MixedTextArrivesAsTheSamePiecesInOneCall) {
    const std::vector<std::string> chunks = {"ab\xC3\xA9"
                                             "cd\xE4\xB8\x80\xCC\x81 x\x7Fy\r\n"};
    int calls = 0;
    EXPECT_EQ(joined(chunks, &calls), piecewise(chunks));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(piecewise(chunks).size(), 7u); // five pieces, CR, LF
}

TEST(ScannerTextSegments, IllFormedAndUnfinishedCharactersEndTheRun) {
    for (const std::vector<std::string>& chunks : std::vector<std::vector<std::string>>{
             {"ab\xFF"
              "cd"},
             {"ab\xC3", "\xA9"
                        "cd"},
             {"\xE4\xB8", "\x80x\xF0\x9F", "\x98\x80y"},
             {"x\xED\xA0\x80y"}, // an encoded surrogate
             {"\x7F"
              "a\xC3\xA9"},
             {"a\x1b[31m\xC3\xA9\x1b(0qx\x1b(B"},
         }) {
        EXPECT_EQ(joined(chunks), piecewise(chunks));
    }
}

TEST(ScannerTextSegments, LongRunsAreCutAtTheDecodeLimitAsBefore) {
    std::string longRun;
    for (std::size_t i = 0; i < RellumScanner::kMaxDecodedRun + 10; ++i)
        longRun += i % 3 == 0 ? "a" : "\xCE\xB1";
    EXPECT_EQ(joined({longRun}), piecewise({longRun}));
}

TEST(ScannerTextSegments, SeededRandomStreamsAndSplitsGiveTheSameCalls) {
    static const char* const kPieces[] = {
        "ab",       "\xC3\xA9", "\xE4\xB8\x80", "\xCC\x81", "\xF0\x9F\x98\x80", "\x7F", "\xFF",
        "\xE4\xB8", "\r\n",     "\x1b[1m",      " ",        "\x1b]0;t\x07"};
    for (unsigned seed = 1; seed <= 50; ++seed) {
        std::mt19937 rng(seed);
        std::string bytes;
        for (int i = 0; i < 200; ++i)
            bytes += kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
        std::vector<std::string> chunks;
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t n = 1 + rng() % 40;
            chunks.push_back(bytes.substr(at, n));
            at += n;
        }
        SCOPED_TRACE(seed);
        EXPECT_EQ(joined(chunks), piecewise(chunks));
    }
}

} // namespace
