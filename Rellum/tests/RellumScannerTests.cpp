// Transcripts of the scanner: bytes in, delegate calls out. ESC is written
// "\033" and BEL "\a".
#include "ScannerRecordingDelegate.h"

#include <gtest/gtest.h>

using namespace scanner_test;

using Calls = std::vector<std::string>;

// ---------------------------------------------------------------- chunk loop

TEST(RellumScannerChunks, EmptyChunkCallsNothing) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("");
    EXPECT_TRUE(delegate.log.empty());
}

TEST(RellumScannerChunks, EveryChunkIsBracketedAndReportsItsTokens) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("hi\r\n");
    EXPECT_EQ(delegate.log,
              Calls({"willScanData(\"hi\\x0D\\x0A\")", "renderASCIIChars(\"hi\")",
                     "didScanPartialData(ASCII:hi)", "scannerCarriageReturn", "didScanPartialData(C0:\\x0D)",
                     "scannerLineFeed", "didScanPartialData(C0:\\x0A)", "scannerDidScanData"}));
}

TEST(RellumScannerChunks, UnfinishedSequenceIsHeldBackAndCompletedByTheNextChunk) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("ab\033[1");
    EXPECT_EQ(delegate.tokens, Calls({"ASCII:ab", "Wait:\\e[1"}));
    EXPECT_EQ(delegate.calls, Calls({"renderASCIIChars(\"ab\")"}));
    EXPECT_EQ(scanner.remainData(), "\033[1");
    scanner.scanData("m");
    EXPECT_EQ(delegate.lastJoinedData, "\033[1m");
    EXPECT_EQ(delegate.calls, Calls({"renderASCIIChars(\"ab\")", "addTextStyleMask(1)"}));
    EXPECT_EQ(delegate.tokens.back(), "CSI:\\e[1m");
    EXPECT_TRUE(scanner.remainData().empty());
    EXPECT_EQ(delegate.chunksStarted, 2);
    EXPECT_EQ(delegate.chunksEnded, 2);
}

TEST(RellumScannerChunks, ScannerWithoutDelegateKeepsItsState) {
    RellumScanner scanner;
    scanner.scanData("x\033[12");
    EXPECT_EQ(scanner.remainData(), "\033[12");
    ScannerRecordingDelegate delegate;
    scanner.setDelegate(&delegate);
    scanner.scanData("A");
    EXPECT_EQ(delegate.calls, Calls({"cursorUpwardWithCount(12,NO)"}));
}

TEST(RellumScannerChunks, TokenTagsNameEveryType) {
    EXPECT_EQ(RellumTokenTagName(RellumTokenData), "Data");
    EXPECT_EQ(RellumTokenTagName(RellumTokenWait), "Wait");
    EXPECT_EQ(RellumTokenTagName(RellumTokenUnsupport), "Unsupport");
    EXPECT_EQ(RellumTokenTagName(RellumTokenSCS), "SCS");
    EXPECT_EQ(RellumTokenTagName(2013), "APC");
    EXPECT_EQ(RellumTokenTagName(1999), "");
}

// ---------------------------------------------------------------- text

TEST(RellumScannerText, PrintableRunIsOneCallPointingIntoTheChunk) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    std::string text(1000, 'x');
    text += "\n";
    scanner.scanData(text);
    EXPECT_EQ(delegate.tokens.size(), 2u);
    EXPECT_EQ(delegate.calls.front(), std::string("renderASCIIChars(\"") + std::string(1000, 'x') + "\")");
}

TEST(RellumScannerText, DelAloneIsSkippedButInsideARunBelongsToIt) {
    EXPECT_EQ(tokensOf({"\x7f"}), Calls({"Skip:\\x7F"}));
    EXPECT_EQ(transcript("ab\x7f"
                         "cd"),
              Calls({"renderASCIIChars(\"ab\\x7Fcd\")"}));
    // The same when the run is cut just before the DEL.
    EXPECT_EQ(transcript({"ab", "\x7f"
                                "cd"}),
              Calls({"renderASCIIChars(\"ab\")", "renderASCIIChars(\"\\x7Fcd\")"}));
    EXPECT_EQ(transcript({"ab\n", "\x7f"
                                  "cd"}),
              Calls({"renderASCIIChars(\"ab\")", "scannerLineFeed", "renderASCIIChars(\"cd\")"}));
}

TEST(RellumScannerText, DecodedRunArrivesAsCodePoints) {
    EXPECT_EQ(transcript("\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80"
                         "a"),
              Calls({"renderMBCSString(U+00E9 U+4E2D U+1F600)", "renderASCIIChars(\"a\")"}));
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    struct Capture : ScannerRecordingDelegate {
        std::u32string got;
        void renderMBCSString(RellumScanner&, std::u32string_view s) override { got += s; }
    } capture;
    scanner.setDelegate(&capture);
    scanner.scanData("e\xcc\x81\xe4\xb8\xad");
    EXPECT_EQ(capture.got, U"\u0301\u4e2d");
}

