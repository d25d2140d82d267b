// The legacy multibyte branch: host text in an encoding other than UTF-8.
#include "Rellum/Scanner/RellumScanner.h"

#include <iconv.h>

namespace {

enum class Group { SimplifiedChinese, TraditionalChinese, Japanese, ShiftJIS, Korean, SingleByte };

Group groupOf(uint32_t cf) {
    switch (cf) {
    case 25:
    case 1057:
    case 1585:
    case 1586:
    case 2352:
        return Group::SimplifiedChinese;
    case 2:
    case 1059:
    case 2353:
    case 2563:
    case 2566:
        return Group::TraditionalChinese;
    case 1:
    case 1056:
    case 2080:
        return Group::Japanese;
    case 1576:
    case 2561:
        return Group::ShiftJIS;
    case 3:
    case 1058:
    case 2112:
    case 2368:
        return Group::Korean;
    default:
        return Group::SingleByte;
    }
}

const char* converterName(uint32_t cf) {
    switch (groupOf(cf)) {
    case Group::SimplifiedChinese:
        return "GB18030";
    case Group::TraditionalChinese:
        return "BIG5-HKSCS";
    case Group::Japanese:
        return "EUC-JP";
    case Group::ShiftJIS:
        return "CP932";
    case Group::Korean:
        return "CP949";
    case Group::SingleByte:
        break;
    }
    switch (cf) {
    case 0:
        return "MACINTOSH";
    case 0x0500:
        return "CP1252";
    case 0x0501:
        return "CP1250";
    case 0x0502:
        return "CP1251";
    default:
        return "ISO-8859-1";
    }
}

bool in(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// Bytes of the run of non-ASCII characters at `s`, by the rule of the group.
uint64_t measureRun(Group group, const unsigned char* s, uint64_t n) {
    uint64_t i = 0;
    switch (group) {
    case Group::SimplifiedChinese:
    case Group::TraditionalChinese: {
        const bool simplified = group == Group::SimplifiedChinese;
        while (n - i >= 2 && (simplified ? in(s[i], 0x81, 0xFE) : in(s[i], 0xA1, 0xFE))) {
            const unsigned char t = s[i + 1];
            const bool pair = in(t, 0x40, 0x7E) || (simplified ? in(t, 0x80, 0xFE) : in(t, 0xA1, 0xFE));
            i += pair ? 2 : 1;
        }
        return i;
    }
    case Group::Japanese:
        while (n - i >= 2) {
            if (s[i] == 0x8E) {
                i += 2;
            } else if (s[i] == 0x8F && n - i >= 3) {
                i += 3;
            } else if (s[i] < 0xA1 || s[i] == 0xFF) {
                break;
            } else {
                i += 2;
            }
        }
        return i;
    case Group::ShiftJIS:
        while (i < n && s[i] >= 0x80) {
            if (in(s[i], 0x81, 0x9F) || in(s[i], 0xE0, 0xEF)) {
                if (n - i < 2) break;
                i += 2;
            } else {
                i += 1;
            }
        }
        return i;
    case Group::Korean:
        while (n - i >= 2 && in(s[i], 0x81, 0xFE))
            i += 2;
        return i;
    case Group::SingleByte:
        while (i < n && s[i] >= 0x80)
            ++i;
        return i;
    }
    return i;
}

} // namespace

RellumScanner::~RellumScanner() {
    if (converter_) iconv_close(static_cast<iconv_t>(converter_));
}

uint64_t RellumScanner::scanLegacy(const char* bytes, uint64_t length, uint64_t* rmlen) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    const Group group = groupOf(cfEncoding_);
    uint64_t run = measureRun(group, s, length);
    static constexpr char32_t replacement = 0xFFFD;
    if (run == 0) {
        // A lead byte alone at the end of the chunk waits for its second byte;
        // a byte the rule rejects is consumed and shown as one U+FFFD.
        if (length == 1 && group != Group::SingleByte) return RellumTokenWait;
        *rmlen = 1;
        d().renderMBCSString(*this, std::u32string_view(&replacement, 1));
        return RellumTokenInvalid;
    }
    if (run > kMaxDecodedRun) run = measureRun(group, s, kMaxDecodedRun);
    if (run == 0) run = 1;
    if (!converter_ || converterEncoding_ != cfEncoding_) {
        if (converter_) iconv_close(static_cast<iconv_t>(converter_));
        iconv_t cd = iconv_open("UTF-32LE", converterName(cfEncoding_));
        converter_ = cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
        converterEncoding_ = cfEncoding_;
    }
    *rmlen = run;
    if (!converter_) return RellumTokenInvalid;
    iconv(static_cast<iconv_t>(converter_), nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes);
    size_t inLeft = run;
    char* out = reinterpret_cast<char*>(decoded_.get());
    size_t outLeft = kMaxDecodedRun * sizeof(char32_t);
    while (inLeft > 0) {
        if (iconv(static_cast<iconv_t>(converter_), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (outLeft < sizeof(char32_t)) break;
        // Lossy: an unconvertible byte becomes U+FFFD.
        *reinterpret_cast<char32_t*>(out) = replacement;
        out += sizeof(char32_t);
        outLeft -= sizeof(char32_t);
        ++in;
        --inLeft;
        iconv(static_cast<iconv_t>(converter_), nullptr, nullptr, nullptr, nullptr);
    }
    const size_t count =
        static_cast<size_t>(out - reinterpret_cast<char*>(decoded_.get())) / sizeof(char32_t);
    if (count == 0) return RellumTokenInvalid;
    d().renderMBCSString(*this, std::u32string_view(decoded_.get(), count));
    return RellumTokenMBCS;
}
