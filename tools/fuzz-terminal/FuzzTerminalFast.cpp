// The same inputs and checks as fuzz-terminal, with the whole terminal on the
// calling thread: its render queue is a queue this thread runs, the main
// queue is this thread too, and each display update is applied as soon as
// the clock reaches it. No thread starts and nothing waits, so an input
// costs what scanning, the grids, the context and the storages cost.

#include "Dispatch/DispatchQueue.h"
#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "FuzzTerminalSupport.h"

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <thread>

using namespace fuzz_terminal;

namespace {

// A serial queue on the thread that made it: blocks wait in order until that
// thread runs them, and code on that thread counts as on the queue, so the
// terminal's own hops to it run at once. Blocks are never run inside
// async(): a delayed block reaches the queue while the clock holds a lock.
class DrivenQueue final : public DispatchQueue {
public:
    explicit DrivenQueue(std::shared_ptr<DispatchClock> clock)
        : DispatchQueue(std::move(clock)), owner_(std::this_thread::get_id()) {}
    ~DrivenQueue() override { closeGate(); }

    void async(DispatchBlock block) override {
        if (!isCurrent()) fail("a block was queued from another thread");
        blocks_.push_back(std::move(block));
    }
    bool isCurrent() const override { return std::this_thread::get_id() == owner_; }

    // Runs the queued blocks, and the ones they queue, until none is left.
    void run() {
        CurrentMarker marker(this);
        while (!blocks_.empty()) {
            DispatchBlock block = std::move(blocks_.front());
            blocks_.pop_front();
            block();
        }
    }

private:
    std::thread::id owner_;
    std::deque<DispatchBlock> blocks_;
};

// The clock and the main queue live as long as the process; the main queue
// is the thread that runs the inputs.
struct Driver {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(std::chrono::seconds(1));
    std::shared_ptr<DrivableMainQueue> main = std::make_shared<DrivableMainQueue>(clock);
    Driver() { MainQueue::setMain(main); }
};

// Scans what is queued, then lets the clock reach the display update, which
// runs here and now: handed over on the render queue, applied on the main
// queue, ended on the render queue.
void runUpdate(DrivenQueue& queue, DrivableMainQueue& main, ManualClock& clock, FuzzDelegate& delegate) {
    queue.run();
    const int before = delegate.updates.load();
    if (clock.advance(RellumTerminal::kLongChunkDelay) == 0) return;
    queue.run();
    main.runUntilIdle();
    queue.run();
    if (delegate.updates.load() <= before) fail("a display update never ended");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<FuzzInput> input = decodeInput(data, size);
    if (!input) return 0;

    static Driver driver;
    if (!driver.main->isCurrent()) fail("inputs must all run on one thread");
    auto delegate = std::make_shared<FuzzDelegate>();
    DrivenQueue* queue = nullptr;
    {
        RellumTerminal::Options options;
        options.clock = driver.clock;
        options.renderQueueFactory = [&queue](std::shared_ptr<DispatchClock> clock) {
            auto made = std::make_unique<DrivenQueue>(std::move(clock));
            queue = made.get();
            return made;
        };
        auto terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        prepareTerminal(*terminal, *input);

        feedAndCheck(*terminal, *input, [&] { runUpdate(*queue, *driver.main, *driver.clock, *delegate); });
    }
    // Whatever the terminal left for the main thread goes with the input.
    driver.main->runUntilIdle();
    return 0;
}
