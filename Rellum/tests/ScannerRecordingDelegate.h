#pragma once

// A delegate that writes down every call it gets, so that tests read as
// transcripts: bytes in, calls out.
#include "Rellum/Categories/RellumUTF8.h"
#include "Rellum/Scanner/RellumScanner.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

// Kept in a namespace of their own: every test file links into one binary.
namespace scanner_test {

// Bytes as readable text: ESC as \e, other controls and bytes above 0x7E as \xNN.
inline std::string escapeBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == 0x1B) {
            out += "\\e";
        } else if (c < 0x20 || c >= 0x7F || c == '\\') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

inline std::string utf8FromCodePoints(std::u32string_view text) {
    std::string out;
    for (char32_t c : text)
        rellum_detail::appendUTF8(out, c);
    return out;
}

class ScannerRecordingDelegate : public RellumScannerDelegate {
public:
    // Effect calls, one line each: "cursorUpwardWithCount(3,NO)".
    std::vector<std::string> calls;
    // Consumed tokens and held-back remainders: "CSI:\e[1m", "Wait:\e[1".
    std::vector<std::string> tokens;
    // Every call in order, bookkeeping included.
    std::vector<std::string> log;
    int chunksStarted = 0;
    int chunksEnded = 0;
    std::string lastJoinedData;

    // Answers to the queries.
    uint64_t cursorColumn = 1;
    uint64_t cursorRow = 1;
    bool respectsMargin = false;

    void willScanData(RellumScanner&, std::string_view data) override {
        ++chunksStarted;
        lastJoinedData = std::string(data);
        log.push_back(std::string("willScanData(\"") + escapeBytes(data) + "\")");
    }
    void didScanPartialData(RellumScanner&, std::string_view data, uint64_t type) override {
        std::string entry = std::string(RellumTokenTagName(type)) + ":" + escapeBytes(data);
        tokens.push_back(entry);
        log.push_back(std::string("didScanPartialData(") + entry + ")");
    }
    void scannerDidScanData(RellumScanner&) override {
        ++chunksEnded;
        log.push_back("scannerDidScanData");
    }

