#include "Rellum/Scanner/RellumScanner.h"
#include "Rellum/Scanner/RellumScannerNullDelegate.h"

#include "Rellum/Scanner/RellumScannerUTF8.h"

#include "Foundation/Assert.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

RellumScannerNullDelegate gNullDelegate;

// Length of the run of bytes 0x20..0x7F at the start of `p`: the bulk of host
// output, so it is measured sixteen bytes at a time.
inline size_t printableRunLength(const unsigned char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi8(0x1F);
    while (i + 32 <= n) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        // Signed compare: 0x20..0x7F are above 0x1F, controls and 0x80..0xFF are not.
        unsigned ma = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(a, below)));
        unsigned mb = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(b, below)));
        unsigned m = ma | (mb << 16);
        if (m != 0xFFFFFFFFu) return i + static_cast<size_t>(__builtin_ctz(~m));
        i += 32;
    }
    while (i + 16 <= n) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(a, below)));
        if (m != 0xFFFFu) return i + static_cast<size_t>(__builtin_ctz(~m));
        i += 16;
    }
#endif
    while (i < n && p[i] >= 0x20 && p[i] < 0x80)
        ++i;
    return i;
}

uint32_t cfEncodingForEncoding(uint64_t encoding) {
    if (encoding & 0x80000000u) return static_cast<uint32_t>(encoding & 0x7FFFFFFFu);
    switch (encoding) {
    case 1:
        return 0x0600; // ASCII
    case 3:
        return 0x0920; // EUC-JP
    case 4:
        return RellumScanner::kCFEncodingUTF8;
    case 5:
        return 0x0201; // ISO Latin 1
    case 8:
        return 0x0A01; // Shift JIS
    case 12:
        return 0x0500; // Windows Latin 1
    case 30:
        return 0; // Mac Roman
    default:
        return 0xFFFFFFFFu;
    }
}

constexpr unsigned char BEL = 0x07, CAN = 0x18, SUB = 0x1A, ESC = 0x1B;

} // namespace

RellumScanner::RellumScanner(RellumScannerDelegate* delegate)
    : delegate_(delegate), decoded_(new char32_t[kMaxDecodedRun]) {}

RellumScannerDelegate& RellumScanner::d() {
    return delegate_ ? *delegate_ : gNullDelegate;
}

void RellumScanner::scanData(std::string_view input, uint64_t encoding) {
    if (input.empty()) return;
    // A delegate must not feed the scanner from inside one of its calls: the
    // chunk being scanned may live in the buffer the new bytes would go to.
    ORVIK_ASSERT(!scanning_);
    scanning_ = true;
    const bool joined = !remain_.empty();
    std::string_view data = input;
    if (joined) {
        remain_.append(input);
        data = remain_;
    }
    RellumScannerDelegate& delegate = d();
    delegate.willScanData(*this, data);
    const bool observed = delegate.observesPartialData();
    encoding_ = encoding;
    cfEncoding_ = cfEncodingForEncoding(encoding);

    const char* bytes = data.data();
    const uint64_t size = data.size();
    uint64_t offset = 0;
    uint64_t type = RellumTokenWait;
    resuming_ = joined && progress_.kind != Kind::None;
    bool continuesRun = asciiRunOpen_;
    asciiRunOpen_ = false;
    while (offset < size) {
        uint64_t rmlen = 0;
        const unsigned char first = static_cast<unsigned char>(bytes[offset]);
        if (!resuming_) progress_.kind = Kind::None;
        if (discarding_ != Kind::None && first == ESC && discarding_ != Kind::CSI) discarding_ = Kind::None;
        if (discarding_ != Kind::None) {
            type = scanDiscarded(bytes + offset, size - offset, &rmlen);
        } else if (first == 0x7F && continuesRun) {
            // A DEL right after a printable run belongs to the run, also when
            // the run was cut at the end of the previous chunk.
            rmlen = printableRunLength(reinterpret_cast<const unsigned char*>(bytes + offset), size - offset);
            delegate.renderASCIIChars(*this, bytes + offset, rmlen);
            type = RellumTokenASCII;
        } else if (first == ESC && size - offset >= 2 && bytes[offset + 1] == '[') {
            // A control sequence, the commonest token after text, straight to
            // its scanner; a plain colour change read and applied in one pass.
            uint64_t consumed = resuming_ ? 0 : scanPlainSGR(bytes + offset + 2, size - offset - 2);
            if (consumed > 0) {
                type = RellumTokenCSI;
            } else {
                type = scanCSI(bytes + offset + 2, size - offset - 2, &consumed,
                               resuming_ && progress_.kind == Kind::CSI);
            }
            rmlen = 2 + consumed;
        } else if (first < 0x20 || first == 0x7F) {
            delegate.releaseHeldText(*this);
            type = scanControlTokenWithBytes(bytes + offset, size - offset, &rmlen);
        } else if (first < 0x80) {
            // Printable text, the bulk of host output, handled here without a further call.
            rmlen = printableRunLength(reinterpret_cast<const unsigned char*>(bytes + offset), size - offset);
            // Non-ASCII text right after it may join it in one call.
            if (encoding_ == kEncodingUTF8 && offset + rmlen < size &&
                static_cast<unsigned char>(bytes[offset + rmlen]) >= 0x80 &&
                delegate.acceptsTextSegments(*this)) {
                rmlen = scanTextSegments(bytes + offset, size - offset, &type);
            } else {
                delegate.renderASCIIChars(*this, bytes + offset, rmlen);
                type = RellumTokenASCII;
            }
        } else if (encoding_ == kEncodingUTF8 && delegate.acceptsTextSegments(*this) &&
                   (rmlen = scanTextSegments(bytes + offset, size - offset, &type)) > 0) {
            // Mixed text went to the delegate in one call.
        } else if (encoding_ == kEncodingUTF8) {
            type = scanUTF8(bytes + offset, size - offset, &rmlen);
        } else {
            type = scanLegacy(bytes + offset, size - offset, &rmlen);
        }
        resuming_ = false;
        continuesRun = false;
        if (type == RellumTokenWait || rmlen == 0) break;
        if (observed) delegate.didScanPartialData(*this, std::string_view(bytes + offset, rmlen), type);
        offset += rmlen;
    }
    if (offset < size) {
        std::string_view rest = data.substr(offset);
        if (observed) delegate.didScanPartialData(*this, rest, type);
        if (joined)
            remain_.erase(0, offset);
        else
            remain_.assign(rest);
    } else {
        asciiRunOpen_ = type == RellumTokenASCII;
        progress_.kind = Kind::None;
        if (remain_.capacity() > (1u << 20))
            std::string().swap(remain_);
        else
            remain_.clear();
    }
    delegate.releaseHeldText(*this);
    scanning_ = false;
    delegate.scannerDidScanData(*this);
}

