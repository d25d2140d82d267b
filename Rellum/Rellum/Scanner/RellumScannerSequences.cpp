// Control sequences, graphic rendition, operating-system commands and device
// control strings: the scanners called after ESC [, ESC ] and ESC P.
#include "Rellum/Scanner/RellumScanner.h"

#include "Rellum/Scanner/RellumScannerUTF8.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char BEL = 0x07, CAN = 0x18, SUB = 0x1A, ESC = 0x1B;

bool isURLByte(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-._~:/?#[]@!$&'()*+,;=%", c) != nullptr && c != 0;
}

bool isHex(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The URL the text names, or nullopt when it is none (empty, characters a URL
// cannot hold, a broken percent escape).
std::optional<std::string> urlFromText(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    const std::string& t = *text;
    for (size_t i = 0; i < t.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(t[i]);
        if (!isURLByte(c)) return std::nullopt;
        if (c == '%' && (i + 2 >= t.size() || !isHex(static_cast<unsigned char>(t[i + 1])) ||
                         !isHex(static_cast<unsigned char>(t[i + 2]))))
            return std::nullopt;
    }
    return t;
}

// Copies raw[from, to) without the ESC ] pairs that a command skips.
void appendWithoutSkippedPairs(std::string& out, const unsigned char* raw, uint64_t from, uint64_t to) {
    out.clear();
    for (uint64_t i = from; i < to; ++i) {
        if (raw[i] == ESC && i + 1 < to && raw[i + 1] == ']') {
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(raw[i]));
    }
}

} // namespace

uint64_t RellumScanner::scanCSIWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    return scanCSI(bytes, length, rmlen, false);
}

uint64_t RellumScanner::scanOSCWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    return scanOSC(bytes, length, rmlen, false);
}

uint64_t RellumScanner::scanDCSWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    return scanDCS(bytes, length, rmlen, false);
}

uint64_t RellumScanner::scanCSI(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    uint64_t i = 0;
    uint8_t phase = 0;
    unsigned char intermediate = 0;
    if (resume) {
        // The bytes before progress_.index were scanned with the previous
        // chunk and their control bytes carried out then.
        i = progress_.index;
        phase = progress_.phase;
        intermediate = progress_.intermediate;
    } else {
        paramsLength_ = 0;
    }
    progress_.kind = Kind::None;
    constexpr uint64_t limit = kControlSequenceLimit - 2; // bytes after ESC [
    for (;;) {
        if (i >= limit) {
            *rmlen = i;
            discarding_ = Kind::CSI;
            return RellumTokenInvalid;
        }
        if (i >= length) {
            progress_ = Progress{Kind::CSI, i, phase, intermediate, -1};
            return RellumTokenWait;
        }
        const unsigned char c = s[i];
        if (c < 0x20 || c == 0x7F) {
            if (!runControlInSequence(c)) {
                *rmlen = i + 1;
                return RellumTokenInvalid;
            }
            ++i;
            continue;
        }
        if (phase == 0) {
            if (c >= 0x30 && c <= 0x3F) {
                // The parameter bytes in one go: the common case.
                const uint64_t end = std::min(length, limit);
                uint64_t j = i + 1;
                while (j < end && s[j] >= 0x30 && s[j] <= 0x3F)
                    ++j;
                std::memcpy(params_ + paramsLength_, s + i, j - i);
                paramsLength_ += j - i;
                i = j;
                continue;
            }
            phase = 1;
        }
        if (phase == 1) {
            if (c >= 0x20 && c <= 0x2F) {
                if (!intermediate) intermediate = c;
                ++i;
                continue;
            }
            phase = 2;
        }
        if (c >= 0x40 && c <= 0x7E) {
            *rmlen = i + 1;
            intermediate_ = intermediate;
            return dispatchCSI(c);
        }
        ++i; // neither final nor control: ignored
    }
}

