// Throughput of the screen grid: scrolling with a full scrollback of 65535
// lines against a short one, and writing runs of text.
#include "Rellum/RellumGrid.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Receives the reports as a terminal would, keeping only a running total so
// that nothing is optimised away.
class CountingDelegate : public RellumGridDelegate {
public:
    uint64_t total = 0;
    void didReplaceCharactersInRange(RellumGrid&, RellumRange range, std::u16string_view s,
                                     const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*,
                                     const RellumIndexSet*) override {
        total += range.location + s.size();
    }
    void didInsertString(RellumGrid&, std::u16string_view s, uint64_t index, const RellumIndexSet*,
                         const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*) override {
        total += index + s.size();
    }
    void didInsertNewLineAtIndex(RellumGrid&, uint64_t index) override { total += index; }
    void didDeleteCharactersInRange(RellumGrid&, RellumRange range) override { total += range.length; }
};

RellumElements lineOfText(std::size_t columns) {
    std::string s;
    for (std::size_t i = 0; i < columns; ++i)
        s.push_back(char('!' + i % 90));
    return RellumElements::elementsFromASCIIChars(s.data(), s.size());
}

// One output line: text, carriage return, line feed on the bottom row.
void emitLine(RellumGrid& grid, const RellumElements& text) {
    grid.renderElementsFromCursor(text);
    grid.moveCursorToLeftMargin();
    grid.moveCursorDownOrNewline();
}

void BM_ScrollNewlines(benchmark::State& state) {
    const uint64_t scrollback = uint64_t(state.range(0));
    const bool withText = state.range(1) != 0;
    RellumContext context;
    context.setPageSize({80, 24});
    CountingDelegate delegate;
    RellumGrid grid({80, 24}, &context, &delegate);
    grid.setMaxScrollback(scrollback);
    const RellumElements text = lineOfText(72);
    grid.setCursorY(23);
    for (uint64_t i = 0; i < scrollback + 24; ++i)
        emitLine(grid, text); // scrollback full from here on
    for (auto _ : state) {
        if (withText)
            emitLine(grid, text);
        else
            grid.moveCursorDownOrNewline();
    }
    benchmark::DoNotOptimize(delegate.total);
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["lines"] = double(grid.acutalLineCount());
}
BENCHMARK(BM_ScrollNewlines)
    ->ArgNames({"scrollback", "text"})
    ->Args({100, 0})
    ->Args({65535, 0})
    ->Args({100, 1})
    ->Args({65535, 1});

void BM_WriteTextRun(benchmark::State& state) {
    const std::size_t length = std::size_t(state.range(0));
    const bool wide = state.range(1) != 0;
    RellumContext context;
    context.setPageSize({200, 50});
    CountingDelegate delegate;
    RellumGrid grid({200, 50}, &context, &delegate);
    RellumElements run;
    if (wide) {
        std::u32string s;
        for (std::size_t i = 0; i < length / 2; ++i)
            s.push_back(char32_t(0x4E00 + i % 500));
        run = RellumElements::elementsFromMBCSUTF32Chars(s.data(), s.size());
    } else {
        run = lineOfText(length);
    }
    for (auto _ : state) {
        grid.setCursorX(0);
        grid.renderElementsFromCursor(run);
    }
    benchmark::DoNotOptimize(delegate.total);
    state.SetItemsProcessed(int64_t(state.iterations() * run.size()));
}
BENCHMARK(BM_WriteTextRun)
    ->ArgNames({"cells", "wide"})
    ->Args({16, 0})
    ->Args({80, 0})
    ->Args({200, 0})
    ->Args({80, 1});

// Scanned text arrives as code points; making cells of them is part of the path.
void BM_CellsFromText(benchmark::State& state) {
    std::u32string s;
    for (int i = 0; i < 80; ++i)
        s.push_back(char32_t(i % 3 == 0 ? 0x4E00 + i : 'a' + i % 26));
    for (auto _ : state) {
        RellumElements cells = RellumElements::elementsFromMBCSUTF32Chars(s.data(), s.size());
        benchmark::DoNotOptimize(cells.rellum_arrayByMergingCombiningMarkElement());
    }
    state.SetItemsProcessed(int64_t(state.iterations() * s.size()));
}
BENCHMARK(BM_CellsFromText);

} // namespace

BENCHMARK_MAIN();