TEST(RellumScannerText, CharacterSplitAcrossChunksIsCompleted) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("a\xe4\xb8");
    EXPECT_EQ(delegate.tokens, Calls({"ASCII:a", "Wait:\\xE4\\xB8"}));
    scanner.scanData("\xad");
    EXPECT_EQ(delegate.calls, Calls({"renderASCIIChars(\"a\")", "renderMBCSString(U+4E2D)"}));
}

TEST(RellumScannerText, IllFormedSubpartsBecomeOneReplacementEach) {
    const std::string fffd = "renderMBCSString(U+FFFD)";
    EXPECT_EQ(transcript("\xc3"
                         "("),
              Calls({fffd, "renderASCIIChars(\"(\")"}));
    EXPECT_EQ(tokensOf({"\xc3("}), Calls({"Invalid:\\xC3", "ASCII:("}));
    // A surrogate: the lead alone, then each continuation byte.
    EXPECT_EQ(transcript("\xed\xa0\x80"), Calls({fffd, fffd, fffd}));
    // A lead whose second byte is a continuation but whose third is not.
    EXPECT_EQ(transcript("\xe0\x80"
                         "A"),
              Calls({fffd, "renderASCIIChars(\"A\")"}));
    EXPECT_EQ(tokensOf({"\xe0\x80"
                        "A"}),
              Calls({"Invalid:\\xE0\\x80", "ASCII:A"}));
    // Overlong forms and values past U+10FFFF.
    EXPECT_EQ(transcript("\xc0\x80"), Calls({fffd, fffd}));
    EXPECT_EQ(transcript("\xf4\x90\x80\x80"), Calls({fffd, fffd, fffd, fffd}));
    EXPECT_EQ(transcript("\xf8\x88\x80\x80\x80"), Calls({fffd, fffd, fffd, fffd, fffd}));
    EXPECT_EQ(transcript("\xfe\xff"), Calls({fffd, fffd}));
}

TEST(RellumScannerText, WellFormedRunEndsBeforeAnIllFormedByte) {
    EXPECT_EQ(tokensOf({"\xc3\xa9\xff"}), Calls({"MBCS:\\xC3\\xA9", "Invalid:\\xFF"}));
    EXPECT_EQ(transcript("\xc3\xa9\xff"), Calls({"renderMBCSString(U+00E9)", "renderMBCSString(U+FFFD)"}));
}

TEST(RellumScannerText, LongNonAsciiRunArrivesInBoundedPieces) {
    struct Counter : ScannerRecordingDelegate {
        size_t pieces = 0, total = 0, largest = 0;
        void renderMBCSString(RellumScanner&, std::u32string_view s) override {
            ++pieces;
            total += s.size();
            largest = std::max(largest, s.size());
            for (char32_t c : s)
                EXPECT_EQ(c, U'\u00e9');
        }
    } delegate;
    RellumScanner scanner(&delegate);
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "\xc3\xa9";
    scanner.scanData(text);
    EXPECT_EQ(delegate.total, 40000u);
    EXPECT_LE(delegate.largest, RellumScanner::kMaxDecodedRun);
    EXPECT_EQ(delegate.pieces, 3u);
}

// ---------------------------------------------------------------- C0 controls

TEST(RellumScannerControls, EachControlCallsItsOperation) {
    EXPECT_EQ(transcript("\a\b\t\n\v\f\r\x0e\x0f"),
              Calls({"scannerRingBell", "scannerBackspace", "scannerNextTabStop", "scannerLineFeed",
                     "scannerLineFeed", "scannerLineFeed", "scannerCarriageReturn", "setCharset(1)",
                     "setCharset(0)"}));
}

TEST(RellumScannerControls, NulRunIsOneSkipAndOtherControlsAreIgnored) {
    EXPECT_EQ(tokensOf({std::string(100, '\0')}),
              Calls({std::string("Skip:") + escapeBytes(std::string(100, '\0'))}));
    EXPECT_EQ(tokensOf({"\x05\x11\x13\x18\x1a"}),
              Calls({"Skip:\\x05", "Skip:\\x11", "Skip:\\x13", "Skip:\\x18", "Skip:\\x1A"}));
    EXPECT_EQ(tokensOf({"\x01\x1f"}), Calls({"Unsupport:\\x01", "Unsupport:\\x1F"}));
    EXPECT_TRUE(transcript(std::string("\0\x01\x05\x1f\x7f", 5)).empty());
}

// ---------------------------------------------------------------- escape sequences

TEST(RellumScannerEscapes, SimpleEscapes) {
    EXPECT_EQ(
        transcript("\0337\0338\033=\033>\033D\033E\033H\033M\033Z\033c"),
        Calls({"scannerSaveCursor", "scannerRestoreCursor", "applicationKeypadMode(YES)",
               "applicationKeypadMode(NO)", "scannerLineFeed", "scannerLineFeed", "scannerCarriageReturn",
               "scannerSetTabStopAtCursor", "scannerReverseLineFeed", "scannerFullReset"}));
    EXPECT_EQ(tokensOf({"\033D\033Z\0337"}), Calls({"C1:\\eD", "C1:\\eZ", "ESC:\\e7"}));
}

