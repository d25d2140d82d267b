#pragma once

// A delegate that only counts what it gets: for feeding large or hostile
// input without the cost of a transcript.
#include "Rellum/Scanner/RellumScannerNullDelegate.h"
#include "Rellum/Scanner/RellumScanner.h"

// Kept in a namespace of their own: every test file links into one binary.
namespace scanner_test {

class ScannerCountingDelegate : public RellumScannerNullDelegate {
public:
    uint64_t asciiBytes = 0;
    uint64_t decodedCharacters = 0;
    uint64_t tokens = 0;
    uint64_t invalidTokens = 0;
    uint64_t titles = 0;
    std::string lastASCII;

    void renderASCIIChars(RellumScanner&, const char* chars, uint64_t length) override {
        asciiBytes += length;
        lastASCII.assign(chars, length);
    }
    void renderMBCSString(RellumScanner&, std::u32string_view string) override {
        decodedCharacters += string.size();
    }
    void didScanPartialData(RellumScanner&, std::string_view, uint64_t type) override {
        if (type == RellumTokenWait) return;
        ++tokens;
        if (type == RellumTokenInvalid) ++invalidTokens;
    }
    void setTerminalTitle(RellumScanner&, const std::optional<std::string>&) override { ++titles; }
};

} // namespace scanner_test
