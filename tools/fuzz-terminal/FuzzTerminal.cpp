// Feeds arbitrary host output, cut into arbitrary chunks, through a whole
// terminal as the application runs it (scanner and grids on the render
// queue's thread, display updates hopping to the main thread after the
// update delay) and checks after display updates that each text storage
// equals its grid's lines and that the cursor is on the page. Any difference
// aborts. The input layout is in FuzzTerminalSupport.h.

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "FuzzTerminalSupport.h"

#include <chrono>
#include <memory>
#include <string>

using namespace fuzz_terminal;

namespace {

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<FuzzInput> input = decodeInput(data, size);
    if (!input) return 0;

    auto clock = std::make_shared<ManualClock>(std::chrono::seconds(1));
    auto main = std::make_shared<DrivableMainQueue>(clock);
    MainQueue::setMain(main);
    auto delegate = std::make_shared<FuzzDelegate>();
    {
        RellumTerminal::Options options;
        options.clock = clock;
        auto terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        prepareTerminal(*terminal, *input);

        feedAndCheck(*terminal, *input, [&] { runUpdate(*terminal, *clock, *main, *delegate); });
    }
    MainQueue::setMain(nullptr);
    return 0;
}
