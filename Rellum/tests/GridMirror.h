#pragma once

#include "Rellum/RellumGrid.h"

#include <string>
#include <vector>

// A stand-in for a grid's text storage: applies every delegate report to its
// own text, as the terminal's mirror will, and notes reports that fall
// outside the text.
class GridMirror : public RellumGridDelegate {
public:
    std::u16string text;
    std::vector<std::string> faults;
    std::vector<std::string> log;
    bool logging = false;

    void didReplaceCharactersInRange(RellumGrid&, RellumRange range, std::u16string_view string,
                                     const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*,
                                     const RellumIndexSet*) override {
        if (logging)
            log.push_back("replace " + std::to_string(range.location) + "," + std::to_string(range.length) +
                          " " + RellumUTF8FromUTF16(string));
        if (range.end() > text.size()) {
            faults.push_back("replace past end");
            return;
        }
        text.replace(range.location, range.length, string);
    }
    void didInsertString(RellumGrid&, std::u16string_view string, uint64_t index, const RellumIndexSet*,
                         const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*) override {
        if (logging) log.push_back("insert " + std::to_string(index) + " " + RellumUTF8FromUTF16(string));
        if (index > text.size()) {
            faults.push_back("insert past end");
            return;
        }
        text.insert(index, string);
    }
    void didInsertNewLineAtIndex(RellumGrid&, uint64_t index) override {
        if (logging) log.push_back("newline " + std::to_string(index));
        if (index > text.size()) {
            faults.push_back("newline past end");
            return;
        }
        text.insert(index, 1, u'\n');
    }
    void didDeleteCharactersInRange(RellumGrid&, RellumRange range) override {
        if (logging)
            log.push_back("delete " + std::to_string(range.location) + "," + std::to_string(range.length));
        if (range.end() > text.size()) {
            faults.push_back("delete past end");
            return;
        }
        text.erase(range.location, range.length);
    }
};

// A grid on its own context and mirror, for tests.
struct GridFixture {
    RellumContext context;
    GridMirror mirror;
    RellumGrid grid;

    GridFixture(int64_t columns, int64_t rows, bool alternate = false)
        : grid(RellumPageSize{columns, rows}, &context, alternate, &mirror) {
        context.setPageSize({columns, rows});
    }
    void resize(int64_t columns, int64_t rows) {
        context.setPageSize({columns, rows});
        grid.setPageSize({columns, rows});
    }
    void write(std::u32string_view text) {
        RellumElements cells = RellumElements::elementsFromMBCSUTF32Chars(text.data(), text.size());
        grid.renderElementsFromCursor(cells.rellum_arrayByMergingCombiningMarkElement());
    }
    void writeASCII(std::string_view text) {
        grid.renderElementsFromCursor(RellumElements::elementsFromASCIIChars(text.data(), text.size()));
    }
    // The text the reports built equals the lines joined by "\n", and every
    // line's character count is its text's length.
    std::string consistencyFault() const {
        if (!mirror.faults.empty()) return mirror.faults.front();
        if (mirror.text != grid.string())
            return "mirror differs: [" + RellumUTF8FromUTF16(mirror.text) + "] vs [" +
                   RellumUTF8FromUTF16(grid.string()) + "]";
        uint64_t origin = 0;
        for (uint64_t i = 0; i < grid.acutalLineCount(); ++i) {
            const RellumLine& line = grid.lineAtIndex(i);
            const RellumElements& e = line.elements();
            std::u16string t;
            e.appendString(t, 0, e.size(), nullptr, nullptr, nullptr, nullptr, false);
            if (t.size() != line.characterCount()) return "characterCount of line " + std::to_string(i);
            if (grid.storageOriginOfLineAtIndex(i) != origin) return "origin of line " + std::to_string(i);
            origin += t.size() + 1;
        }
        return {};
    }
};
