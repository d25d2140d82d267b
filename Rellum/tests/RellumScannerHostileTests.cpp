// Hostile input: long parameters, huge numbers, endless strings, random
// bytes. Each must end with the held-back bytes bounded and the scanner ready
// for the text that follows.
#include "ScannerCountingDelegate.h"
#include "ScannerRecordingDelegate.h"

#include <gtest/gtest.h>

using namespace scanner_test;

#include <algorithm>
#include <random>

namespace {

// Feeds `bytes` in chunks of `chunk` bytes, checking the held-back bytes after each.
void feedBounded(RellumScanner& scanner, std::string_view bytes, size_t chunk, size_t bound) {
    size_t largest = 0;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        scanner.scanData(bytes.substr(at, chunk));
        largest = std::max(largest, scanner.remainData().size());
    }
    EXPECT_LE(largest, bound);
}

} // namespace

TEST(RellumScannerHostile, LongParameterListIsConsumedAsInvalid) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    std::string sequence = "\033[";
    for (int i = 0; i < 200000; ++i)
        sequence += "1;";
    sequence += "m";
    feedBounded(scanner, sequence, 1000, RellumScanner::kControlSequenceLimit);
    scanner.scanData("ok");
    EXPECT_EQ(delegate.calls, std::vector<std::string>({"renderASCIIChars(\"ok\")"}));
    // The first consumed token is the sequence's first kControlSequenceLimit bytes.
    auto first = std::find_if(delegate.tokens.begin(), delegate.tokens.end(),
                              [](const std::string& token) { return token.rfind("Wait:", 0) != 0; });
    ASSERT_NE(first, delegate.tokens.end());
    EXPECT_EQ(*first, "Invalid:\\e[" + sequence.substr(2, RellumScanner::kControlSequenceLimit - 2));
}

TEST(RellumScannerHostile, ParametersUpToTheLimitStillWork) {
    std::string sequence = "\033[";
    for (int i = 0; i < 1000; ++i)
        sequence += "1;";
    sequence += "22m";
    ASSERT_LT(sequence.size(), RellumScanner::kControlSequenceLimit);
    // Parameters past the bound are ignored, so the final 1 is not applied.
    EXPECT_EQ(transcript(sequence), std::vector<std::string>({"addTextStyleMask(1)"}));
    EXPECT_EQ(transcript(std::string("\033[") + std::string(4000, '9') + "A"),
              std::vector<std::string>({"cursorUpwardWithCount(2147483647,NO)"}));
}

TEST(RellumScannerHostile, ControlBytesInsideAnOverlongSequenceStillRunOnce) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    std::string sequence = "\033[" + std::string(10000, '5');
    sequence.insert(3000, "\r");
    sequence.insert(7000, "\n");
    sequence += "Hx";
    feedBounded(scanner, sequence, 7, RellumScanner::kControlSequenceLimit);
    EXPECT_EQ(delegate.calls, std::vector<std::string>(
                                  {"scannerCarriageReturn", "scannerLineFeed", "renderASCIIChars(\"x\")"}));
}

TEST(RellumScannerHostile, EndlessCommandIsBoundedAndTextAfterItShows) {
    ScannerCountingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033]0;");
    const std::string filler(1 << 16, 'a');
    for (int i = 0; i < 160; ++i) { // 10 MiB
        scanner.scanData(filler);
        ASSERT_LE(scanner.remainData().size(), RellumScanner::kStringLimit);
    }
    scanner.scanData("\aafter");
    EXPECT_EQ(delegate.titles, 0u);
    EXPECT_EQ(delegate.asciiBytes, 5u);
    EXPECT_EQ(delegate.lastASCII, "after");
    EXPECT_TRUE(scanner.remainData().empty());
}

TEST(RellumScannerHostile, CommandFedOneByteAtATimeStaysLinear) {
    // Each chunk resumes where the last one stopped: 300 KB fed byte by byte
    // would take hours if every chunk rescanned the held-back bytes.
    ScannerCountingDelegate delegate;
    RellumScanner scanner(&delegate);
    std::string command = "\033]2;" + std::string(60000, 't') + "\a";
    std::string dcs = "\033P" + std::string(60000, 'd') + "\033\\";
    std::string csi = "\033[" + std::string(4000, ';') + "m";
    std::string stream =
        command + dcs + command + csi + std::string(100000, 'z') + "\033]0;" + std::string(80000, 'q');
    size_t largest = 0;
    for (char c : stream) {
        scanner.scanData(std::string_view(&c, 1));
        largest = std::max(largest, scanner.remainData().size());
    }
    EXPECT_LE(largest, RellumScanner::kStringLimit);
    EXPECT_EQ(delegate.titles, 2u);
    EXPECT_EQ(delegate.asciiBytes, 100000u);
}

TEST(RellumScannerHostile, StrayDeviceControlStringDoesNotSwallowTheSession) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033P");
    const std::string text(100000, 'x');
    feedBounded(scanner, text, 4096, RellumScanner::kStringLimit);
    EXPECT_TRUE(delegate.calls.empty());
    scanner.scanData("\033[1mvisible");
    EXPECT_EQ(delegate.calls,
              std::vector<std::string>({"addTextStyleMask(1)", "renderASCIIChars(\"visible\")"}));
}

TEST(RellumScannerHostile, RandomBytesEndWithBoundedRemainder) {
    std::mt19937 random(424242);
    // Plain random bytes, and random bytes drawn mostly from the bytes that start or shape sequences.
    const std::string shaping = "\033\033\033[[]]P;;;0123456789?>!$ \a\x18\\mHhlt\x80\xc3\xe4\xf0\xff";
    for (int round = 0; round < 2; ++round) {
        std::string bytes(1 << 20, '\0');
        for (char& c : bytes)
            c = round == 0 ? static_cast<char>(random() & 0xFF) : shaping[random() % shaping.size()];
        ScannerCountingDelegate delegate;
        RellumScanner scanner(&delegate);
        size_t at = 0, largest = 0;
        while (at < bytes.size()) {
            const size_t chunk = 1 + random() % 3000;
            scanner.scanData(std::string_view(bytes).substr(at, chunk));
            largest = std::max(largest, scanner.remainData().size());
            at += chunk;
        }
        EXPECT_LE(largest, RellumScanner::kStringLimit);
        EXPECT_GT(delegate.tokens, 1000u);
        // Whatever state the noise left behind, the scanner recovers: CAN ends
        // a sequence or command (a palette command swallows at most eight
        // bytes), ESC \\ a device control string, and a line of text then shows.
        scanner.scanData(
            "\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\x18\033\\\r\nrecovered");
        EXPECT_EQ(delegate.lastASCII, "recovered");
    }
}