uint64_t RellumScanner::dispatchCSI(unsigned char final) {
    RellumScannerDelegate& delegate = d();
    const std::string_view params(params_, paramsLength_);
    const char prefix = params.empty() ? 0 : params[0];
    const unsigned char intermediate = intermediate_;
    // A graphic rendition is the one control function held text may wait across.
    if (final != 'm' || prefix == '>' || intermediate) delegate.releaseHeldText(*this);
    auto one = [&](uint64_t defaultValue, bool zeroIsDefault) {
        return RellumScanNumericParameter(params, defaultValue, zeroIsDefault);
    };
    switch (final) {
    case '@':
        delegate.insertSpaceWithCount(*this, one(1, false));
        break;
    case 'A':
        delegate.cursorUpwardWithCount(*this, one(1, true), false);
        break;
    case 'B':
        delegate.cursorDownwardWithCount(*this, one(1, true), false);
        break;
    case 'C':
        delegate.cursorForwardWithCount(*this, one(1, true));
        break;
    case 'D':
        delegate.cursorBackwardWithCount(*this, one(1, true));
        break;
    case 'E':
        delegate.cursorDownwardWithCount(*this, one(1, false), true);
        break;
    case 'F':
        delegate.cursorUpwardWithCount(*this, one(1, false), true);
        break;
    case 'G':
    case '`':
        delegate.cursorMoveToColumn(*this, one(1, true));
        break;
    case 'H':
    case 'f': {
        if (!RellumScanParameterListInto(params, 1, true, 2, &list_)) return RellumTokenInvalid;
        delegate.cursorMoveToRow(*this, list_[0], list_[1]);
        break;
    }
    case 'I':
        delegate.cursorForwardTabulationWithCount(*this, one(1, true));
        break;
    case 'J':
        if (prefix == '?') return RellumTokenUnsupport;
        delegate.eraseDisplayWithArea(*this, one(0, false));
        break;
    case 'K':
        if (prefix == '?') return RellumTokenUnsupport;
        delegate.eraseLineWithArea(*this, one(0, false));
        break;
    case 'L':
        delegate.insertLineWithCount(*this, one(1, false));
        break;
    case 'M':
        delegate.deleteLineWithCount(*this, one(1, false));
        break;
    case 'P':
        delegate.deleteCharacterWithCount(*this, one(1, false));
        break;
    case 'S':
        if (prefix == '?') return RellumTokenUnsupport;
        delegate.scrollUpWithCount(*this, one(1, false));
        break;
    case 'T':
        if (prefix == '>' || params.find(';') != std::string_view::npos) return RellumTokenUnsupport;
        delegate.scrollDownWithCount(*this, one(1, false));
        break;
    case 'X':
        delegate.eraseCharacterWithCount(*this, one(1, false));
        break;
    case 'Z':
        delegate.cursorBackwardTabulationWithCount(*this, one(1, true));
        break;
    case 'a': {
        const uint64_t count = one(1, true);
        delegate.cursorMoveToColumn(*this, delegate.scannerCursorColumn(*this) + count);
        break;
    }
    case 'c':
        if (prefix == '>')
            delegate.scannerRequestSecondaryDeviceAttribute(*this);
        else
            delegate.scannerRequestPrimaryDeviceAttribute(*this);
        break;
    case 'd':
        delegate.cursorMoveToRow(*this, one(1, true));
        break;
    case 'e':
        delegate.cursorDownwardWithCount(*this, one(1, false), false);
        break;
    case 'g': {
        const uint64_t which = one(0, false);
        if (which == 0)
            delegate.scannerClearTabStopAtCursor(*this);
        else if (which == 3)
            delegate.scannerClearAllTabStops(*this);
        else
            return RellumTokenUnsupport;
        break;
    }
    case 'h':
        return dispatchModes(params, true);
    case 'l':
        return dispatchModes(params, false);
    case 'm': {
        if (prefix == '>') return RellumTokenUnsupport;
        if (!RellumScanSGRParameterListInto(params, &list_)) return RellumTokenInvalid;
        delegate.applyGraphicRendition(*this, list_);
        break;
    }
    case 'n': {
        if (prefix == '>') return RellumTokenUnsupport;
        const bool extended = prefix == '?';
        const uint64_t which = RellumScanNumericParameter(extended ? params.substr(1) : params, 0, false);
        if (which == 6)
            delegate.reportCursorPositionWithExtended(*this, extended);
        else if (which == 5)
            delegate.scannerReportOperatingStatus(*this);
        else
            return RellumTokenUnsupport;
        break;
    }
    case 'p':
        if (intermediate != '!') return RellumTokenUnsupport;
        delegate.scannerSoftReset(*this);
        break;
    case 'r': {
        if (intermediate == '$' || prefix == '?') return RellumTokenUnsupport;
        const bool parsed = RellumScanParameterListInto(params, 0, false, 2, &list_);
        const uint64_t top = parsed ? list_[0] : 0;
        const uint64_t bottom = parsed ? list_[1] : 0;
        delegate.setPageMarginTop(*this, top, bottom);
        delegate.cursorMoveToRow(*this, 1, 1);
        break;
    }
    case 's': {
        if (params.empty() && !intermediate && !delegate.scannerRespectsHorizontalMargin(*this)) {
            delegate.scannerSaveCursor(*this);
            break;
        }
        if (prefix == '?') return RellumTokenUnsupport;
        const bool parsed = RellumScanParameterListInto(params, 0, false, 2, &list_);
        delegate.setPageMarginLeft(*this, parsed ? list_[0] : 0, parsed ? list_[1] : 0);
        delegate.cursorMoveToRow(*this, 1, 1);
        break;
    }
    case 't':
        if (intermediate) return RellumTokenUnsupport;
        return dispatchWindowOperation(params);
    case 'u':
        if (intermediate || !params.empty()) return RellumTokenUnsupport;
        delegate.scannerRestoreCursor(*this);
        break;
    default:
        return RellumTokenUnsupport;
    }
    return RellumTokenCSI;
}