uint64_t RellumScanner::scanPlainSGR(const char* bytes, uint64_t length) {
    // Digits and ";" up to "m", all in this chunk; anything else (a prefix,
    // ":", a control, the end of the chunk) is left to the full scanner.
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* const end = start + std::min<uint64_t>(length, kControlSequenceLimit - 2);
    list_.clear();
    uint64_t value = 0;
    for (const unsigned char* p = start; p < end; ++p) {
        const unsigned digit = unsigned(*p) - '0';
        if (digit <= 9) {
            value = std::min<uint64_t>(value * 10 + digit, RellumScannerParameterMax);
        } else if (*p == ';') {
            list_.push_back(value); // parameters past the bound are ignored
            value = 0;
        } else if (*p == 'm') {
            list_.push_back(value);
            d().applyGraphicRendition(*this, list_);
            return uint64_t(p + 1 - start);
        } else {
            return 0;
        }
    }
    return 0;
}

void RellumScannerDelegate::applyGraphicRendition(RellumScanner& scanner, const RellumParameterList& list) {
    RellumApplySGRParameters(list, scanner, *this);
}

uint64_t RellumScanner::scanControlTokenWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    *rmlen = 1;
    if (length == 0) return RellumTokenWait;
    RellumScannerDelegate& delegate = d();
    switch (static_cast<unsigned char>(bytes[0])) {
    case 0x00: {
        uint64_t i = 1;
        while (i < length && bytes[i] == 0)
            ++i;
        *rmlen = i;
        return RellumTokenSkip;
    }
    case 0x05:
    case 0x11:
    case 0x13:
    case CAN:
    case SUB:
    case 0x7F:
        return RellumTokenSkip;
    case BEL:
        delegate.scannerRingBell(*this);
        return RellumTokenC0;
    case 0x08:
        delegate.scannerBackspace(*this);
        return RellumTokenC0;
    case 0x09:
        delegate.scannerNextTabStop(*this);
        return RellumTokenC0;
    case 0x0A:
    case 0x0B:
    case 0x0C:
        delegate.scannerLineFeed(*this);
        return RellumTokenC0;
    case 0x0D:
        delegate.scannerCarriageReturn(*this);
        return RellumTokenC0;
    case 0x0E:
        delegate.setCharset(*this, 1);
        return RellumTokenC0;
    case 0x0F:
        delegate.setCharset(*this, 0);
        return RellumTokenC0;
    case ESC: {
        if (length < 2) return RellumTokenWait;
        uint64_t consumed = 0;
        uint64_t type = scanESCWithBytes(bytes + 1, length - 1, &consumed);
        *rmlen = 1 + consumed;
        return type;
    }
    default:
        return RellumTokenUnsupport;
    }
}

