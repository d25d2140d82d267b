#pragma once

// What both terminal fuzz targets share: the input layout, the terminal's
// delegate and the checks made after each display update.
//
// Input: byte 0 picks the page width (20..147 columns), byte 1 the height
// (5..68 rows), bytes 2 and 3 seed the chunk sizes (1..256 bytes); the top
// bit of byte 0 and the two top bits of byte 1 pick a scrollback limit
// (0: the default; else a small one, so that the oldest lines leave the
// scrollback often). The rest is host output.

#include "Rellum/RellumTerminal.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz_terminal {

// A display update runs after every this many chunks, so that edits made
// across updates are checked too.
inline constexpr std::size_t kChunksPerUpdate = 8;

struct FuzzInput {
    RellumPageSize page;
    std::optional<uint64_t> maxScrollback;
    uint32_t seed = 0;
    std::string_view host;
};

inline std::optional<FuzzInput> decodeInput(const uint8_t* data, std::size_t size) {
    if (size < 4) return std::nullopt;
    static constexpr std::array<uint64_t, 7> kScrollbackLimits = {0, 1, 2, 5, 10, 50, 200};
    FuzzInput input;
    input.page = {20 + (data[0] & 0x7F), 5 + (data[1] & 0x3F)};
    if (const unsigned pick = (data[0] >> 7) | (data[1] >> 6) << 1; pick != 0)
        input.maxScrollback = kScrollbackLimits[pick - 1];
    input.seed = uint32_t(data[2]) << 8 | data[3];
    input.host = std::string_view(reinterpret_cast<const char*>(data) + 4, size - 4);
    return input;
}

// Cuts the host output into the chunks the seed gives.
class Chunker {
public:
    explicit Chunker(const FuzzInput& input) : host_(input.host), seed_(input.seed) {}
    std::optional<std::string_view> next() {
        if (at_ >= host_.size()) return std::nullopt;
        seed_ = seed_ * 1103515245u + 12345u;
        const std::string_view chunk = host_.substr(at_, 1 + ((seed_ >> 16) & 0xFF));
        at_ += chunk.size();
        return chunk;
    }

private:
    std::string_view host_;
    uint32_t seed_;
    std::size_t at_ = 0;
};

class FuzzDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override { replyBytes += data.size(); }
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates; }
    std::atomic<uint64_t> replyBytes{0};
    std::atomic<int> updates{0};
};

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz-terminal: %s\n", what);
    std::abort();
}

// Sets up a terminal for the input: its page, scrollback limit, and a view
// that can show no larger page than an input can ask for, so that a host's
// resize request stays within the sizes the inputs explore.
inline void prepareTerminal(RellumTerminal& terminal, const FuzzInput& input) {
    terminal.windowSnapshot()->setMaximalPageSize(RellumPageSize{20 + 0x7F, 5 + 0x3F});
    if (input.maxScrollback) terminal.setMaxScrollback(*input.maxScrollback);
    terminal.initiateWithPageSize(input.page);
}

// After a display update: each text storage equals its grid's lines and the
// cursor is on the page; any difference aborts.
inline void checkInvariant(RellumTerminal& terminal) {
    std::u16string primaryGrid, alternateGrid;
    bool cursorOnPage = true;
    terminal.renderQueue().sync([&] {
        primaryGrid = terminal.primaryGrid()->string();
        alternateGrid = terminal.alternateGrid()->string();
        const RellumGrid* grid = terminal.activeGrid();
        const RellumPageSize page = grid->pageSize();
        cursorOnPage = grid->cursorX() <= uint64_t(page.width) && int64_t(grid->cursorY()) < page.height;
    });
    if (terminal.primaryTextStorage()->string() != primaryGrid) fail("primary storage differs from its grid");
    if (terminal.alternateTextStorage()->string() != alternateGrid)
        fail("alternate storage differs from its grid");
    if (!cursorOnPage) fail("cursor off the page");
}

// Feeds the host output chunk by chunk; `update` lets a display update run
// after every kChunksPerUpdate chunks and after the last one, and each is
// checked.
template <class Update>
void feedAndCheck(RellumTerminal& terminal, const FuzzInput& input, Update&& update) {
    Chunker chunker(input);
    std::size_t chunks = 0;
    while (const std::optional<std::string_view> chunk = chunker.next()) {
        terminal.renderData(std::string(*chunk));
        if (++chunks % kChunksPerUpdate == 0) {
            update();
            checkInvariant(terminal);
        }
    }
    update();
    checkInvariant(terminal);
}

} // namespace fuzz_terminal