uint64_t RellumScanner::dispatchModes(std::string_view params, bool set) {
    RellumScannerDelegate& delegate = d();
    if (params.empty() || params[0] != '?') {
        if (RellumScanParameterListInto(params, 0, false, 0, &list_)) {
            for (uint64_t mode : list_) {
                if (mode == 4) {
                    delegate.enableInsertMode(*this, set);
                    return RellumTokenCSI;
                }
            }
        }
        return RellumTokenUnsupport;
    }
    if (!RellumScanParameterListInto(params.substr(1), 0, false, 0, &list_)) return RellumTokenCSI;
    bool allKnown = true;
    for (uint64_t mode : list_) {
        switch (mode) {
        case 1:
            delegate.enableApplicationCursorKey(*this, set);
            break;
        case 3:
            delegate.resizePageToRow(*this, 0, set ? 132 : 80);
            delegate.eraseDisplayWithArea(*this, 2);
            delegate.cursorMoveToRow(*this, 0, 0);
            break;
        case 5:
            delegate.enableReverseVideoMode(*this, set);
            break;
        case 6:
            delegate.enableOriginMode(*this, set);
            delegate.cursorMoveToRow(*this, 1, 1);
            break;
        case 7:
            delegate.enableAutoWrap(*this, set);
            break;
        case 8:
            delegate.enableAutoRepeat(*this, set);
            break;
        case 25:
            delegate.showCursor(*this, set);
            break;
        case 41:
            delegate.fixMoreProgram(*this, set);
            break;
        case 45:
            delegate.enableReverseWrapMode(*this, set);
            break;
        case 47:
        case 1047: {
            const uint64_t column = delegate.scannerCursorColumn(*this);
            const uint64_t row = delegate.scannerCursorRow(*this);
            if (set)
                delegate.scannerShowAlternateScreen(*this);
            else
                delegate.scannerShowPrimaryScreen(*this);
            delegate.cursorMoveToRow(*this, row, column);
            break;
        }
        case 69:
            delegate.respectsHorizontalMargin(*this, set);
            break;
        case 1000:
            delegate.setMouseReportType(*this, set ? 1 : 0);
            break;
        case 1002:
            delegate.setMouseReportType(*this, set ? 3 : 0);
            break;
        case 1003:
            delegate.setMouseReportType(*this, set ? 4 : 0);
            break;
        case 1004:
            delegate.enableFocusEventsReport(*this, set);
            break;
        case 1005:
            delegate.setMouseReportProtocol(*this, set ? 1 : 0);
            break;
        case 1006:
            delegate.setMouseReportProtocol(*this, set ? 3 : 0);
            break;
        case 1015:
            delegate.setMouseReportProtocol(*this, set ? 2 : 0);
            break;
        case 1048:
            if (set)
                delegate.scannerSaveCursor(*this);
            else
                delegate.scannerRestoreCursor(*this);
            break;
        case 1049:
            if (set) {
                delegate.scannerSaveCursor(*this);
                delegate.scannerShowAlternateScreen(*this);
                delegate.scannerClearScreen(*this);
            } else {
                // The cursor was saved with the primary screen: restore it
                // there, not from whatever the alternate screen saved.
                delegate.scannerShowPrimaryScreen(*this);
                delegate.scannerRestoreCursor(*this);
            }
            break;
        case 2004:
            delegate.enableBracketedPasteMode(*this, set);
            break;
        default:
            allKnown = false;
            break;
        }
    }
    return allKnown ? RellumTokenCSI : RellumTokenUnsupport;
}