TEST(RellumScannerEscapes, EscapeBeforeAControlDropsBoth) {
    EXPECT_EQ(tokensOf({"\033\r"}), Calls({"Unsupport:\\e\\x0D"}));
    EXPECT_TRUE(transcript("\033\r").empty());
    EXPECT_EQ(transcript("\033%G\033\\x"), Calls({"renderASCIIChars(\"G\")", "renderASCIIChars(\"x\")"}));
}

TEST(RellumScannerEscapes, DoubleEscapeDropsOnlyTheFirst) {
    EXPECT_EQ(tokensOf({"\033\033[A"}), Calls({"Skip:\\e", "CSI:\\e[A"}));
    EXPECT_EQ(transcript("\033\033[A"), Calls({"cursorUpwardWithCount(1,NO)"}));
}

TEST(RellumScannerEscapes, HashAndSpaceSequences) {
    EXPECT_EQ(tokensOf({"\033#5"}), Calls({"Unsupport:\\e#5"}));
    EXPECT_EQ(transcript("\033#8"), Calls({"scannerScreenAlignmentPattern"}));
    EXPECT_EQ(tokensOf({"\033 X"}), Calls({"Unsupport:\\e", "ASCII: X"}));
    EXPECT_EQ(tokensOf({"\033 G"}), Calls({"Unsupport:\\e G"}));
    EXPECT_EQ(tokensOf({"\033 ", "N"}), Calls({"Wait:\\e ", "Unsupport:\\e N"}));
    EXPECT_EQ(tokensOf({"\033"}), Calls({"Wait:\\e"}));
}

TEST(RellumScannerEscapes, CharacterSetDesignations) {
    EXPECT_EQ(transcript("\033(0\033)B\033*A\033+<\033-1\033.2\033/3"),
              Calls({"designateCharset(0,YES)", "designateCharset(1,NO)", "designateCharset(2,NO)",
                     "designateCharset(3,NO)", "designateCharset(4,NO)", "designateCharset(5,NO)",
                     "designateCharset(6,NO)"}));
    EXPECT_EQ(tokensOf({"\033(%5x"}), Calls({"SCS:\\e(%5", "ASCII:x"}));
    EXPECT_EQ(tokensOf({"\033(\"", "4"}), Calls({"Wait:\\e(\"", "SCS:\\e(\"4"}));
    EXPECT_EQ(tokensOf({"\033(\x01"}), Calls({"Unsupport:\\e(\\x01"}));
    EXPECT_EQ(tokensOf({"\033(\xc3"}), Calls({"Unsupport:\\e(\\xC3"}));
}

// ---------------------------------------------------------------- control sequences

TEST(RellumScannerCSI, CursorPositionAndDefaults) {
    EXPECT_EQ(transcript("\033[5;10H\033[5;10f\033[0;0H\033[H\033[;7H"),
              Calls({"cursorMoveToRow(5,10)", "cursorMoveToRow(5,10)", "cursorMoveToRow(1,1)",
                     "cursorMoveToRow(1,1)", "cursorMoveToRow(1,7)"}));
    EXPECT_EQ(
        transcript("\033[0B\033[0e\033[0L\033[E\033[0F"),
        Calls({"cursorDownwardWithCount(1,NO)", "cursorDownwardWithCount(0,NO)", "insertLineWithCount(0)",
               "cursorDownwardWithCount(1,YES)", "cursorUpwardWithCount(0,YES)"}));
    EXPECT_EQ(transcript("\033[3C\033[D\033[0G\033[4`\033[d\033[9d"),
              Calls({"cursorForwardWithCount(3)", "cursorBackwardWithCount(1)", "cursorMoveToColumn(1)",
                     "cursorMoveToColumn(4)", "cursorMoveToRow(1)", "cursorMoveToRow(9)"}));
}

TEST(RellumScannerCSI, EditingAndTabulation) {
    EXPECT_EQ(transcript("\033[@\033[0@\033[2M\033[P\033[4X\033[S\033[2T\033[I\033[0Z"),
              Calls({"insertSpaceWithCount(1)", "insertSpaceWithCount(0)", "deleteLineWithCount(2)",
                     "deleteCharacterWithCount(1)", "eraseCharacterWithCount(4)", "scrollUpWithCount(1)",
                     "scrollDownWithCount(2)", "cursorForwardTabulationWithCount(1)",
                     "cursorBackwardTabulationWithCount(1)"}));
    EXPECT_EQ(transcript("\033[J\033[2J\033[1K\033[?2J\033[?K\033[?S"),
              Calls({"eraseDisplayWithArea(0)", "eraseDisplayWithArea(2)", "eraseLineWithArea(1)"}));
    EXPECT_EQ(tokensOf({"\033[1;2T\033[>T"}), Calls({"Unsupport:\\e[1;2T", "Unsupport:\\e[>T"}));
    EXPECT_EQ(
        transcript("\033[g\033[0g\033[3g\033[2g"),
        Calls({"scannerClearTabStopAtCursor", "scannerClearTabStopAtCursor", "scannerClearAllTabStops"}));
}

