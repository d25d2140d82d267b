#include "Rellum/RellumMouseHelper.h"

#include "Rellum/Categories/RellumUTF8.h"
#include "Rellum/RellumKeyCodes.h"
#include "Rellum/RellumKeyPressHelper.h"

#include <algorithm>

namespace {

constexpr RellumMouseCoord kNoCoord{-1, -1};

// A single X10 byte carries at most 255; a larger value would wrap around
// into control bytes and wrong cells, so it stays at the edge instead.
constexpr std::int64_t kX10MaxValue = 255;
// The UTF-8 encoding is decoded by hosts as at most two bytes per value.
constexpr std::int64_t kUTF8MaxValue = 0x7FF;

std::int64_t clampValue(std::int64_t value, std::int64_t max) {
    return std::clamp<std::int64_t>(value, 0, max);
}

} // namespace

RellumMouseCoord RellumMouseCoordOfPoint(double x, double y, double viewHeight, double charWidth,
                                         double lineHeight, std::int64_t rows) {
    // Without a laid-out font there is no grid to point into.
    if (!(charWidth > 0) || !(lineHeight > 0)) return {0, 0};
    const double top = viewHeight - lineHeight * static_cast<double>(rows);
    const auto cell = [](double value) {
        if (!(value > 0)) return std::int64_t(0);
        return static_cast<std::int64_t>(std::min(value, 1e15));
    };
    return {cell(x / charWidth), cell((y - top) / lineHeight)};
}

std::uint64_t RellumMouseButtonCode(std::uint64_t buttonNumber) {
    switch (buttonNumber) {
    case 0:
        return 0;
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return 3;
    }
}

std::uint64_t RellumMouseModifierBits(std::uint64_t flags) {
    std::uint64_t bits = 0;
    if (flags & RellumShiftKeyMask) bits += 4;
    if (flags & RellumOptionKeyMask) bits += 8;
    if (flags & RellumControlKeyMask) bits += 16;
    return bits;
}

bool RellumMouseHelper::shouldReportMouseClick() const {
    return reportType_ == RellumMouseReportClick || reportType_ == RellumMouseReportDrag ||
           reportType_ == RellumMouseReportMotion;
}

bool RellumMouseHelper::shouldReportMouseDrag() const {
    return reportType_ == RellumMouseReportDrag || reportType_ == RellumMouseReportMotion;
}

bool RellumMouseHelper::shouldReportMouseMove() const {
    return reportType_ == RellumMouseReportMotion;
}

void RellumMouseHelper::setModes(const RellumInputModes& modes) {
    applicationCursorKeyMode_ = modes.applicationCursorKeyMode;
    reportType_ = modes.mouseReportType;
    reportProtocol_ = modes.mouseReportProtocol;
}

std::string RellumMouseHelper::sequenceForMouseDown(std::uint64_t buttonNumber, std::uint64_t flags,
                                                    RellumMouseCoord coord) {
    if (!shouldReportMouseClick()) return {};
    mouseDownReported_ = true;
    lastReportedCoord_ = coord;
    return sequenceForMouseButton(RellumMouseModifierBits(flags) + RellumMouseButtonCode(buttonNumber),
                                  coord);
}

std::string RellumMouseHelper::sequenceForMouseUp(std::uint64_t buttonNumber, std::uint64_t flags,
                                                  RellumMouseCoord coord) {
    if (!mouseDownReported_) return {};
    mouseDownReported_ = false;
    lastReportedCoord_ = kNoCoord;
    if (!shouldReportMouseClick()) return {};
    lastReportedCoord_ = coord;
    const std::uint64_t button =
        reportProtocol_ == RellumMouseProtocolSGR ? RellumMouseButtonCode(buttonNumber) : 3;
    return sequenceForMouseButton(RellumMouseModifierBits(flags) + button, coord, true);
}