// Carries out a control byte met inside a control sequence, as outside one.
// False for the bytes that cancel the sequence (CAN, SUB, ESC).
bool RellumScanner::runControlInSequence(unsigned char byte) {
    d().releaseHeldText(*this);
    switch (byte) {
    case CAN:
    case SUB:
    case ESC:
        return false;
    case BEL:
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F: {
        char c = static_cast<char>(byte);
        uint64_t consumed = 0;
        scanControlTokenWithBytes(&c, 1, &consumed);
        return true;
    }
    default:
        return true; // ENQ, DC1, DC3, DEL and the rest are ignored
    }
}

uint64_t RellumScanner::scanESCWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    *rmlen = 1;
    if (length == 0) return RellumTokenWait;
    RellumScannerDelegate& delegate = d();
    const unsigned char c = static_cast<unsigned char>(bytes[0]);
    uint64_t consumed = 0;
    uint64_t type = RellumTokenUnsupport;
    switch (c) {
    case ESC:
        *rmlen = 0;
        return RellumTokenSkip;
    case ' ':
        if (length < 2) return RellumTokenWait;
        // Conformance levels and the like: consumed; anything else drops the ESC alone.
        *rmlen = bytes[1] != 0 && std::strchr("FGLMN", bytes[1]) ? 2 : 0;
        return RellumTokenUnsupport;
    case '#':
        if (length < 2) return RellumTokenWait;
        *rmlen = 2;
        if (bytes[1] != '8') return RellumTokenUnsupport;
        delegate.scannerScreenAlignmentPattern(*this);
        return RellumTokenESC;
    case '(':
    case ')':
    case '*':
    case '+':
    case '-':
    case '.':
    case '/': {
        static constexpr char sets[] = "()*+-./";
        uint64_t gset = static_cast<uint64_t>(std::strchr(sets, c) - sets);
        type = scanSCSWithGSet(gset, bytes + 1, length - 1, &consumed);
        *rmlen = 1 + consumed;
        return type;
    }
    case '7':
        delegate.scannerSaveCursor(*this);
        return RellumTokenESC;
    case '8':
        delegate.scannerRestoreCursor(*this);
        return RellumTokenESC;
    case '=':
        delegate.applicationKeypadMode(*this, true);
        return RellumTokenESC;
    case '>':
        delegate.applicationKeypadMode(*this, false);
        return RellumTokenESC;
    case 'D':
        delegate.scannerLineFeed(*this);
        return RellumTokenC1;
    case 'E':
        delegate.scannerLineFeed(*this);
        delegate.scannerCarriageReturn(*this);
        return RellumTokenC1;
    case 'H':
        delegate.scannerSetTabStopAtCursor(*this);
        return RellumTokenC1;
    case 'M':
        delegate.scannerReverseLineFeed(*this);
        return RellumTokenC1;
    case 'Z':
        return RellumTokenC1;
    case 'c':
        delegate.scannerFullReset(*this);
        return RellumTokenESC;
    case '[':
        type = scanCSI(bytes + 1, length - 1, &consumed, resuming_ && progress_.kind == Kind::CSI);
        break;
    case ']':
        type = scanOSC(bytes + 1, length - 1, &consumed, resuming_ && progress_.kind == Kind::OSC);
        break;
    case 'P':
        type = scanDCS(bytes + 1, length - 1, &consumed, resuming_ && progress_.kind == Kind::DCS);
        break;
    default:
        return RellumTokenUnsupport;
    }
    *rmlen = 1 + consumed;
    return type;
}

uint64_t RellumScanner::scanSCSWithGSet(uint64_t gset, const char* bytes, uint64_t length, uint64_t* rmlen) {
    *rmlen = 1;
    if (length == 0) return RellumTokenWait;
    const unsigned char c = static_cast<unsigned char>(bytes[0]);
    if (c == '%' || c == '&' || c == '"') {
        if (length < 2) return RellumTokenWait;
        *rmlen = 2;
        d().designateCharset(*this, gset, false);
        return RellumTokenSCS;
    }
    if (c == '0') {
        d().designateCharset(*this, gset, true);
        return RellumTokenSCS;
    }
    if (c >= 0x20 && c <= 0x7E) {
        d().designateCharset(*this, gset, false);
        return RellumTokenSCS;
    }
    return RellumTokenUnsupport;
}