TEST(RellumScannerCSI, RelativeColumnAsksForTheCursor) {
    ScannerRecordingDelegate delegate;
    delegate.cursorColumn = 7;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033[3a");
    EXPECT_EQ(delegate.calls, Calls({"scannerCursorColumn", "cursorMoveToColumn(10)"}));
}

TEST(RellumScannerCSI, ReportsAndResets) {
    EXPECT_EQ(transcript("\033[c\033[0c\033[>c\033[5n\033[6n\033[?6n\033[!p"),
              Calls({"scannerRequestPrimaryDeviceAttribute", "scannerRequestPrimaryDeviceAttribute",
                     "scannerRequestSecondaryDeviceAttribute", "scannerReportOperatingStatus",
                     "reportCursorPositionWithExtended(NO)", "reportCursorPositionWithExtended(YES)",
                     "scannerSoftReset"}));
    EXPECT_EQ(tokensOf({"\033[>6n\033[7n\033[p"}),
              Calls({"Unsupport:\\e[>6n", "Unsupport:\\e[7n", "Unsupport:\\e[p"}));
}

TEST(RellumScannerCSI, MarginsHomeTheCursor) {
    EXPECT_EQ(transcript("\033[5;20r\033[r\033[1;<r"),
              Calls({"setPageMarginTop(5,20)", "cursorMoveToRow(1,1)", "setPageMarginTop(0,0)",
                     "cursorMoveToRow(1,1)", "setPageMarginTop(0,0)", "cursorMoveToRow(1,1)"}));
    EXPECT_EQ(tokensOf({"\033[?1r\033[1$r"}), Calls({"Unsupport:\\e[?1r", "Unsupport:\\e[1$r"}));
}

TEST(RellumScannerCSI, SaveCursorOrLeftRightMargins) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033[s\033[u\033[2;40s");
    EXPECT_EQ(delegate.calls,
              Calls({"scannerRespectsHorizontalMargin", "scannerSaveCursor", "scannerRestoreCursor",
                     "setPageMarginLeft(2,40)", "cursorMoveToRow(1,1)"}));
    delegate.calls.clear();
    delegate.respectsMargin = true;
    scanner.scanData("\033[s\033[1u\033[?5s");
    EXPECT_EQ(delegate.calls,
              Calls({"scannerRespectsHorizontalMargin", "setPageMarginLeft(0,0)", "cursorMoveToRow(1,1)"}));
}

TEST(RellumScannerCSI, ControlBytesInsideRunAtOnceAndCancelBytesEndIt) {
    EXPECT_EQ(transcript("\033[1\n2\rA"),
              Calls({"scannerLineFeed", "scannerCarriageReturn", "cursorUpwardWithCount(12,NO)"}));
    EXPECT_EQ(tokensOf({"\033[1\n2A"}), Calls({"CSI:\\e[1\\x0A2A"}));
    // ESC cancels the sequence and is consumed with it.
    EXPECT_EQ(tokensOf({"\033[1\033[2J"}), Calls({"Invalid:\\e[1\\e", "ASCII:[2J"}));
    EXPECT_EQ(tokensOf({"\033[1\x18"
                        "A"}),
              Calls({"Invalid:\\e[1\\x18", "ASCII:A"}));
    EXPECT_EQ(transcript("\033[\x05\x7f\x01"
                         "2A"),
              Calls({"cursorUpwardWithCount(2,NO)"}));
}

TEST(RellumScannerCSI, ControlByteInASplitSequenceRunsOnce) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033[1\n");
    scanner.scanData("\a");
    scanner.scanData("A");
    EXPECT_EQ(delegate.calls, Calls({"scannerLineFeed", "scannerRingBell", "cursorUpwardWithCount(1,NO)"}));
    EXPECT_EQ(delegate.tokens.back(), "CSI:\\e[1\\x0A\\x07A");
}

TEST(RellumScannerCSI, IntermediatesAndStrayBytes) {
    // Bytes that are neither final nor control while the final byte is sought are ignored.
    EXPECT_EQ(transcript("\033[1 2m"), Calls({"addTextStyleMask(1)"}));
    EXPECT_EQ(transcript("\033[4\xc3\xa9m"), Calls({"addTextStyleMask(8)"}));
    EXPECT_EQ(tokensOf({"\033[1!t\033[1 u\033[z"}),
              Calls({"Unsupport:\\e[1!t", "Unsupport:\\e[1 u", "Unsupport:\\e[z"}));
}

TEST(RellumScannerCSI, UnreadableParameterReachesOneParameterFunctionsAsNotFound) {
    EXPECT_EQ(transcript("\033[?5A\033[3;4B"),
              Calls({"cursorUpwardWithCount(NotFound,NO)", "cursorDownwardWithCount(3,NO)"}));
    EXPECT_EQ(tokensOf({"\033[1;?H"}), Calls({"Invalid:\\e[1;?H"}));
}

TEST(RellumScannerCSI, HugeNumbersAreClamped) {
    EXPECT_EQ(
        transcript("\033[99999999999999999999999999999999999999999A\033[4294967296;18446744073709551617H"),
        Calls({"cursorUpwardWithCount(2147483647,NO)", "cursorMoveToRow(2147483647,2147483647)"}));
}

// ---------------------------------------------------------------- modes

TEST(RellumScannerModes, InsertModeAndUnknownAnsiModes) {
    EXPECT_EQ(transcript("\033[4h\033[4l\033[20;4h"),
              Calls({"enableInsertMode(YES)", "enableInsertMode(NO)", "enableInsertMode(YES)"}));
    EXPECT_EQ(tokensOf({"\033[20h"}), Calls({"Unsupport:\\e[20h"}));
    EXPECT_TRUE(transcript("\033[20h").empty());
}

TEST(RellumScannerModes, PrivateModesApplyInOrder) {
    EXPECT_EQ(transcript("\033[?25;2004h"), Calls({"showCursor(YES)", "enableBracketedPasteMode(YES)"}));
    EXPECT_EQ(tokensOf({"\033[?25;2004h"}), Calls({"CSI:\\e[?25;2004h"}));
    EXPECT_EQ(transcript("\033[?25;9999h"), Calls({"showCursor(YES)"}));
    EXPECT_EQ(tokensOf({"\033[?25;9999h"}), Calls({"Unsupport:\\e[?25;9999h"}));
    EXPECT_EQ(tokensOf({"\033[?<;25h"}), Calls({"CSI:\\e[?<;25h"}));
    EXPECT_TRUE(transcript("\033[?<;25h").empty());
}

TEST(RellumScannerModes, EveryKnownMode) {
    EXPECT_EQ(transcript("\033[?1;5;7;8;41;45;69;1004;2004h"),
              Calls({"enableApplicationCursorKey(YES)", "enableReverseVideoMode(YES)", "enableAutoWrap(YES)",
                     "enableAutoRepeat(YES)", "fixMoreProgram(YES)", "enableReverseWrapMode(YES)",
                     "respectsHorizontalMargin(YES)", "enableFocusEventsReport(YES)",
                     "enableBracketedPasteMode(YES)"}));
    EXPECT_EQ(transcript(
                  "\033[?1000h\033[?1002h\033[?1003h\033[?1003l\033[?1005h\033[?1006h\033[?1015h\033[?1006l"),
              Calls({"setMouseReportType(1)", "setMouseReportType(3)", "setMouseReportType(4)",
                     "setMouseReportType(0)", "setMouseReportProtocol(1)", "setMouseReportProtocol(3)",
                     "setMouseReportProtocol(2)", "setMouseReportProtocol(0)"}));
    EXPECT_EQ(transcript("\033[?3h\033[?3l\033[?6h\033[?6l"),
              Calls({"resizePageToRow(0,132)", "eraseDisplayWithArea(2)", "cursorMoveToRow(0,0)",
                     "resizePageToRow(0,80)", "eraseDisplayWithArea(2)", "cursorMoveToRow(0,0)",
                     "enableOriginMode(YES)", "cursorMoveToRow(1,1)", "enableOriginMode(NO)",
                     "cursorMoveToRow(1,1)"}));
}

TEST(RellumScannerModes, AlternateScreen) {
    EXPECT_EQ(transcript("\033[?1049h\033[?1049l"),
              Calls({"scannerSaveCursor", "scannerShowAlternateScreen", "scannerClearScreen",
                     "scannerShowPrimaryScreen", "scannerRestoreCursor"}));
    EXPECT_EQ(transcript("\033[?1048h\033[?1048l"), Calls({"scannerSaveCursor", "scannerRestoreCursor"}));
    ScannerRecordingDelegate delegate;
    delegate.cursorColumn = 12;
    delegate.cursorRow = 4;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033[?47h\033[?1047l");
    EXPECT_EQ(delegate.calls, Calls({"scannerCursorColumn", "scannerCursorRow", "scannerShowAlternateScreen",
                                     "cursorMoveToRow(4,12)", "scannerCursorColumn", "scannerCursorRow",
                                     "scannerShowPrimaryScreen", "cursorMoveToRow(4,12)"}));
}

// ---------------------------------------------------------------- graphic rendition

TEST(RellumScannerSGR, StylesAreSentTogetherAfterColours) {
    EXPECT_EQ(transcript("\033[1;4;31m"), Calls({"setForegroundWithColorIndex(1)", "addTextStyleMask(9)"}));
    EXPECT_EQ(transcript("\033[2;3;5;7;8;9;21m"), Calls({"addTextStyleMask(254)"}));
    EXPECT_EQ(transcript("\033[22;23;24;25;27;28;29m"), Calls({"removeTextStyleMask(255)"}));
    EXPECT_EQ(transcript("\033[m\033[0m"),
              Calls({"scannerResetTextStyleAndBGFG", "scannerResetTextStyleAndBGFG"}));
    EXPECT_EQ(transcript("\033[6;26;50m"), Calls());
}

TEST(RellumScannerSGR, CodesApplyLeftToRight) {
    // The reset comes after the bold, so bold ends off.
    EXPECT_EQ(transcript("\033[1;0m"), Calls({"scannerResetTextStyleAndBGFG"}));
    EXPECT_EQ(transcript("\033[0;1m"), Calls({"scannerResetTextStyleAndBGFG", "addTextStyleMask(1)"}));
    // Bold on comes after bold-and-faint off, so bold ends on and faint off.
    EXPECT_EQ(transcript("\033[22;1m"), Calls({"addTextStyleMask(1)", "removeTextStyleMask(2)"}));
    EXPECT_EQ(transcript("\033[1;22m"), Calls({"removeTextStyleMask(3)"}));
    EXPECT_EQ(transcript("\033[4;24;4m"), Calls({"addTextStyleMask(8)"}));
}

TEST(RellumScannerSGR, SixteenAnd256Colours) {
    EXPECT_EQ(transcript("\033[30;37;40;47;90;97;100;107;39;49m"),
              Calls({"setForegroundWithColorIndex(0)", "setForegroundWithColorIndex(7)",
                     "setBackgroundWithColorIndex(0)", "setBackgroundWithColorIndex(7)",
                     "setForegroundWithColorIndex(8)", "setForegroundWithColorIndex(15)",
                     "setBackgroundWithColorIndex(8)", "setBackgroundWithColorIndex(15)",
                     "setForegroundColor(nil)", "setBackgroundColor(nil)"}));
    EXPECT_EQ(transcript("\033[1;38;5;196m"),
              Calls({"addTextStyleMask(1)", "setForegroundWithColorIndex(196)"}));
    EXPECT_EQ(transcript("\033[48;5;300m"), Calls({"setBackgroundWithColorIndex(44)"}));
    // Too short for an index: index 0, and the 5 is read as blink.
    EXPECT_EQ(transcript("\033[38;5m"), Calls({"setForegroundWithColorIndex(0)", "addTextStyleMask(16)"}));
    EXPECT_EQ(transcript("\033[48m"), Calls({"setBackgroundWithColorIndex(0)"}));
}

TEST(RellumScannerSGR, DirectColours) {
    EXPECT_EQ(transcript("\033[38;2;255;0;0;1m"),
              Calls({"setForegroundColor(rgb(255,0,0,1))", "addTextStyleMask(1)"}));
    EXPECT_EQ(transcript("\033[48;2;10;20;30m"), Calls({"setBackgroundColor(rgb(10,20,30,1))"}));
    EXPECT_EQ(transcript("\033[38;2;999;0;99999999999m"), Calls({"setForegroundColor(rgb(255,0,255,1))"}));
    EXPECT_EQ(transcript("\033[38;2;1;2m"), Calls({"setForegroundWithColorIndex(0)", "addTextStyleMask(3)"}));
}

// The colon forms give the colours of the semicolon forms; other
// sub-parameters keep their main value and never change another attribute.
TEST(RellumScannerSGR, ColonSubParameters) {
    EXPECT_EQ(transcript("\033[38:5:196m"), Calls({"setForegroundWithColorIndex(196)"}));
    EXPECT_EQ(transcript("\033[48:5:21m"), Calls({"setBackgroundWithColorIndex(21)"}));
    EXPECT_EQ(transcript("\033[38:2:255:0:0m"), Calls({"setForegroundColor(rgb(255,0,0,1))"}));
    EXPECT_EQ(transcript("\033[38:2::255:0:0m"), Calls({"setForegroundColor(rgb(255,0,0,1))"}));
    EXPECT_EQ(transcript("\033[48:2:1:10:20:30m"), Calls({"setBackgroundColor(rgb(10,20,30,1))"}));
    EXPECT_EQ(transcript("\033[1;38:5:196;4m"),
              Calls({"addTextStyleMask(1)", "setForegroundWithColorIndex(196)", "addTextStyleMask(8)"}));
    EXPECT_EQ(transcript("\033[4:3m"), Calls({"addTextStyleMask(8)"}));
    // Malformed colours change nothing, and their pieces are not read as codes.
    EXPECT_EQ(transcript("\033[38:5m\033[38:2:1:2m\033[38:7:1m\033[:5m"), Calls());
    EXPECT_EQ(transcript("\033[38:5;1m"), Calls({"addTextStyleMask(1)"}));
}

TEST(RellumScannerSGR, UnreadableListOrPrefixChangesNothing) {
    EXPECT_EQ(tokensOf({"\033[1;<;4m", "\033[>4m"}), Calls({"Invalid:\\e[1;<;4m", "Unsupport:\\e[>4m"}));
    EXPECT_TRUE(transcript("\033[1;<;4m\033[>4m").empty());
}

TEST(RellumScannerSGR, ApplyFunctionTakesAParsedList) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    RellumApplySGRParameters(RellumParameterList{}, scanner, delegate);
    EXPECT_TRUE(delegate.calls.empty());
    auto list = RellumScanParameters("7;27;7", 0, false);
    ASSERT_TRUE(list);
    RellumApplySGRParameters(*list, scanner, delegate);
    EXPECT_EQ(delegate.calls, Calls({"addTextStyleMask(32)"}));
}

// ---------------------------------------------------------------- window operations

TEST(RellumScannerWindow, Operations) {
    EXPECT_EQ(transcript("\033[1t\033[2t\033[3;10;20t\033[4;300;400t\033[5t\033[6t\033[8;24;80t"),
              Calls({"iconifyWindow(NO)", "iconifyWindow(YES)", "moveWindowToOrigin((10,20))",
                     "resizeViewToSize((400x300))", "raiseWindow(YES)", "raiseWindow(NO)",
                     "resizePageToRow(24,80)"}));
    EXPECT_EQ(transcript("\033[3t\033[8;;100t"),
              Calls({"moveWindowToOrigin((NotFound,NotFound))", "resizePageToRow(NotFound,100)"}));
    EXPECT_EQ(transcript("\033[11t\033[13t\033[14t\033[18t\033[19t\033[20t\033[21t"),
              Calls({"scannerReportWindowState", "scannerReportWindowPosition", "scannerReportWindowSize",
                     "scannerReportPageSize", "scannerReportMaxPageSize", "scannerReportTerminalTitle(YES)",
                     "scannerReportTerminalTitle(NO)"}));
}

TEST(RellumScannerWindow, TitleStackNeedsAKnownSecondValue) {
    EXPECT_EQ(tokensOf({"\033[22t"}), Calls({"Unsupport:\\e[22t"}));
    EXPECT_EQ(transcript("\033[22;0t\033[22;2t\033[23;1t\033[22;3t\033[22t"),
              Calls({"scannerPushTerminalTitle", "scannerPushTerminalTitle", "scannerPopTerminalTitle"}));
    EXPECT_EQ(tokensOf({"\033[7t\033[24t\033[0t\033[t"}),
              Calls({"Unsupport:\\e[7t", "Unsupport:\\e[24t", "Unsupport:\\e[0t", "Unsupport:\\e[t"}));
}

// ---------------------------------------------------------------- operating-system commands

TEST(RellumScannerOSC, Titles) {
    EXPECT_EQ(transcript("\033]0;a;b\a"), Calls({"setTerminalTitle(\"a;b\")"}));
    EXPECT_EQ(transcript("\033]2;x\033\\"), Calls({"setTerminalTitle(\"x\")"}));
    EXPECT_EQ(transcript("\033]1;icon\a\033];plain\a\033]0\a"),
              Calls({"setTerminalTitle(\"icon\")", "setTerminalTitle(\"plain\")", "setTerminalTitle(\"\")"}));
    EXPECT_EQ(transcript("\033]0;caf\xc3\xa9\a"), Calls({"setTerminalTitle(\"caf\\xC3\\xA9\")"}));
    EXPECT_EQ(transcript("\033]0;bad\xff\a"), Calls({"setTerminalTitle(nil)"}));
    // Control bytes are part of the text; ESC ] is skipped.
    EXPECT_EQ(transcript("\033]0;a\tb\033]c\a"), Calls({"setTerminalTitle(\"a\\x09bc\")"}));
}

TEST(RellumScannerOSC, UnsupportedAndCancelled) {
    EXPECT_EQ(tokensOf({"\033]3;x\a"}), Calls({"Unsupport:\\e]3;x\\x07"}));
    EXPECT_EQ(tokensOf({"\033]x;y\a"}), Calls({"Unsupport:\\e]x;y\\x07"}));
    EXPECT_EQ(tokensOf({"\033]0;ab\x18"
                        "c"}),
              Calls({"Unsupport:\\e]0;ab\\x18", "ASCII:c"}));
    EXPECT_EQ(tokensOf({"\033]0;ab\033x"
                        "c"}),
              Calls({"Unsupport:\\e]0;ab\\ex", "ASCII:c"}));
    EXPECT_EQ(tokensOf({"\033]P0a0b0c0z"}), Calls({"Unsupport:\\e]P0a0b0c0", "ASCII:z"}));
    EXPECT_TRUE(transcript("\033]3;x\a\033]P0a0b0c0").empty());
}

TEST(RellumScannerOSC, PaletteSequenceWaitsForAllItsBytes) {
    EXPECT_EQ(tokensOf({"\033]P0a", "0b0c0z"}), Calls({"Wait:\\e]P0a", "Unsupport:\\e]P0a0b0c0", "ASCII:z"}));
}

TEST(RellumScannerOSC, CurrentDirectory) {
    EXPECT_EQ(transcript("\033]7;file:///tmp\a"), Calls({"setURLTitle(\"file:///tmp\")"}));
    EXPECT_EQ(transcript("\033]7;file://host/a%20b\a"), Calls({"setURLTitle(\"file://host/a%20b\")"}));
    EXPECT_EQ(transcript("\033]7;not a url\a\033]7;\a\033]7;x%zz\a"),
              Calls({"setURLTitle(nil)", "setURLTitle(nil)", "setURLTitle(nil)"}));
}

TEST(RellumScannerOSC, SplitAcrossChunks) {
    EXPECT_EQ(tokensOf({"\033]0;ti", "tle\033", "\\x"}),
              Calls({"Wait:\\e]0;ti", "Wait:\\e]0;title\\e", "OSC:\\e]0;title\\e\\x5C", "ASCII:x"}));
    EXPECT_EQ(transcript({"\033]0;ti", "tle\033", "\\x"}),
              Calls({"setTerminalTitle(\"title\")", "renderASCIIChars(\"x\")"}));
}

// ---------------------------------------------------------------- device control strings

TEST(RellumScannerDCS, ConsumedUpToStringTerminator) {
    EXPECT_EQ(tokensOf({"\033P1$r\a\x18q\033\\z"}),
              Calls({"Unsupport:\\eP1$r\\x07\\x18q\\e\\x5C", "ASCII:z"}));
    EXPECT_EQ(transcript("\033Pq#0;1\033x\033\\z"), Calls({"renderASCIIChars(\"z\")"}));
}

TEST(RellumScannerDCS, HeldBackUntilTerminated) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\033Pabc");
    scanner.scanData("def\033");
    EXPECT_EQ(scanner.remainData(), "\033Pabcdef\033");
    scanner.scanData("\\ok");
    EXPECT_EQ(delegate.calls, Calls({"renderASCIIChars(\"ok\")"}));
    EXPECT_EQ(delegate.tokens,
              Calls({"Wait:\\ePabc", "Wait:\\ePabcdef\\e", "Unsupport:\\ePabcdef\\e\\x5C", "ASCII:ok"}));
}

// ---------------------------------------------------------------- parameters

TEST(RellumScannerParameters, NumericParameter) {
    EXPECT_EQ(RellumScanNumericParameter("", 7, false), 7u);
    EXPECT_EQ(RellumScanNumericParameter("0", 7, false), 0u);
    EXPECT_EQ(RellumScanNumericParameter("0", 7, true), 7u);
    EXPECT_EQ(RellumScanNumericParameter("42", 7, true), 42u);
    EXPECT_EQ(RellumScanNumericParameter("?1", 7, true), RellumNotFound);
    EXPECT_EQ(RellumScanNumericParameter("12;5", 7, true), 12u);
    EXPECT_EQ(RellumScanNumericParameter(std::string(400, '9'), 7, true), RellumScannerParameterMax);
}

TEST(RellumScannerParameters, ParameterList) {
    auto list = RellumScanParameterList("1;;3", 9, false, 0);
    ASSERT_TRUE(list);
    EXPECT_EQ(std::vector<uint64_t>(list->begin(), list->end()), (std::vector<uint64_t>{1, 9, 3}));
    list = RellumScanParameterList("5", 1, true, 3);
    ASSERT_TRUE(list);
    EXPECT_EQ(std::vector<uint64_t>(list->begin(), list->end()), (std::vector<uint64_t>{5, 1, 1}));
    list = RellumScanParameterList("5;6;7;8", 1, true, 2);
    ASSERT_TRUE(list);
    EXPECT_EQ(std::vector<uint64_t>(list->begin(), list->end()), (std::vector<uint64_t>{5, 6}));
    list = RellumScanParameters("", 0, false);
    ASSERT_TRUE(list);
    EXPECT_EQ(std::vector<uint64_t>(list->begin(), list->end()), (std::vector<uint64_t>{0}));
    EXPECT_FALSE(RellumScanParameters("1;a", 0, false));
    // Missing values take a NotFound default without failing the list.
    list = RellumScanParameterList("3", RellumNotFound, false, 3);
    ASSERT_TRUE(list);
    EXPECT_EQ((*list)[1], RellumNotFound);
}

TEST(RellumScannerParameters, ListIsBounded) {
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "1;";
    auto list = RellumScanParameters(text, 0, false);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), RellumScannerMaxParameters);
}

// ---------------------------------------------------------------- legacy encodings

TEST(RellumScannerLegacy, MultibyteEncodingsDecodeByTheirOwnRules) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\xd6\xd0"
                     "a",
                     0x80000632); // GB 18030
    EXPECT_EQ(scanner.cfEncoding(), 0x0632u);
    scanner.scanData("\x82\xa0"
                     "b",
                     8); // Shift JIS
    EXPECT_EQ(scanner.encoding(), 8u);
    // A byte the rule rejects is consumed and shown as one replacement.
    scanner.scanData("\x80"
                     "c",
                     0x80000632);
    EXPECT_EQ(delegate.calls,
              Calls({"renderMBCSString(U+4E2D)", "renderASCIIChars(\"a\")", "renderMBCSString(U+3042)",
                     "renderASCIIChars(\"b\")", "renderMBCSString(U+FFFD)", "renderASCIIChars(\"c\")"}));
}

TEST(RellumScannerLegacy, LeadByteAtChunkEndWaits) {
    ScannerRecordingDelegate delegate;
    RellumScanner scanner(&delegate);
    scanner.scanData("\xd6", 0x80000632);
    EXPECT_EQ(scanner.remainData(), "\xd6");
    scanner.scanData("\xd0", 0x80000632);
    EXPECT_EQ(delegate.calls, Calls({"renderMBCSString(U+4E2D)"}));
    EXPECT_EQ(scanner.encoding(), 0x80000632u);
}
