#include "Rellum/Categories/NSData+Rellum.h"

#include "Rellum/Categories/NSString+Rellum.h"
#include "Rellum/Categories/RellumUTF8.h"

std::string rellum_hexFromStr(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20)
            rellum_detail::appendUTF8(out, 0x2400 + b);
        else if (b == 0x20)
            rellum_detail::appendUTF8(out, 0x2423);
        else if (b == 0x7F)
            rellum_detail::appendUTF8(out, 0x2421);
    }
    return out;
}

std::string rellum_readableString(std::string_view data) {
    // Malformed input is decoded with replacement characters first, so the
    // walk below always sees whole characters.
    const std::string text = rellum_detail::encodeUTF8(rellum_detail::decodeUTF8(data));
    std::string out;
    for (const auto& [offset, length] : rellum_composedCharacterSequences(text)) {
        const std::string_view sequence(text.data() + offset, length);
        bool marked = false;
        for (std::size_t pos = 0; pos < sequence.size() && !marked;) {
            const char32_t c = rellum_detail::decodeUTF8(sequence, pos);
            marked = c < 0x21 || (c >= 0x7F && c < 0xA0);
        }
        out += marked ? rellum_hexFromStr(sequence) : std::string(sequence);
    }
    return out;
}
