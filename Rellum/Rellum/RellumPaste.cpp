#include "Rellum/RellumPaste.h"

std::string RellumNewlinesAsCarriageReturns(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.push_back('\r');
            ++i;
        } else if (text[i] == '\n') {
            out.push_back('\r');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

namespace {

// Removes every end marker, including ones that only form once an inner
// marker is gone ("\e[20\e[201~1~"): a marker is cut as soon as the output
// ends with it, which also catches the ones that removals join together.
std::string withoutEndMarkers(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out.push_back(c);
        if (c == '~' && out.ends_with(RellumBracketedPasteEnd))
            out.resize(out.size() - RellumBracketedPasteEnd.size());
    }
    return out;
}

} // namespace

std::string RellumPasteSequence(std::string_view text, bool bracketedPasteMode) {
    if (text.empty()) return {};
    if (!bracketedPasteMode) return std::string(text);
    std::string out(RellumBracketedPasteStart);
    out += withoutEndMarkers(text);
    out += RellumBracketedPasteEnd;
    return out;
}
