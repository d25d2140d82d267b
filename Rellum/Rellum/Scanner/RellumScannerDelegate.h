#pragma once

#include "Rellum/RellumColor.h"
#include "Rellum/RellumGeometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class RellumScanner;
class RellumParameterList;

// One piece of a text run: printable ASCII bytes in the chunk (`ascii` set)
// or decoded code points (`ascii` null).
struct RellumTextSegment {
    const char* ascii = nullptr;
    uint64_t asciiLength = 0;
    std::u32string_view codePoints;
};

// The operations through which the scanner hands the host's text and control
// functions to the terminal. Every operation is required. Every call runs on
// the thread that feeds the scanner, during `scanData`.
//
// Text arrives in runs, never a character at a time:
// - `renderASCIIChars` points into the chunk being scanned (bytes 0x20..0x7F,
//   no copy, no decoding);
// - `renderMBCSString` gets decoded code points (UTF-32) in a buffer the
//   scanner reuses: ready to become cells without another conversion.
// Both views are valid only during the call; copy what must outlive it.
//
// Counts and positions are the host's parameters after defaults; a parameter
// the scanner cannot read arrives as RellumNotFound, and a huge one clamped to
// RellumScannerParameterMax, so the terminal limits them to its page.
class RellumScannerDelegate {
public:
    virtual ~RellumScannerDelegate() = default;

    // Chunk bookkeeping.
    virtual void willScanData(RellumScanner& scanner, std::string_view data) = 0;
    // After each consumed token with its bytes and type; at the end of a chunk
    // with the bytes held back for the next chunk and the type that stopped.
    virtual void didScanPartialData(RellumScanner& scanner, std::string_view data, uint64_t type) = 0;
    // Optional: false when didScanPartialData does nothing, so the scanner
    // (which asks once a chunk) need not make a call for every token.
    virtual bool observesPartialData() const { return true; }
    virtual void scannerDidScanData(RellumScanner& scanner) = 0;

