#include "Rellum/RellumTerminal.h"

// The control functions: what the terminal does for each operation of the
// scanner. All run on the render queue.

void RellumTerminal::willScanData(RellumScanner&, std::string_view) {}

void RellumTerminal::didScanPartialData(RellumScanner&, std::string_view, uint64_t) {}

void RellumTerminal::scannerDidScanData(RellumScanner&) {}

void RellumTerminal::renderASCIIChars(RellumScanner&, const char* chars, uint64_t length) {
    runElements_.assignFromASCIIChars(chars, std::size_t(length));
    activeGrid()->renderElementsFromCursor(runElements_);
}

void RellumTerminal::renderMBCSString(RellumScanner&, std::u32string_view string) {
    runElements_.assignFromMBCSUTF32Chars(string.data(), string.size());
    if (runElements_.empty()) return;
    activeGrid()->renderElementsFromCursor(runElements_.rellum_arrayByMergingCombiningMarkElement());
}

void RellumTerminal::scannerRingBell(RellumScanner&) {}

void RellumTerminal::scannerBackspace(RellumScanner&) {}

void RellumTerminal::scannerNextTabStop(RellumScanner&) {}

void RellumTerminal::scannerLineFeed(RellumScanner&) {
    activeGrid()->moveCursorDownOrNewline();
}

void RellumTerminal::scannerCarriageReturn(RellumScanner&) {
    activeGrid()->moveCursorToLeftMargin();
}

void RellumTerminal::setCharset(RellumScanner&, uint64_t) {}

void RellumTerminal::scannerReverseLineFeed(RellumScanner&) {}

void RellumTerminal::scannerSetTabStopAtCursor(RellumScanner&) {}

void RellumTerminal::scannerScreenAlignmentPattern(RellumScanner&) {}

void RellumTerminal::scannerSaveCursor(RellumScanner&) {}

void RellumTerminal::scannerRestoreCursor(RellumScanner&) {}

void RellumTerminal::scannerFullReset(RellumScanner&) {}

void RellumTerminal::applicationKeypadMode(RellumScanner&, bool) {}

void RellumTerminal::designateCharset(RellumScanner&, uint64_t, bool) {}

void RellumTerminal::insertSpaceWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorUpwardWithCount(RellumScanner&, uint64_t, bool) {}

void RellumTerminal::cursorDownwardWithCount(RellumScanner&, uint64_t, bool) {}

void RellumTerminal::cursorForwardWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorBackwardWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorMoveToColumn(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorMoveToRow(RellumScanner&, uint64_t, uint64_t) {}

void RellumTerminal::eraseDisplayWithArea(RellumScanner&, uint64_t) {}

void RellumTerminal::eraseLineWithArea(RellumScanner&, uint64_t) {}

void RellumTerminal::insertLineWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::deleteLineWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::deleteCharacterWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::eraseCharacterWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::scrollUpWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::scrollDownWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorBackwardTabulationWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::cursorForwardTabulationWithCount(RellumScanner&, uint64_t) {}

void RellumTerminal::scannerRequestPrimaryDeviceAttribute(RellumScanner&) {}

void RellumTerminal::scannerRequestSecondaryDeviceAttribute(RellumScanner&) {}

void RellumTerminal::cursorMoveToRow(RellumScanner&, uint64_t) {}

void RellumTerminal::scannerClearAllTabStops(RellumScanner&) {}

void RellumTerminal::scannerClearTabStopAtCursor(RellumScanner&) {}

void RellumTerminal::enableInsertMode(RellumScanner&, bool) {}

void RellumTerminal::setPageMarginTop(RellumScanner&, uint64_t, uint64_t) {}

void RellumTerminal::setPageMarginLeft(RellumScanner&, uint64_t, uint64_t) {}

void RellumTerminal::scannerReportOperatingStatus(RellumScanner&) {}

void RellumTerminal::reportCursorPositionWithExtended(RellumScanner&, bool) {}

void RellumTerminal::scannerSoftReset(RellumScanner&) {}

void RellumTerminal::addTextStyleMask(RellumScanner&, uint64_t) {}

void RellumTerminal::removeTextStyleMask(RellumScanner&, uint64_t) {}

void RellumTerminal::scannerResetTextStyleAndBGFG(RellumScanner&) {}

void RellumTerminal::setBackgroundWithColorIndex(RellumScanner&, uint8_t) {}

void RellumTerminal::setForegroundWithColorIndex(RellumScanner&, uint8_t) {}

void RellumTerminal::setBackgroundColor(RellumScanner&, std::optional<RellumColor>) {}

void RellumTerminal::setForegroundColor(RellumScanner&, std::optional<RellumColor>) {}

void RellumTerminal::enableApplicationCursorKey(RellumScanner&, bool) {}

void RellumTerminal::fixMoreProgram(RellumScanner&, bool) {}

void RellumTerminal::enableReverseVideoMode(RellumScanner&, bool) {}

void RellumTerminal::enableOriginMode(RellumScanner&, bool) {}

void RellumTerminal::enableAutoWrap(RellumScanner&, bool) {}

void RellumTerminal::enableAutoRepeat(RellumScanner&, bool) {}

void RellumTerminal::showCursor(RellumScanner&, bool) {}

void RellumTerminal::enableReverseWrapMode(RellumScanner&, bool) {}

void RellumTerminal::respectsHorizontalMargin(RellumScanner&, bool) {}

void RellumTerminal::enableFocusEventsReport(RellumScanner&, bool) {}

void RellumTerminal::setMouseReportType(RellumScanner&, uint64_t) {}

void RellumTerminal::setMouseReportProtocol(RellumScanner&, uint64_t) {}

void RellumTerminal::scannerShowAlternateScreen(RellumScanner&) {}

void RellumTerminal::scannerShowPrimaryScreen(RellumScanner&) {}

void RellumTerminal::scannerClearScreen(RellumScanner&) {}

void RellumTerminal::enableBracketedPasteMode(RellumScanner&, bool) {}

void RellumTerminal::iconifyWindow(RellumScanner&, bool) {}

void RellumTerminal::moveWindowToOrigin(RellumScanner&, RellumPoint) {}

void RellumTerminal::resizeViewToSize(RellumScanner&, RellumSize) {}

void RellumTerminal::raiseWindow(RellumScanner&, bool) {}

void RellumTerminal::resizePageToRow(RellumScanner&, uint64_t, uint64_t) {}

void RellumTerminal::scannerReportWindowState(RellumScanner&) {}

void RellumTerminal::scannerReportWindowPosition(RellumScanner&) {}

void RellumTerminal::scannerReportWindowSize(RellumScanner&) {}

void RellumTerminal::scannerReportPageSize(RellumScanner&) {}

void RellumTerminal::scannerReportMaxPageSize(RellumScanner&) {}

void RellumTerminal::scannerReportTerminalTitle(RellumScanner&, bool) {}

void RellumTerminal::scannerPushTerminalTitle(RellumScanner&) {}

void RellumTerminal::scannerPopTerminalTitle(RellumScanner&) {}

void RellumTerminal::setTerminalTitle(RellumScanner&, const std::optional<std::string>&) {}

void RellumTerminal::setURLTitle(RellumScanner&, const std::optional<std::string>&) {}

uint64_t RellumTerminal::scannerCursorColumn(RellumScanner&) {
    return activeGrid()->cursorX() + 1;
}

uint64_t RellumTerminal::scannerCursorRow(RellumScanner&) {
    return activeGrid()->cursorY() + 1;
}

bool RellumTerminal::scannerRespectsHorizontalMargin(RellumScanner&) {
    return context_->respectsHorizontalMargin();
}