uint64_t RellumScanner::dispatchWindowOperation(std::string_view params) {
    RellumScannerDelegate& delegate = d();
    if (!RellumScanParameterListInto(params, RellumNotFound, false, 3, &list_)) return RellumTokenUnsupport;
    const uint64_t ps = list_[0], pa = list_[1], pb = list_[2];
    switch (ps) {
    case 1:
        delegate.iconifyWindow(*this, false);
        break;
    case 2:
        delegate.iconifyWindow(*this, true);
        break;
    case 3:
        delegate.moveWindowToOrigin(*this, RellumPoint{static_cast<double>(pa), static_cast<double>(pb)});
        break;
    case 4:
        delegate.resizeViewToSize(*this, RellumSize{static_cast<double>(pb), static_cast<double>(pa)});
        break;
    case 5:
        delegate.raiseWindow(*this, true);
        break;
    case 6:
        delegate.raiseWindow(*this, false);
        break;
    case 8:
        delegate.resizePageToRow(*this, pa, pb);
        break;
    case 11:
        delegate.scannerReportWindowState(*this);
        break;
    case 13:
        delegate.scannerReportWindowPosition(*this);
        break;
    case 14:
        delegate.scannerReportWindowSize(*this);
        break;
    case 18:
        delegate.scannerReportPageSize(*this);
        break;
    case 19:
        delegate.scannerReportMaxPageSize(*this);
        break;
    case 20:
        delegate.scannerReportTerminalTitle(*this, true);
        break;
    case 21:
        delegate.scannerReportTerminalTitle(*this, false);
        break;
    case 22:
        if (pa > 2) return RellumTokenUnsupport;
        delegate.scannerPushTerminalTitle(*this);
        break;
    case 23:
        if (pa > 2) return RellumTokenUnsupport;
        delegate.scannerPopTerminalTitle(*this);
        break;
    default:
        return RellumTokenUnsupport;
    }
    return RellumTokenCSI;
}

