#pragma once

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumElements.h"
#include "Rellum/RellumTerminal.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace terminal_test {

// A font with fixed metrics: "W" advances 7 points, lines are 16 points high.
class TestFont : public RellumFont {
public:
    explicit TestFont(std::string name = "Test", double width = 7, std::optional<double> fixed = std::nullopt)
        : name_(std::move(name)), width_(width), fixed_(fixed) {}
    std::string familyName() const override { return name_; }
    double pointSize() const override { return 12; }
    double advanceOfGlyphNamed(std::string_view) const override { return width_; }
    double ascender() const override { return 12; }
    double descender() const override { return -3; }
    std::optional<double> fixedAdvance() const override { return fixed_; }
    std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const override {
        return std::make_shared<TestFont>(name_, width_, advance);
    }
    std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<TestFont>(name_ + "-Bold", width_, a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<TestFont>(name_ + "-Italic", width_, a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<TestFont>(name_ + "-BoldItalic", width_, a.fixedAdvance);
    }

private:
    std::string name_;
    double width_;
    std::optional<double> fixed_;
};

// Records what the terminal asks of its view. Main thread only.
class FakeScreenController : public RellumScreenController {
public:
    explicit FakeScreenController(RellumTextStorage* storage) : shown(storage) {}
    ~FakeScreenController() override {
        if (destroyedOn) *destroyedOn = std::this_thread::get_id();
    }
    std::thread::id* destroyedOn = nullptr;

    RellumPageSize maximal{80, 24};
    RellumTextStorage* shown;
    int updates = 0;
    int storageSwitches = 0;
    std::vector<std::pair<double, double>> lineHeights;
    std::vector<std::optional<RellumColor>> backgrounds;
    std::unique_ptr<RellumContext> lastContext;
    uint64_t lastCursorLocation = 0;
    RellumRect lastCursorRect;
    RellumCoord lastCursorCoord;
    // Called at each update, on the main thread (the render queue scans on meanwhile).
    std::function<void()> onUpdate;

    RellumPageSize maximalPageSize() override { return maximal; }
    void setLineHeight(double lineHeight, double charWidth) override {
        lineHeights.emplace_back(lineHeight, charWidth);
    }
    void updateBackgroundColor(const std::optional<RellumColor>& color) override {
        backgrounds.push_back(color);
    }
    void replaceTextStorage(RellumTextStorage* storage) override {
        if (storage != shown) ++storageSwitches;
        shown = storage;
    }
    RellumTextStorage* contentAttributedString() override { return shown; }
    void updateContext(std::unique_ptr<RellumContext> context, uint64_t cursorLocation, RellumRect cursorRect,
                       RellumCoord cursorCoord) override {
        ++updates;
        lastContext = std::move(context);
        lastCursorLocation = cursorLocation;
        lastCursorRect = cursorRect;
        lastCursorCoord = cursorCoord;
        if (onUpdate) onUpdate();
    }
    void iconifyWindow(bool) override {}
    void moveWindowToOrigin(RellumPoint) override {}
    RellumPoint windowTopLeftPoint() override { return {}; }
    void raiseWindow(bool) override {}
    std::optional<RellumSize> viewFrameSize() override { return std::nullopt; }
};

class RecordingDelegate : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override {
        std::lock_guard lock(mutex);
        written.emplace_back(data);
    }
    void changePageSize(RellumTerminal&, RellumPageSize size) override {
        std::lock_guard lock(mutex);
        proposals.push_back(size);
    }
    void terminalDidBeginUpdateUI(RellumTerminal& terminal) override {
        ++began;
        if (onBegin) onBegin(terminal);
    }
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++ended; }

    std::mutex mutex;
    std::vector<std::string> written;
    std::vector<RellumPageSize> proposals;
    std::atomic<int> began{0};
    std::atomic<int> ended{0};
    // Called as an update is handed to the main thread, on the render queue.
    std::function<void(RellumTerminal&)> onBegin;
};

// A terminal on a drivable main queue (this thread) and, unless a real
// clock is asked for, a manual clock.
struct TerminalHarness {
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<DrivableMainQueue> main;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    FakeScreenController* controller = nullptr;
    std::shared_ptr<RellumTerminal> terminal;

    explicit TerminalHarness(RellumPageSize size = {80, 24}, bool realClock = false) {
        std::shared_ptr<DispatchClock> c;
        if (!realClock) {
            clock = std::make_shared<ManualClock>();
            c = clock;
        } else {
            c = DispatchClock::steady();
        }
        main = std::make_shared<DrivableMainQueue>(c);
        MainQueue::setMain(main);
        RellumTerminal::Options options;
        options.clock = c;
        options.font = std::make_shared<TestFont>();
        options.screenControllerFactory = [this](RellumTerminal&, RellumTextStorage& storage) {
            auto fake = std::make_unique<FakeScreenController>(&storage);
            controller = fake.get();
            return fake;
        };
        terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        terminal->initiateWithPageSize(size);
    }
    ~TerminalHarness() {
        terminal.reset();
        MainQueue::setMain(nullptr);
    }

    // Runs work on the render queue and waits for it. Only while no update
    // can be waiting for the main thread (the manual clock is not advanced
    // meanwhile).
    void onRenderQueue(const std::function<void(RellumTerminal&)>& work) {
        RellumTerminal* t = terminal.get();
        terminal->renderQueue().sync([&] { work(*t); });
    }
    void drain() {
        onRenderQueue([](RellumTerminal&) {});
    }
    // Fires the pending update (if any) and waits for it; false when none was due.
    bool update() {
        drain();
        const int before = controller->updates;
        if (clock->advance(RellumTerminal::kLongChunkDelay) == 0) return false;
        return waitForUpdates(before + 1);
    }
    // Runs the main queue until the screen controller has seen `count`
    // updates, then lets the last one finish on the render queue.
    bool waitForUpdates(int count) {
        if (!main->runUntil([&] { return controller->updates >= count; }, std::chrono::seconds(20)))
            return false;
        drain();
        return true;
    }
    // With a real clock: serves the main queue until an update has applied
    // everything fed so far.
    void drainRealClock() {
        int seen = -1;
        // An edit queued after every chunk fed so far: the update that runs it
        // applies them all, and then tells the controller.
        RellumTerminal* t = terminal.get();
        terminal->renderQueue().async([&, t] { t->appendEditBlock([&] { seen = controller->updates; }); });
        main->runUntil([&] { return seen >= 0 && controller->updates > seen; }, std::chrono::seconds(20));
        drain();
    }
    std::string primaryText() const { return RellumUTF8FromUTF16(terminal->primaryTextStorage()->string()); }
    std::string alternateText() const {
        return RellumUTF8FromUTF16(terminal->alternateTextStorage()->string());
    }
    std::string gridText(bool alternate = false) {
        std::string out;
        onRenderQueue([&](RellumTerminal& t) {
            out = RellumUTF8FromUTF16((alternate ? t.alternateGrid() : t.primaryGrid())->string());
        });
        return out;
    }
};

} // namespace terminal_test
