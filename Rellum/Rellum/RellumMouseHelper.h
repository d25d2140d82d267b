#pragma once

#include "Rellum/RellumInputModes.h"

#include <cstdint>
#include <string>

// A cell of the visible page, zero-based, row 0 at the top.
struct RellumMouseCoord {
    std::int64_t x = 0;
    std::int64_t y = 0;

    friend bool operator==(const RellumMouseCoord&, const RellumMouseCoord&) = default;
};

// Mouse report types and encodings as the host selects them.
enum : std::uint64_t {
    RellumMouseReportNone = 0,
    RellumMouseReportClick = 1,  // presses and releases
    RellumMouseReportDrag = 3,   // and motion while a button is down
    RellumMouseReportMotion = 4, // and all motion
};
enum : std::uint64_t {
    RellumMouseProtocolX10 = 0,
    RellumMouseProtocolUTF8 = 1,
    RellumMouseProtocolDecimal = 2,
    RellumMouseProtocolSGR = 3,
};

// The cell under a point of the view (y growing downwards). The page fills
// the last `rows` lines of the view; points left of or above it give 0, points
// past its last column or row (a drag outside the view) give cells beyond it.
RellumMouseCoord RellumMouseCoordOfPoint(double x, double y, double viewHeight, double charWidth,
                                         double lineHeight, std::int64_t rows);

// Report code of a platform button number: 0 left, 2 right, 1 middle, 3 any other.
std::uint64_t RellumMouseButtonCode(std::uint64_t buttonNumber);
// Modifier bits of a report: Shift 4, Option 8, Control 16.
std::uint64_t RellumMouseModifierBits(std::uint64_t flags);

// The mouse encoder: holds the reporting state between events and builds the
// report bytes of the selected protocol. Every operation answers empty data
// when nothing is to be sent.
class RellumMouseHelper {
public:
    std::string sequenceForMouseDown(std::uint64_t buttonNumber, std::uint64_t flags, RellumMouseCoord coord);
    std::string sequenceForMouseUp(std::uint64_t buttonNumber, std::uint64_t flags, RellumMouseCoord coord);
    std::string sequenceForMouseDragged(std::uint64_t buttonNumber, std::uint64_t flags,
                                        RellumMouseCoord coord);
    std::string sequenceForMouseMovedWithModifierFlags(std::uint64_t flags, RellumMouseCoord coord);
    std::string sequenceForScrollWheelWithDeltaY(double deltaY, std::uint64_t flags,
                                                 RellumMouseCoord coord) const;

    // Cursor keys that move the shell's cursor from `cursor` to `target`:
    // horizontally first, then vertically.
    std::string sequenceForMovingCursorFrom(RellumMouseCoord cursor, RellumMouseCoord target) const;

    // One report of `code` at `coord` in the current protocol.
    std::string sequenceForMouseButton(std::uint64_t code, RellumMouseCoord coord,
                                       bool isMouseUp = false) const;

    // Whether a click with these flags moves the shell's cursor instead of
    // selecting: Option without Shift while the host takes no mouse reports.
    static bool shouldMoveCursor(std::uint64_t flags, std::uint64_t mouseReportType);

    // Copies cursor-key mode, report type and protocol from the view's context copy.
    void setModes(const RellumInputModes& modes);

    bool shouldReportMouseClick() const;
    bool shouldReportMouseDrag() const;
    bool shouldReportMouseMove() const;

    std::uint64_t reportType() const { return reportType_; }
    void setReportType(std::uint64_t type) { reportType_ = type; }
    std::uint64_t reportProtocol() const { return reportProtocol_; }
    void setReportProtocol(std::uint64_t protocol) { reportProtocol_ = protocol; }
    bool applicationCursorKeyMode() const { return applicationCursorKeyMode_; }
    void setApplicationCursorKeyMode(bool on) { applicationCursorKeyMode_ = on; }
    bool isMouseDownReported() const { return mouseDownReported_; }
    void setMouseDownReported(bool reported) { mouseDownReported_ = reported; }
    RellumMouseCoord lastReportedCoord() const { return lastReportedCoord_; }
    void setLastReportedCoord(RellumMouseCoord coord) { lastReportedCoord_ = coord; }

private:
    std::uint64_t reportType_ = RellumMouseReportNone;
    std::uint64_t reportProtocol_ = RellumMouseProtocolX10;
    bool applicationCursorKeyMode_ = false;
    bool mouseDownReported_ = false;
    RellumMouseCoord lastReportedCoord_;
};

// The focus report for the view's focus state: ESC [ I on gaining focus, ESC [ O
// on losing it; empty while the host has not asked for focus reports.
std::string RellumFocusReportSequence(bool focusReportMode, bool hasUserFocus);