void RellumApplySGRParameters(const RellumParameterList& list, RellumScanner& scanner,
                              RellumScannerDelegate& delegate) {
    // Style changes are gathered into two masks sent together; a later code
    // overrides an earlier one for the same bit, so the list reads left to
    // right (1;0 ends with bold off, 22;1 with bold on).
    uint64_t add = 0, remove = 0;
    auto flush = [&] {
        if (add) delegate.addTextStyleMask(scanner, add);
        if (remove) delegate.removeTextStyleMask(scanner, remove);
        add = remove = 0;
    };
    auto addStyle = [&](uint64_t mask) {
        add |= mask;
        remove &= ~mask;
    };
    auto removeStyle = [&](uint64_t mask) {
        remove |= mask;
        add &= ~mask;
    };
    const size_t n = list.size();
    for (size_t i = 0; i < n; ++i) {
        const uint64_t code = list[i];
        switch (code) {
        case 0:
            add = remove = 0; // the reset overrides what came before it
            delegate.scannerResetTextStyleAndBGFG(scanner);
            break;
        case 1:
            addStyle(1);
            break;
        case 2:
            addStyle(2);
            break;
        case 3:
            addStyle(4);
            break;
        case 4:
        case 21:
            addStyle(8);
            break;
        case 5:
            addStyle(16);
            break;
        case 7:
            addStyle(32);
            break;
        case 8:
            addStyle(64);
            break;
        case 9:
            addStyle(128);
            break;
        case 22:
            removeStyle(3);
            break;
        case 23:
            removeStyle(4);
            break;
        case 24:
            removeStyle(8);
            break;
        case 25:
            removeStyle(16);
            break;
        case 27:
            removeStyle(32);
            break;
        case 28:
            removeStyle(64);
            break;
        case 29:
            removeStyle(128);
            break;
        case 39:
            delegate.setForegroundColor(scanner, std::nullopt);
            break;
        case 49:
            delegate.setBackgroundColor(scanner, std::nullopt);
            break;
        case 38:
        case 48: {
            const bool foreground = code == 38;
            const size_t rest = n - i;
            flush();
            if (rest >= 3 && list[i + 1] == 5) {
                const uint8_t index = static_cast<uint8_t>(list[i + 2] % 256);
                if (foreground)
                    delegate.setForegroundWithColorIndex(scanner, index);
                else
                    delegate.setBackgroundWithColorIndex(scanner, index);
                i += 2;
            } else if (rest >= 5 && list[i + 1] == 2) {
                auto component = [](uint64_t v) {
                    return static_cast<float>(std::min<uint64_t>(v, 255)) / 255.0f;
                };
                const RellumColor color{component(list[i + 2]), component(list[i + 3]),
                                        component(list[i + 4]), 1};
                if (foreground)
                    delegate.setForegroundColor(scanner, color);
                else
                    delegate.setBackgroundColor(scanner, color);
                i += 4;
            } else if (foreground) {
                delegate.setForegroundWithColorIndex(scanner, 0);
            } else {
                delegate.setBackgroundWithColorIndex(scanner, 0);
            }
            break;
        }
        default:
            if (code >= 30 && code <= 37)
                delegate.setForegroundWithColorIndex(scanner, static_cast<uint8_t>(code - 30));
            else if (code >= 40 && code <= 47)
                delegate.setBackgroundWithColorIndex(scanner, static_cast<uint8_t>(code - 40));
            else if (code >= 90 && code <= 97)
                delegate.setForegroundWithColorIndex(scanner, static_cast<uint8_t>(code - 90 + 8));
            else if (code >= 100 && code <= 107)
                delegate.setBackgroundWithColorIndex(scanner, static_cast<uint8_t>(code - 100 + 8));
            break;
        }
    }
    flush();
}

uint64_t RellumScanner::scanOSC(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    progress_.kind = Kind::None;
    if (length == 0) return RellumTokenWait;
    if (s[0] == 'P') {
        // Palette setting: always eight bytes. Waiting for all eight keeps the
        // result the same however the stream is cut.
        if (length < 8) return RellumTokenWait;
        *rmlen = 8;
        return RellumTokenUnsupport;
    }
    uint64_t i = resume ? progress_.index : 0;
    int64_t separator = resume ? progress_.separator : -1;
    constexpr uint64_t limit = kStringLimit - 2; // bytes after ESC ]
    for (;;) {
        if (i >= limit) {
            *rmlen = i;
            discarding_ = Kind::OSC;
            return RellumTokenInvalid;
        }
        if (i >= length) break;
        const unsigned char c = s[i];
        if (c == BEL) {
            *rmlen = i + 1;
            return finishOSC(bytes, i, separator);
        }
        if (c == ESC) {
            if (i + 1 >= length) break;
            const unsigned char next = s[i + 1];
            if (next == '\\') {
                *rmlen = i + 2;
                return finishOSC(bytes, i, separator);
            }
            if (next == ']') {
                i += 2;
                continue;
            }
            *rmlen = i + 2;
            return RellumTokenUnsupport;
        }
        if (c == CAN || c == SUB) {
            *rmlen = i + 1;
            return RellumTokenUnsupport;
        }
        if (c == ';' && separator < 0) separator = static_cast<int64_t>(i);
        ++i;
    }
    progress_ = Progress{Kind::OSC, i, 0, 0, separator};
    return RellumTokenWait;
}

