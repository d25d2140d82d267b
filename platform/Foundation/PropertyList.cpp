#include "Foundation/PropertyList.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Base64 lines in a data item, as the format wraps them.
constexpr std::size_t kLineLength = 68;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A forward reader over the XML text: just what property lists use
// (declaration, doctype, comments, elements with attributes, character data).
class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    struct Tag {
        std::string name;
        bool closing = false;
        bool empty = false; // <name/>
    };

    // The next tag, skipping character data, the declaration, the doctype and
    // comments. nullopt at the end or on malformed markup.
    std::optional<Tag> nextTag(std::string* text = nullptr) {
        while (true) {
            std::size_t lt = s_.find('<', pos_);
            if (lt == std::string_view::npos) return std::nullopt;
            if (text) text->append(s_.substr(pos_, lt - pos_));
            pos_ = lt;
            if (startsWith("<?")) {
                if (!skipPast("?>")) return std::nullopt;
            } else if (startsWith("<!--")) {
                if (!skipPast("-->")) return std::nullopt;
            } else if (startsWith("<!")) {
                if (!skipDeclaration()) return std::nullopt;
            } else {
                return readTag();
            }
        }
    }

private:
    bool startsWith(std::string_view prefix) const { return s_.substr(pos_, prefix.size()) == prefix; }
    bool skipPast(std::string_view end) {
        std::size_t at = s_.find(end, pos_);
        if (at == std::string_view::npos) return false;
        pos_ = at + end.size();
        return true;
    }
    // <!DOCTYPE ...> with an optional internal subset in brackets.
    bool skipDeclaration() {
        int brackets = 0;
        for (std::size_t i = pos_; i < s_.size(); ++i) {
            if (s_[i] == '[') ++brackets;
            if (s_[i] == ']') --brackets;
            if (s_[i] == '>' && brackets <= 0) {
                pos_ = i + 1;
                return true;
            }
        }
        return false;
    }
    std::optional<Tag> readTag() {
        Tag tag;
        std::size_t i = pos_ + 1;
        if (i < s_.size() && s_[i] == '/') tag.closing = true, ++i;
        std::size_t nameStart = i;
        while (i < s_.size() && !isSpace(s_[i]) && s_[i] != '>' && s_[i] != '/')
            ++i;
        tag.name = std::string(s_.substr(nameStart, i - nameStart));
        if (tag.name.empty()) return std::nullopt;
        // Attributes are skipped; a quoted value may hold '>'.
        char quote = 0;
        for (; i < s_.size(); ++i) {
            char c = s_[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                tag.empty = !tag.closing && s_[i - 1] == '/';
                pos_ = i + 1;
                return tag;
            }
        }
        return std::nullopt;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

Error notAPropertyList(const std::string& why) {
    return Error(PropertyListSerialization::ErrorDomain, 1, "The data is not a property list of an array.",
                 why);
}

} // namespace

std::string PropertyListSerialization::base64Encoded(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t v =
            (std::uint8_t(bytes[i]) << 16) | (std::uint8_t(bytes[i + 1]) << 8) | std::uint8_t(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (std::size_t rest = bytes.size() - i; rest > 0) {
        std::uint32_t v = std::uint8_t(bytes[i]) << 16;
        if (rest == 2) v |= std::uint8_t(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> PropertyListSerialization::base64Decoded(std::string_view text) {
    std::array<int, 256> value{};
    value.fill(-1);
    for (int k = 0; k < 64; ++k)
        value[static_cast<unsigned char>(kAlphabet[k])] = k;
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0, padding = 0;
    std::size_t symbols = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        ++symbols;
        if (c == '=') {
            ++padding;
            continue;
        }
        int v = value[static_cast<unsigned char>(c)];
        if (v < 0 || padding > 0) return std::nullopt; // nothing may follow padding
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    if (symbols % 4 != 0 || padding > 2) return std::nullopt;
    return out;
}

std::string PropertyListSerialization::dataWithDataArray(const std::vector<std::string>& items) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n";
    if (items.empty()) return xml + "<array/>\n</plist>\n";
    xml += "<array>\n";
    for (const std::string& item : items) {
        std::string encoded = base64Encoded(item);
        xml += "\t<data>\n";
        for (std::size_t at = 0; at < encoded.size(); at += kLineLength)
            xml.append("\t").append(encoded, at, kLineLength).append("\n");
        xml += "\t</data>\n";
    }
    return xml + "</array>\n</plist>\n";
}

std::optional<std::vector<std::optional<std::string>>>
PropertyListSerialization::dataArrayWithData(std::string_view text, Error* error) {
    auto fail = [&](const std::string& why) -> std::optional<std::vector<std::optional<std::string>>> {
        if (error) *error = notAPropertyList(why);
        return std::nullopt;
    };
    Reader reader(text);
    auto tag = reader.nextTag();
    if (tag && tag->name == "plist" && !tag->closing && !tag->empty) tag = reader.nextTag();
    if (!tag || tag->closing || tag->name != "array") return fail("Its root is not an array.");

    std::vector<std::optional<std::string>> elements;
    if (tag->empty) return elements;
    while (true) {
        std::string content;
        auto child = reader.nextTag();
        if (!child) return fail("The array is not closed.");
        if (child->closing) {
            if (child->name != "array") return fail("Unexpected </" + child->name + ">.");
            return elements;
        }
        if (child->empty) {
            elements.push_back(child->name == "data" ? std::optional<std::string>("") : std::nullopt);
            continue;
        }
        // Read to the element's end, keeping the text of a data item only.
        int depth = 1;
        bool nested = false;
        while (depth > 0) {
            auto inner = reader.nextTag(depth == 1 ? &content : nullptr);
            if (!inner) return fail("The element <" + child->name + "> is not closed.");
            if (inner->closing)
                --depth;
            else if (!inner->empty)
                ++depth, nested = true;
            else
                nested = true;
        }
        if (child->name == "data" && !nested)
            elements.push_back(base64Decoded(content));
        else
            elements.push_back(std::nullopt);
    }
}