uint64_t RellumScanner::scanStringTokenWithBytes(const char* bytes, uint64_t length, uint64_t* rmlen) {
    *rmlen = 0;
    if (length == 0) return RellumTokenWait;
    const unsigned char first = static_cast<unsigned char>(bytes[0]);
    if (first >= 0x20 && first <= 0x7E) {
        *rmlen = printableRunLength(reinterpret_cast<const unsigned char*>(bytes), length);
        d().renderASCIIChars(*this, bytes, *rmlen);
        return RellumTokenASCII;
    }
    if (first < 0x80) return RellumTokenWait; // not a string byte: nothing consumed
    if (encoding_ == kEncodingUTF8) return scanUTF8(bytes, length, rmlen);
    return scanLegacy(bytes, length, rmlen);
}

uint64_t RellumScanner::scanTextSegments(const char* bytes, uint64_t length, uint64_t* type) {
    // The same pieces, with the same ends, as the text tokens would be one by
    // one: an ASCII piece is a printable run, a non-ASCII piece the
    // well-formed characters up to the next ASCII byte or ill-formed one.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    char32_t* out = decoded_.get();
    size_t count = 0;
    uint64_t i = 0;
    segments_.clear();
    while (i < length) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) break;
            const uint64_t n = printableRunLength(s + i, length - i);
            segments_.push_back({bytes + i, n, {}});
            i += n;
            *type = RellumTokenASCII;
            continue;
        }
        if (encoding_ != kEncodingUTF8) break;
        const size_t start = count;
        while (i < length && s[i] >= 0x80 && count < kMaxDecodedRun) {
            const unsigned char b = s[i];
            if (b >= 0xC2 && b <= 0xDF && i + 1 < length && (s[i + 1] & 0xC0) == 0x80) {
                out[count++] = (char32_t(b & 0x1F) << 6) | (s[i + 1] & 0x3F);
                i += 2;
                continue;
            }
            if (b >= 0xE0 && b <= 0xEF && i + 2 < length && (s[i + 1] & 0xC0) == 0x80 &&
                (s[i + 2] & 0xC0) == 0x80) {
                const char32_t v =
                    (char32_t(b & 0x0F) << 12) | (char32_t(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
                if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                    out[count++] = v;
                    i += 3;
                    continue;
                }
            }
            size_t charLength = 0;
            char32_t value = 0;
            if (RellumDecodeUTF8Character(s + i, length - i, &charLength, &value) !=
                RellumUTF8Status::Accepted)
                break;
            out[count++] = value;
            i += charLength;
        }
        if (count == start) break;
        segments_.push_back({nullptr, 0, std::u32string_view(out + start, count - start)});
        *type = RellumTokenMBCS;
        if (count == kMaxDecodedRun) break;
    }
    if (segments_.empty()) return 0;
    // A run of one piece takes the usual call.
    if (segments_.size() == 1 && segments_[0].ascii)
        d().renderASCIIChars(*this, segments_[0].ascii, segments_[0].asciiLength);
    else if (segments_.size() == 1)
        d().renderMBCSString(*this, segments_[0].codePoints);
    else
        d().renderTextSegments(*this, segments_.data(), segments_.size());
    return i;
}

uint64_t RellumScanner::scanUTF8(const char* bytes, uint64_t length, uint64_t* rmlen) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    char32_t* out = decoded_.get();
    size_t count = 0;
    uint64_t i = 0;
    while (i < length && s[i] >= 0x80 && count < kMaxDecodedRun) {
        const unsigned char c = s[i];
        // The common well-formed two- and three-byte characters first.
        if (c >= 0xC2 && c <= 0xDF && i + 1 < length && (s[i + 1] & 0xC0) == 0x80) {
            out[count++] = (char32_t(c & 0x1F) << 6) | (s[i + 1] & 0x3F);
            i += 2;
            continue;
        }
        if (c >= 0xE0 && c <= 0xEF && i + 2 < length && (s[i + 1] & 0xC0) == 0x80 &&
            (s[i + 2] & 0xC0) == 0x80) {
            char32_t v = (char32_t(c & 0x0F) << 12) | (char32_t(s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            if (v >= 0x800 && (v < 0xD800 || v > 0xDFFF)) {
                out[count++] = v;
                i += 3;
                continue;
            }
        }
        size_t charLength = 0;
        char32_t value = 0;
        RellumUTF8Status status = RellumDecodeUTF8Character(s + i, length - i, &charLength, &value);
        if (status == RellumUTF8Status::Accepted) {
            out[count++] = value;
            i += charLength;
            continue;
        }
        if (count > 0) break;
        if (status == RellumUTF8Status::Incomplete) return RellumTokenWait;
        static constexpr char32_t replacement = 0xFFFD;
        *rmlen = charLength;
        d().renderMBCSString(*this, std::u32string_view(&replacement, 1));
        return RellumTokenInvalid;
    }
    *rmlen = i;
    d().renderMBCSString(*this, std::u32string_view(out, count));
    return RellumTokenMBCS;
}