    // Text.
    virtual void renderASCIIChars(RellumScanner& scanner, const char* chars, uint64_t length) = 0;
    virtual void renderMBCSString(RellumScanner& scanner, std::u32string_view string) = 0;
    // Optional: text that alternates between ASCII and non-ASCII pieces in
    // one call, in order, as the two operations above would receive them one
    // by one (a run of one piece still comes through them). Asked before
    // each run; by default runs come piece by piece.
    virtual bool acceptsTextSegments(RellumScanner&) { return false; }
    virtual void renderTextSegments(RellumScanner& scanner, const RellumTextSegment* segments,
                                    std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (segments[i].ascii)
                renderASCIIChars(scanner, segments[i].ascii, segments[i].asciiLength);
            else
                renderMBCSString(scanner, segments[i].codePoints);
        }
    }

    // Optional: a delegate may hold back text written between graphic
    // renditions alone (the coloured words of one line then reach the screen
    // in one write). The scanner calls this before every other token, and
    // before the end of `scanData`, so held text is written in its place.
    virtual void releaseHeldText(RellumScanner&) {}

    // C0 controls and escape sequences.
    virtual void scannerRingBell(RellumScanner& scanner) = 0;
    virtual void scannerBackspace(RellumScanner& scanner) = 0;
    virtual void scannerNextTabStop(RellumScanner& scanner) = 0;
    virtual void scannerLineFeed(RellumScanner& scanner) = 0;
    virtual void scannerCarriageReturn(RellumScanner& scanner) = 0;
    virtual void setCharset(RellumScanner& scanner, uint64_t charset) = 0;
    virtual void scannerReverseLineFeed(RellumScanner& scanner) = 0;
    virtual void scannerSetTabStopAtCursor(RellumScanner& scanner) = 0;
    virtual void scannerScreenAlignmentPattern(RellumScanner& scanner) = 0;
    virtual void scannerSaveCursor(RellumScanner& scanner) = 0;
    virtual void scannerRestoreCursor(RellumScanner& scanner) = 0;
    virtual void scannerFullReset(RellumScanner& scanner) = 0;
    virtual void applicationKeypadMode(RellumScanner& scanner, bool enabled) = 0;
    virtual void designateCharset(RellumScanner& scanner, uint64_t charset, bool drawLine) = 0;

    // Control sequences.
    virtual void insertSpaceWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void cursorUpwardWithCount(RellumScanner& scanner, uint64_t count, bool moveToLeftMargin) = 0;
    virtual void cursorDownwardWithCount(RellumScanner& scanner, uint64_t count, bool moveToLeftMargin) = 0;
    virtual void cursorForwardWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void cursorBackwardWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void cursorMoveToColumn(RellumScanner& scanner, uint64_t column) = 0;
    virtual void cursorMoveToRow(RellumScanner& scanner, uint64_t row, uint64_t column) = 0;
    virtual void eraseDisplayWithArea(RellumScanner& scanner, uint64_t area) = 0;
    virtual void eraseLineWithArea(RellumScanner& scanner, uint64_t area) = 0;
    virtual void insertLineWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void deleteLineWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void deleteCharacterWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void eraseCharacterWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void scrollUpWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void scrollDownWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void cursorBackwardTabulationWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void cursorForwardTabulationWithCount(RellumScanner& scanner, uint64_t count) = 0;
    virtual void scannerRequestPrimaryDeviceAttribute(RellumScanner& scanner) = 0;
    virtual void scannerRequestSecondaryDeviceAttribute(RellumScanner& scanner) = 0;
    virtual void cursorMoveToRow(RellumScanner& scanner, uint64_t row) = 0;
    virtual void scannerClearAllTabStops(RellumScanner& scanner) = 0;
    virtual void scannerClearTabStopAtCursor(RellumScanner& scanner) = 0;
    virtual void enableInsertMode(RellumScanner& scanner, bool enabled) = 0;
    virtual void setPageMarginTop(RellumScanner& scanner, uint64_t top, uint64_t bottom) = 0;
    virtual void setPageMarginLeft(RellumScanner& scanner, uint64_t left, uint64_t right) = 0;
    virtual void scannerReportOperatingStatus(RellumScanner& scanner) = 0;
    virtual void reportCursorPositionWithExtended(RellumScanner& scanner, bool extended) = 0;
    virtual void scannerSoftReset(RellumScanner& scanner) = 0;

    // Graphic rendition. Style masks: 1 bold, 2 faint, 4 italic, 8 underline,
    // 16 blink, 32 inverse, 64 invisible, 128 strikeout. A colour of nullopt
    // returns to the default colour.
    virtual void addTextStyleMask(RellumScanner& scanner, uint64_t mask) = 0;
    virtual void removeTextStyleMask(RellumScanner& scanner, uint64_t mask) = 0;
    virtual void scannerResetTextStyleAndBGFG(RellumScanner& scanner) = 0;
    virtual void setBackgroundWithColorIndex(RellumScanner& scanner, uint8_t index) = 0;
    virtual void setForegroundWithColorIndex(RellumScanner& scanner, uint8_t index) = 0;
    virtual void setBackgroundColor(RellumScanner& scanner, std::optional<RellumColor> color) = 0;
    virtual void setForegroundColor(RellumScanner& scanner, std::optional<RellumColor> color) = 0;
    // A whole graphic rendition (SGR), its parameters read. By default they
    // are applied through the operations above, left to right; a delegate
    // may remember what a list did.
    virtual void applyGraphicRendition(RellumScanner& scanner, const RellumParameterList& list);

    // DEC private modes.
    virtual void enableApplicationCursorKey(RellumScanner& scanner, bool enabled) = 0;
    virtual void fixMoreProgram(RellumScanner& scanner, bool enabled) = 0;
    virtual void enableReverseVideoMode(RellumScanner& scanner, bool enabled) = 0;
    virtual void enableOriginMode(RellumScanner& scanner, bool enabled) = 0;
    virtual void enableAutoWrap(RellumScanner& scanner, bool enabled) = 0;
    virtual void enableAutoRepeat(RellumScanner& scanner, bool enabled) = 0;
    virtual void showCursor(RellumScanner& scanner, bool visible) = 0;
    virtual void enableReverseWrapMode(RellumScanner& scanner, bool enabled) = 0;
    virtual void respectsHorizontalMargin(RellumScanner& scanner, bool respects) = 0;
    virtual void enableFocusEventsReport(RellumScanner& scanner, bool enabled) = 0;
    // 0 off, 1 button presses (1000), 3 button motion (1002), 4 any motion (1003).
    virtual void setMouseReportType(RellumScanner& scanner, uint64_t type) = 0;
    // 0 normal, 1 UTF-8 (1005), 2 urxvt (1015), 3 SGR (1006).
    virtual void setMouseReportProtocol(RellumScanner& scanner, uint64_t protocol) = 0;
    virtual void scannerShowAlternateScreen(RellumScanner& scanner) = 0;
    virtual void scannerShowPrimaryScreen(RellumScanner& scanner) = 0;
    virtual void scannerClearScreen(RellumScanner& scanner) = 0;
    virtual void enableBracketedPasteMode(RellumScanner& scanner, bool enabled) = 0;

    // Window operations and reports.
    virtual void iconifyWindow(RellumScanner& scanner, bool iconify) = 0;
    virtual void moveWindowToOrigin(RellumScanner& scanner, RellumPoint origin) = 0;
    virtual void resizeViewToSize(RellumScanner& scanner, RellumSize size) = 0;
    virtual void raiseWindow(RellumScanner& scanner, bool raise) = 0;
    virtual void resizePageToRow(RellumScanner& scanner, uint64_t row, uint64_t column) = 0;
    virtual void scannerReportWindowState(RellumScanner& scanner) = 0;
    virtual void scannerReportWindowPosition(RellumScanner& scanner) = 0;
    virtual void scannerReportWindowSize(RellumScanner& scanner) = 0;
    virtual void scannerReportPageSize(RellumScanner& scanner) = 0;
    virtual void scannerReportMaxPageSize(RellumScanner& scanner) = 0;
    virtual void scannerReportTerminalTitle(RellumScanner& scanner, bool iconMode) = 0;
    virtual void scannerPushTerminalTitle(RellumScanner& scanner) = 0;
    virtual void scannerPopTerminalTitle(RellumScanner& scanner) = 0;

    // Operating-system commands. nullopt: the text was not valid UTF-8 (title)
    // or is no URL.
    virtual void setTerminalTitle(RellumScanner& scanner, const std::optional<std::string>& title) = 0;
    virtual void setURLTitle(RellumScanner& scanner, const std::optional<std::string>& url) = 0;

    // Queries.
    // The 1-based cursor column, at most the page's columns.
    virtual uint64_t scannerCursorColumn(RellumScanner& scanner) = 0;
    // The 1-based cursor row, at most the page's rows.
    virtual uint64_t scannerCursorRow(RellumScanner& scanner) = 0;
    // Whether left and right margins are in force.
    virtual bool scannerRespectsHorizontalMargin(RellumScanner& scanner) = 0;
};
