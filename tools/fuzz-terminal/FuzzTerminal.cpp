// Feeds arbitrary host output, cut into arbitrary chunks, through a whole
// terminal (scanner, control functions, grids, edits, text storages) and
// checks after display updates that each text storage equals its grid's
// lines and that the cursor is on the page. Any difference aborts.
//
// Input: byte 0 picks the page width (20..147 columns), byte 1 the height
// (5..68 rows), bytes 2 and 3 seed the chunk sizes (1..256 bytes); the rest
// is host output. A display update runs after every eighth chunk, so edits
// made across updates are checked too.

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumTerminal.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

class FuzzDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override { replyBytes += data.size(); }
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates; }
    std::atomic<uint64_t> replyBytes{0};
    std::atomic<int> updates{0};
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz-terminal: %s\n", what);
    std::abort();
}

void runUpdate(RellumTerminal& terminal, ManualClock& clock, DrivableMainQueue& main,
               FuzzDelegate& delegate) {
    terminal.renderQueue().sync([] {});
    const int before = delegate.updates.load();
    if (clock.advance(RellumTerminal::kLongChunkDelay) == 0) return;
    for (int turn = 0; delegate.updates.load() <= before; ++turn) {
        if (turn > 100000) fail("a display update never ended");
        main.runUntil([&] { return delegate.updates.load() > before; }, std::chrono::milliseconds(1));
    }
    terminal.renderQueue().sync([] {});
}

void checkInvariant(RellumTerminal& terminal) {
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const int64_t columns = 20 + (data[0] & 0x7F);
    const int64_t rows = 5 + (data[1] & 0x3F);
    uint32_t seed = uint32_t(data[2]) << 8 | data[3];
    const std::string_view input(reinterpret_cast<const char*>(data) + 4, size - 4);

    auto clock = std::make_shared<ManualClock>(std::chrono::seconds(1));
    auto main = std::make_shared<DrivableMainQueue>(clock);
    MainQueue::setMain(main);
    auto delegate = std::make_shared<FuzzDelegate>();
    {
        RellumTerminal::Options options;
        options.clock = clock;
        auto terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        terminal->initiateWithPageSize({columns, rows});

        std::size_t at = 0, chunks = 0;
        while (at < input.size()) {
            seed = seed * 1103515245u + 12345u;
            const std::size_t length = 1 + ((seed >> 16) & 0xFF);
            terminal->renderData(std::string(input.substr(at, length)));
            at += length;
            if (++chunks % 8 == 0) {
                runUpdate(*terminal, *clock, *main, *delegate);
                checkInvariant(*terminal);
            }
        }
        runUpdate(*terminal, *clock, *main, *delegate);
        checkInvariant(*terminal);
    }
    MainQueue::setMain(nullptr);
    return 0;
}