std::string RellumMouseHelper::sequenceForMouseDragged(std::uint64_t buttonNumber, std::uint64_t flags,
                                                       RellumMouseCoord coord) {
    if (!mouseDownReported_ || coord == lastReportedCoord_) return {};
    lastReportedCoord_ = coord;
    if (!shouldReportMouseDrag()) return {};
    return sequenceForMouseButton(RellumMouseModifierBits(flags) + RellumMouseButtonCode(buttonNumber) + 32,
                                  coord);
}

std::string RellumMouseHelper::sequenceForMouseMovedWithModifierFlags(std::uint64_t flags,
                                                                      RellumMouseCoord coord) {
    if (coord == lastReportedCoord_) return {};
    lastReportedCoord_ = coord;
    if (!shouldReportMouseMove()) return {};
    return sequenceForMouseButton(RellumMouseModifierBits(flags) + 35, coord);
}

std::string RellumMouseHelper::sequenceForScrollWheelWithDeltaY(double deltaY, std::uint64_t flags,
                                                                RellumMouseCoord coord) const {
    if (!shouldReportMouseClick() || deltaY == 0 || deltaY != deltaY) return {};
    return sequenceForMouseButton(RellumMouseModifierBits(flags) + (deltaY > 0 ? 64 : 65), coord);
}

std::string RellumMouseHelper::sequenceForMovingCursorFrom(RellumMouseCoord cursor,
                                                           RellumMouseCoord target) const {
    const auto key = [&](char16_t code) {
        return RellumGetCursorKeySequence(code, applicationCursorKeyMode_).value_or(std::string());
    };
    std::string out;
    const auto repeat = [&](char16_t code, std::int64_t count) {
        const std::string k = key(code);
        for (std::int64_t i = 0; i < count; ++i)
            out += k;
    };
    if (target.x <= cursor.x)
        repeat(RellumLeftArrowKey, cursor.x - target.x);
    else
        repeat(RellumRightArrowKey, target.x - cursor.x);
    if (target.y <= cursor.y)
        repeat(RellumUpArrowKey, cursor.y - target.y);
    else
        repeat(RellumDownArrowKey, target.y - cursor.y);
    return out;
}

std::string RellumMouseHelper::sequenceForMouseButton(std::uint64_t code, RellumMouseCoord coord,
                                                      bool isMouseUp) const {
    // The view reports cells left of or above the page as 0; keep that true
    // for any caller so no protocol ever carries a negative cell.
    const std::int64_t x = std::max<std::int64_t>(coord.x, 0);
    const std::int64_t y = std::max<std::int64_t>(coord.y, 0);
    switch (reportProtocol_) {
    case RellumMouseProtocolSGR:
        return "\x1b[<" + std::to_string(code) + ";" + std::to_string(x + 1) + ";" + std::to_string(y + 1) +
               (isMouseUp ? "m" : "M");
    case RellumMouseProtocolDecimal:
        return "\x1b[" + std::to_string(code + 32) + ";" + std::to_string(x + 1) + ";" +
               std::to_string(y + 1) + "M";
    case RellumMouseProtocolUTF8: {
        std::string out = "\x1b[M";
        for (std::int64_t value : {static_cast<std::int64_t>(code) + 32, x + 33, y + 33})
            rellum_detail::appendUTF8(out, static_cast<char32_t>(clampValue(value, kUTF8MaxValue)));
        return out;
    }
    default: {
        std::string out = "\x1b[M";
        for (std::int64_t value : {static_cast<std::int64_t>(code) + 32, x + 33, y + 33})
            out.push_back(static_cast<char>(static_cast<unsigned char>(clampValue(value, kX10MaxValue))));
        return out;
    }
    }
}

bool RellumMouseHelper::shouldMoveCursor(std::uint64_t flags, std::uint64_t mouseReportType) {
    return (flags & RellumOptionKeyMask) && !(flags & RellumShiftKeyMask) &&
           mouseReportType == RellumMouseReportNone;
}

std::string RellumFocusReportSequence(bool focusReportMode, bool hasUserFocus) {
    if (!focusReportMode) return {};
    return hasUserFocus ? "\x1b[I" : "\x1b[O";
}
