#pragma once

#include "Rellum/Scanner/RellumScannerDelegate.h"

// A delegate that ignores every operation: stands in for a missing delegate so
// the scanning loop never tests for one, and is the base of delegates that
// care about a few operations only.
class RellumScannerNullDelegate : public RellumScannerDelegate {
public:
    void willScanData(RellumScanner&, std::string_view) override {}
    void didScanPartialData(RellumScanner&, std::string_view, uint64_t) override {}
    void scannerDidScanData(RellumScanner&) override {}
    void renderASCIIChars(RellumScanner&, const char*, uint64_t) override {}
    void renderMBCSString(RellumScanner&, std::u32string_view) override {}
    void scannerRingBell(RellumScanner&) override {}
    void scannerBackspace(RellumScanner&) override {}
    void scannerNextTabStop(RellumScanner&) override {}
    void scannerLineFeed(RellumScanner&) override {}
    void scannerCarriageReturn(RellumScanner&) override {}
    void setCharset(RellumScanner&, uint64_t) override {}
    void scannerReverseLineFeed(RellumScanner&) override {}
    void scannerSetTabStopAtCursor(RellumScanner&) override {}
    void scannerScreenAlignmentPattern(RellumScanner&) override {}
    void scannerSaveCursor(RellumScanner&) override {}
    void scannerRestoreCursor(RellumScanner&) override {}
    void scannerFullReset(RellumScanner&) override {}
    void applicationKeypadMode(RellumScanner&, bool) override {}
    void designateCharset(RellumScanner&, uint64_t, bool) override {}
    void insertSpaceWithCount(RellumScanner&, uint64_t) override {}
    void cursorUpwardWithCount(RellumScanner&, uint64_t, bool) override {}
    void cursorDownwardWithCount(RellumScanner&, uint64_t, bool) override {}
    void cursorForwardWithCount(RellumScanner&, uint64_t) override {}
    void cursorBackwardWithCount(RellumScanner&, uint64_t) override {}
    void cursorMoveToColumn(RellumScanner&, uint64_t) override {}
    void cursorMoveToRow(RellumScanner&, uint64_t, uint64_t) override {}
    void eraseDisplayWithArea(RellumScanner&, uint64_t) override {}
    void eraseLineWithArea(RellumScanner&, uint64_t) override {}
    void insertLineWithCount(RellumScanner&, uint64_t) override {}
    void deleteLineWithCount(RellumScanner&, uint64_t) override {}
    void deleteCharacterWithCount(RellumScanner&, uint64_t) override {}
    void eraseCharacterWithCount(RellumScanner&, uint64_t) override {}
    void scrollUpWithCount(RellumScanner&, uint64_t) override {}
    void scrollDownWithCount(RellumScanner&, uint64_t) override {}
    void cursorBackwardTabulationWithCount(RellumScanner&, uint64_t) override {}
    void cursorForwardTabulationWithCount(RellumScanner&, uint64_t) override {}
    void scannerRequestPrimaryDeviceAttribute(RellumScanner&) override {}
    void scannerRequestSecondaryDeviceAttribute(RellumScanner&) override {}
    void cursorMoveToRow(RellumScanner&, uint64_t) override {}
    void scannerClearAllTabStops(RellumScanner&) override {}
    void scannerClearTabStopAtCursor(RellumScanner&) override {}
    void enableInsertMode(RellumScanner&, bool) override {}
    void setPageMarginTop(RellumScanner&, uint64_t, uint64_t) override {}
    void setPageMarginLeft(RellumScanner&, uint64_t, uint64_t) override {}
    void scannerReportOperatingStatus(RellumScanner&) override {}
    void reportCursorPositionWithExtended(RellumScanner&, bool) override {}
    void scannerSoftReset(RellumScanner&) override {}
    void addTextStyleMask(RellumScanner&, uint64_t) override {}
    void removeTextStyleMask(RellumScanner&, uint64_t) override {}
    void scannerResetTextStyleAndBGFG(RellumScanner&) override {}
    void setBackgroundWithColorIndex(RellumScanner&, uint8_t) override {}
    void setForegroundWithColorIndex(RellumScanner&, uint8_t) override {}
    void setBackgroundColor(RellumScanner&, std::optional<RellumColor>) override {}
    void setForegroundColor(RellumScanner&, std::optional<RellumColor>) override {}
    void enableApplicationCursorKey(RellumScanner&, bool) override {}
    void fixMoreProgram(RellumScanner&, bool) override {}
    void enableReverseVideoMode(RellumScanner&, bool) override {}
    void enableOriginMode(RellumScanner&, bool) override {}
    void enableAutoWrap(RellumScanner&, bool) override {}
    void enableAutoRepeat(RellumScanner&, bool) override {}
    void showCursor(RellumScanner&, bool) override {}
    void enableReverseWrapMode(RellumScanner&, bool) override {}
    void respectsHorizontalMargin(RellumScanner&, bool) override {}
    void enableFocusEventsReport(RellumScanner&, bool) override {}
    void setMouseReportType(RellumScanner&, uint64_t) override {}
    void setMouseReportProtocol(RellumScanner&, uint64_t) override {}
    void scannerShowAlternateScreen(RellumScanner&) override {}
    void scannerShowPrimaryScreen(RellumScanner&) override {}
    void scannerClearScreen(RellumScanner&) override {}
    void enableBracketedPasteMode(RellumScanner&, bool) override {}
    void iconifyWindow(RellumScanner&, bool) override {}
    void moveWindowToOrigin(RellumScanner&, RellumPoint) override {}
    void resizeViewToSize(RellumScanner&, RellumSize) override {}
    void raiseWindow(RellumScanner&, bool) override {}
    void resizePageToRow(RellumScanner&, uint64_t, uint64_t) override {}
    void scannerReportWindowState(RellumScanner&) override {}
    void scannerReportWindowPosition(RellumScanner&) override {}
    void scannerReportWindowSize(RellumScanner&) override {}
    void scannerReportPageSize(RellumScanner&) override {}
    void scannerReportMaxPageSize(RellumScanner&) override {}
    void scannerReportTerminalTitle(RellumScanner&, bool) override {}
    void scannerPushTerminalTitle(RellumScanner&) override {}
    void scannerPopTerminalTitle(RellumScanner&) override {}
    void setTerminalTitle(RellumScanner&, const std::optional<std::string>&) override {}
    void setURLTitle(RellumScanner&, const std::optional<std::string>&) override {}
    uint64_t scannerCursorColumn(RellumScanner&) override { return {}; }
    uint64_t scannerCursorRow(RellumScanner&) override { return {}; }
    bool scannerRespectsHorizontalMargin(RellumScanner&) override { return {}; }
};