    void renderASCIIChars(RellumScanner&, const char* chars, uint64_t length) override {
        record("renderASCIIChars", std::string_view(chars, length));
    }
    void renderMBCSString(RellumScanner&, std::u32string_view string) override {
        record("renderMBCSString", string);
    }
    void scannerRingBell(RellumScanner&) override { record("scannerRingBell"); }
    void scannerBackspace(RellumScanner&) override { record("scannerBackspace"); }
    void scannerNextTabStop(RellumScanner&) override { record("scannerNextTabStop"); }
    void scannerLineFeed(RellumScanner&) override { record("scannerLineFeed"); }
    void scannerCarriageReturn(RellumScanner&) override { record("scannerCarriageReturn"); }
    void setCharset(RellumScanner&, uint64_t charset) override { record("setCharset", charset); }
    void scannerReverseLineFeed(RellumScanner&) override { record("scannerReverseLineFeed"); }
    void scannerSetTabStopAtCursor(RellumScanner&) override { record("scannerSetTabStopAtCursor"); }
    void scannerScreenAlignmentPattern(RellumScanner&) override { record("scannerScreenAlignmentPattern"); }
    void scannerSaveCursor(RellumScanner&) override { record("scannerSaveCursor"); }
    void scannerRestoreCursor(RellumScanner&) override { record("scannerRestoreCursor"); }
    void scannerFullReset(RellumScanner&) override { record("scannerFullReset"); }
    void applicationKeypadMode(RellumScanner&, bool enabled) override {
        record("applicationKeypadMode", enabled);
    }
    void designateCharset(RellumScanner&, uint64_t charset, bool drawLine) override {
        record("designateCharset", charset, drawLine);
    }
    void insertSpaceWithCount(RellumScanner&, uint64_t count) override {
        record("insertSpaceWithCount", count);
    }
    void cursorUpwardWithCount(RellumScanner&, uint64_t count, bool moveToLeftMargin) override {
        record("cursorUpwardWithCount", count, moveToLeftMargin);
    }
    void cursorDownwardWithCount(RellumScanner&, uint64_t count, bool moveToLeftMargin) override {
        record("cursorDownwardWithCount", count, moveToLeftMargin);
    }
    void cursorForwardWithCount(RellumScanner&, uint64_t count) override {
        record("cursorForwardWithCount", count);
    }
    void cursorBackwardWithCount(RellumScanner&, uint64_t count) override {
        record("cursorBackwardWithCount", count);
    }
    void cursorMoveToColumn(RellumScanner&, uint64_t column) override {
        record("cursorMoveToColumn", column);
    }
    void cursorMoveToRow(RellumScanner&, uint64_t row, uint64_t column) override {
        record("cursorMoveToRow", row, column);
    }
    void eraseDisplayWithArea(RellumScanner&, uint64_t area) override {
        record("eraseDisplayWithArea", area);
    }
    void eraseLineWithArea(RellumScanner&, uint64_t area) override { record("eraseLineWithArea", area); }
    void insertLineWithCount(RellumScanner&, uint64_t count) override {
        record("insertLineWithCount", count);
    }
    void deleteLineWithCount(RellumScanner&, uint64_t count) override {
        record("deleteLineWithCount", count);
    }
    void deleteCharacterWithCount(RellumScanner&, uint64_t count) override {
        record("deleteCharacterWithCount", count);
    }
    void eraseCharacterWithCount(RellumScanner&, uint64_t count) override {
        record("eraseCharacterWithCount", count);
    }
    void scrollUpWithCount(RellumScanner&, uint64_t count) override { record("scrollUpWithCount", count); }
    void scrollDownWithCount(RellumScanner&, uint64_t count) override {
        record("scrollDownWithCount", count);
    }
    void cursorBackwardTabulationWithCount(RellumScanner&, uint64_t count) override {
        record("cursorBackwardTabulationWithCount", count);
    }
    void cursorForwardTabulationWithCount(RellumScanner&, uint64_t count) override {
        record("cursorForwardTabulationWithCount", count);
    }
    void scannerRequestPrimaryDeviceAttribute(RellumScanner&) override {
        record("scannerRequestPrimaryDeviceAttribute");
    }
    void scannerRequestSecondaryDeviceAttribute(RellumScanner&) override {
        record("scannerRequestSecondaryDeviceAttribute");
    }
    void cursorMoveToRow(RellumScanner&, uint64_t row) override { record("cursorMoveToRow", row); }
    void scannerClearAllTabStops(RellumScanner&) override { record("scannerClearAllTabStops"); }
    void scannerClearTabStopAtCursor(RellumScanner&) override { record("scannerClearTabStopAtCursor"); }
    void enableInsertMode(RellumScanner&, bool enabled) override { record("enableInsertMode", enabled); }
    void setPageMarginTop(RellumScanner&, uint64_t top, uint64_t bottom) override {
        record("setPageMarginTop", top, bottom);
    }
    void setPageMarginLeft(RellumScanner&, uint64_t left, uint64_t right) override {
        record("setPageMarginLeft", left, right);
    }
    void scannerReportOperatingStatus(RellumScanner&) override { record("scannerReportOperatingStatus"); }
    void reportCursorPositionWithExtended(RellumScanner&, bool extended) override {
        record("reportCursorPositionWithExtended", extended);
    }
    void scannerSoftReset(RellumScanner&) override { record("scannerSoftReset"); }
    void addTextStyleMask(RellumScanner&, uint64_t mask) override { record("addTextStyleMask", mask); }
    void removeTextStyleMask(RellumScanner&, uint64_t mask) override { record("removeTextStyleMask", mask); }
    void scannerResetTextStyleAndBGFG(RellumScanner&) override { record("scannerResetTextStyleAndBGFG"); }
    void setBackgroundWithColorIndex(RellumScanner&, uint8_t index) override {
        record("setBackgroundWithColorIndex", index);
    }
    void setForegroundWithColorIndex(RellumScanner&, uint8_t index) override {
        record("setForegroundWithColorIndex", index);
    }
    void setBackgroundColor(RellumScanner&, std::optional<RellumColor> color) override {
        record("setBackgroundColor", color);
    }
    void setForegroundColor(RellumScanner&, std::optional<RellumColor> color) override {
        record("setForegroundColor", color);
    }
    void enableApplicationCursorKey(RellumScanner&, bool enabled) override {
        record("enableApplicationCursorKey", enabled);
    }
    void fixMoreProgram(RellumScanner&, bool enabled) override { record("fixMoreProgram", enabled); }
    void enableReverseVideoMode(RellumScanner&, bool enabled) override {
        record("enableReverseVideoMode", enabled);
    }
    void enableOriginMode(RellumScanner&, bool enabled) override { record("enableOriginMode", enabled); }
    void enableAutoWrap(RellumScanner&, bool enabled) override { record("enableAutoWrap", enabled); }
    void enableAutoRepeat(RellumScanner&, bool enabled) override { record("enableAutoRepeat", enabled); }
    void showCursor(RellumScanner&, bool visible) override { record("showCursor", visible); }
    void enableReverseWrapMode(RellumScanner&, bool enabled) override {
        record("enableReverseWrapMode", enabled);
    }
    void respectsHorizontalMargin(RellumScanner&, bool respects) override {
        record("respectsHorizontalMargin", respects);
    }
    void enableFocusEventsReport(RellumScanner&, bool enabled) override {
        record("enableFocusEventsReport", enabled);
    }
    void setMouseReportType(RellumScanner&, uint64_t type) override { record("setMouseReportType", type); }
    void setMouseReportProtocol(RellumScanner&, uint64_t protocol) override {
        record("setMouseReportProtocol", protocol);
    }
    void scannerShowAlternateScreen(RellumScanner&) override { record("scannerShowAlternateScreen"); }
    void scannerShowPrimaryScreen(RellumScanner&) override { record("scannerShowPrimaryScreen"); }
    void scannerClearScreen(RellumScanner&) override { record("scannerClearScreen"); }
    void enableBracketedPasteMode(RellumScanner&, bool enabled) override {
        record("enableBracketedPasteMode", enabled);
    }
    void iconifyWindow(RellumScanner&, bool iconify) override { record("iconifyWindow", iconify); }
    void moveWindowToOrigin(RellumScanner&, RellumPoint origin) override {
        record("moveWindowToOrigin", origin);
    }
    void resizeViewToSize(RellumScanner&, RellumSize size) override { record("resizeViewToSize", size); }
    void raiseWindow(RellumScanner&, bool raise) override { record("raiseWindow", raise); }
    void resizePageToRow(RellumScanner&, uint64_t row, uint64_t column) override {
        record("resizePageToRow", row, column);
    }
    void scannerReportWindowState(RellumScanner&) override { record("scannerReportWindowState"); }
    void scannerReportWindowPosition(RellumScanner&) override { record("scannerReportWindowPosition"); }
    void scannerReportWindowSize(RellumScanner&) override { record("scannerReportWindowSize"); }
    void scannerReportPageSize(RellumScanner&) override { record("scannerReportPageSize"); }
    void scannerReportMaxPageSize(RellumScanner&) override { record("scannerReportMaxPageSize"); }
    void scannerReportTerminalTitle(RellumScanner&, bool iconMode) override {
        record("scannerReportTerminalTitle", iconMode);
    }
    void scannerPushTerminalTitle(RellumScanner&) override { record("scannerPushTerminalTitle"); }
    void scannerPopTerminalTitle(RellumScanner&) override { record("scannerPopTerminalTitle"); }
    void setTerminalTitle(RellumScanner&, const std::optional<std::string>& title) override {
        record("setTerminalTitle", title);
    }
    void setURLTitle(RellumScanner&, const std::optional<std::string>& url) override {
        record("setURLTitle", url);
    }
    uint64_t scannerCursorColumn(RellumScanner&) override {
        record("scannerCursorColumn");
        return cursorColumn;
    }
    uint64_t scannerCursorRow(RellumScanner&) override {
        record("scannerCursorRow");
        return cursorRow;
    }
    bool scannerRespectsHorizontalMargin(RellumScanner&) override {
        record("scannerRespectsHorizontalMargin");
        return respectsMargin;
    }

private:
    static std::string format(std::string_view v) { return std::string("\"") + escapeBytes(v) + "\""; }
    static std::string format(std::u32string_view v) {
        std::string out;
        for (char32_t c : v) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "%sU+%04X", out.empty() ? "" : " ",
                          static_cast<unsigned>(c));
            out += buffer;
        }
        return out;
    }
    static std::string format(bool v) { return v ? "YES" : "NO"; }
    static std::string format(uint64_t v) { return v == RellumNotFound ? "NotFound" : std::to_string(v); }
    static std::string format(uint8_t v) { return std::to_string(v); }
    static std::string format(const std::optional<std::string>& v) {
        return v ? format(std::string_view(*v)) : "nil";
    }
    static std::string format(std::optional<RellumColor> v) {
        if (!v) return "nil";
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "rgb(%.0f,%.0f,%.0f,%.0f)", v->red * 255, v->green * 255,
                      v->blue * 255, v->alpha);
        return buffer;
    }
    static std::string format(RellumPoint v) {
        return std::string("(") + coordinate(v.x) + "," + coordinate(v.y) + ")";
    }
    static std::string format(RellumSize v) {
        return std::string("(") + coordinate(v.width) + "x" + coordinate(v.height) + ")";
    }
    static std::string coordinate(double v) {
        return v == static_cast<double>(RellumNotFound) ? "NotFound"
                                                        : std::to_string(static_cast<long long>(v));
    }

    template <typename... Args>
    void record(const char* name, const Args&... args) {
        std::string entry = name;
        if constexpr (sizeof...(Args) > 0) {
            entry += "(";
            bool first = true;
            ((entry += (first ? "" : ","), entry += format(args), first = false), ...);
            entry += ")";
        }
        calls.push_back(entry);
        log.push_back(entry);
    }
};

// Feeds `chunks` to a fresh scanner and returns the effect calls.
inline std::vector<std::string> transcript(std::initializer_list<std::string_view> chunks) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    for (std::string_view chunk : chunks)
        scanner.scanData(chunk);
    return delegate.calls;
}

inline std::vector<std::string> transcript(std::string_view bytes) {
    return transcript({bytes});
}

// The same, returning the tokens.
inline std::vector<std::string> tokensOf(std::initializer_list<std::string_view> chunks) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    for (std::string_view chunk : chunks)
        scanner.scanData(chunk);
    return delegate.tokens;
}

} // namespace scanner_test