uint64_t RellumScanner::finishOSC(const char* bytes, uint64_t end, int64_t separator) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    const uint64_t numberEnd = separator < 0 ? end : static_cast<uint64_t>(separator);
    appendWithoutSkippedPairs(oscNumber_, s, 0, numberEnd);
    if (separator < 0)
        oscText_.clear();
    else
        appendWithoutSkippedPairs(oscText_, s, numberEnd + 1, end);
    std::optional<std::string> text;
    if (RellumIsValidUTF8(oscText_)) text = oscText_;
    RellumScannerDelegate& delegate = d();
    if (oscNumber_.empty()) {
        delegate.setTerminalTitle(*this, text);
        return RellumTokenOSC;
    }
    uint64_t number = 0;
    if (!RellumIsValidUTF8(oscNumber_) || !RellumScanUInteger(oscNumber_, &number))
        return RellumTokenUnsupport;
    switch (number) {
    case 0:
    case 1:
    case 2:
        delegate.setTerminalTitle(*this, text);
        return RellumTokenOSC;
    case 7:
        delegate.setURLTitle(*this, urlFromText(text));
        return RellumTokenOSC;
    default:
        return RellumTokenUnsupport;
    }
}

uint64_t RellumScanner::scanDCS(const char* bytes, uint64_t length, uint64_t* rmlen, bool resume) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    uint64_t i = resume ? progress_.index : 0;
    progress_.kind = Kind::None;
    constexpr uint64_t limit = kStringLimit - 2; // bytes after ESC P
    const uint64_t end = std::min(length, limit);
    while (i < end) {
        const void* found = std::memchr(s + i, ESC, end - i);
        if (!found) {
            i = end;
            break;
        }
        i = static_cast<uint64_t>(static_cast<const unsigned char*>(found) - s);
        if (i + 1 >= length) break;
        if (s[i + 1] == '\\') {
            *rmlen = i + 2;
            return RellumTokenUnsupport;
        }
        ++i;
    }
    if (i >= limit) {
        *rmlen = i;
        discarding_ = Kind::DCS;
        return RellumTokenInvalid;
    }
    progress_ = Progress{Kind::DCS, i, 0, 0, -1};
    return RellumTokenWait;
}

// The rest of a sequence that grew past its limit, consumed as Invalid. A
// control sequence ends as usual (its control bytes still carried out); a
// command or string ends at its terminator, at CAN or SUB, or just before the
// next ESC, so that output after a stray ESC P is not lost for good.
uint64_t RellumScanner::scanDiscarded(const char* bytes, uint64_t length, uint64_t* rmlen) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    const Kind kind = discarding_;
    auto finish = [&](uint64_t consumed) {
        *rmlen = consumed;
        discarding_ = Kind::None;
        return RellumTokenInvalid;
    };
    for (uint64_t i = 0; i < length; ++i) {
        const unsigned char c = s[i];
        if (kind == Kind::CSI) {
            if (c < 0x20 || c == 0x7F) {
                if (!runControlInSequence(c)) return finish(i + 1);
            } else if (c >= 0x40 && c <= 0x7E) {
                return finish(i + 1);
            }
            continue;
        }
        if ((kind == Kind::OSC && c == BEL) || c == CAN || c == SUB) return finish(i + 1);
        if (c == ESC) return finish(i); // i > 0: the loop does not call this at an ESC
    }
    *rmlen = length;
    return RellumTokenInvalid;
}
