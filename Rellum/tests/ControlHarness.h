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
#include <vector>

// A whole terminal for byte-stream tests of the control functions: host bytes
// in; the active grid's debug form, the replies and the delegate and window
// calls out. The main queue is this thread and the clock a manual one, so a
// test decides when the display update (and the bell's clock) moves.
namespace control_test {

class FixedFont : public RellumFont {
public:
    explicit FixedFont(std::string name = "Fixed", std::optional<double> fixed = std::nullopt)
        : name_(std::move(name)), fixed_(fixed) {}
    std::string familyName() const override { return name_; }
    double pointSize() const override { return 12; }
    double advanceOfGlyphNamed(std::string_view) const override { return 7; }
    double ascender() const override { return 12; }
    double descender() const override { return -3; }
    std::optional<double> fixedAdvance() const override { return fixed_; }
    std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const override {
        return std::make_shared<FixedFont>(name_, advance);
    }
    std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FixedFont>(name_ + "-Bold", a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FixedFont>(name_ + "-Italic", a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FixedFont>(name_ + "-BoldItalic", a.fixedAdvance);
    }

private:
    std::string name_;
    std::optional<double> fixed_;
};

// Records what the terminal asks of its window (main thread only).
class WindowRecorder : public RellumScreenController {
public:
    WindowRecorder(RellumTextStorage* primary) : shown(primary), primary(primary) {}

    RellumTextStorage* shown;
    RellumTextStorage* primary;
    std::vector<std::string> calls;
    std::vector<std::optional<RellumColor>> backgrounds;

    RellumPageSize maximalPageSize() override { return {80, 24}; }
    void setLineHeight(double, double) override {}
    void updateBackgroundColor(const std::optional<RellumColor>& color) override {
        backgrounds.push_back(color);
        calls.push_back("background");
    }
    void replaceTextStorage(RellumTextStorage* storage) override {
        if (storage != shown) calls.push_back(storage == primary ? "show primary" : "show alternate");
        shown = storage;
    }
    RellumTextStorage* contentAttributedString() override { return shown; }
    void updateContext(std::unique_ptr<RellumContext>, uint64_t, RellumRect, RellumCoord) override {}
    void iconifyWindow(bool iconify) override { calls.push_back(iconify ? "iconify" : "deiconify"); }
    void moveWindowToOrigin(RellumPoint p) override {
        calls.push_back("move " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
    }
    RellumPoint windowTopLeftPoint() override { return {}; }
    void raiseWindow(bool raise) override { calls.push_back(raise ? "raise" : "lower"); }
    std::optional<RellumSize> viewFrameSize() override { return std::nullopt; }
};

class HostRecorder : public RellumTerminalDelegate {
public:
    void writeData(RellumTerminal&, std::string_view data) override {
        std::lock_guard lock(mutex);
        replies.append(data);
        writes.emplace_back(data);
    }
    void changePageSize(RellumTerminal&, RellumPageSize) override {}
    void terminalRingBell(RellumTerminal&) override { ++bells; }
    void didChangeTerminalTitle(RellumTerminal&, const std::optional<std::string>& title) override {
        std::lock_guard lock(mutex);
        titles.push_back(title.value_or("<none>"));
    }
    void didChangeCurrentDirectory(RellumTerminal&, const std::optional<std::string>& url) override {
        std::lock_guard lock(mutex);
        directories.push_back(url.value_or("<none>"));
    }
    void terminalDidEndUpdateUI(RellumTerminal&) override { ++updates; }

    std::mutex mutex;
    std::string replies;
    std::vector<std::string> writes;
    std::vector<std::string> titles;
    std::vector<std::string> directories;
    std::atomic<int> bells{0};
    std::atomic<int> updates{0};
};

struct ControlHarness {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(std::chrono::seconds(1000));
    std::shared_ptr<DrivableMainQueue> main;
    std::shared_ptr<HostRecorder> host = std::make_shared<HostRecorder>();
    WindowRecorder* window = nullptr;
    std::shared_ptr<RellumTerminal> terminal;

    explicit ControlHarness(RellumPageSize size = {80, 24}) {
        main = std::make_shared<DrivableMainQueue>(clock);
        MainQueue::setMain(main);
        RellumTerminal::Options options;
        options.clock = clock;
        options.font = std::make_shared<FixedFont>();
        options.screenControllerFactory = [this](RellumTerminal&, RellumTextStorage& storage) {
            auto recorder = std::make_unique<WindowRecorder>(&storage);
            window = recorder.get();
            return recorder;
        };
        terminal = std::make_shared<RellumTerminal>(host, std::move(options));
        terminal->initiateWithPageSize(size);
    }
    ~ControlHarness() {
        terminal.reset();
        MainQueue::setMain(nullptr);
    }
    ControlHarness(const ControlHarness&) = delete;
    ControlHarness& operator=(const ControlHarness&) = delete;

    // Runs work on the render queue and waits for it.
    void onRender(const std::function<void(RellumTerminal&)>& work) {
        RellumTerminal* t = terminal.get();
        terminal->renderQueue().sync([&] { work(*t); });
    }
    // Feeds host bytes and waits until they are scanned (no display update).
    void feed(std::string_view bytes) {
        terminal->renderData(std::string(bytes));
        onRender([](RellumTerminal&) {});
    }
    // Runs the pending display update, if any, on this (the main) thread.
    // The update ends on the render queue after its main-thread part, so the
    // main queue is driven in short turns until the end is seen.
    void update() {
        onRender([](RellumTerminal&) {});
        const int before = host->updates.load();
        if (clock->advance(RellumTerminal::kLongChunkDelay) == 0) return;
        for (int turn = 0; turn < 20000 && host->updates.load() <= before; ++turn)
            main->runUntil([&] { return host->updates.load() > before; }, std::chrono::milliseconds(1));
    }
    // Runs the pending update, then moves the clock by `by` (for the bell).
    void advance(std::chrono::nanoseconds by) {
        update();
        clock->advance(by);
    }

    // The active grid's lines in debug form, one per row of the page (void
    // cells as "·", then "!" for a hard line end, "+" or ">" for a wrap).
    std::vector<std::string> screen() {
        std::vector<std::string> rows;
        onRender([&](RellumTerminal& t) {
            RellumGrid* grid = t.activeGrid();
            std::string all = grid->debugDescription();
            std::size_t start = 0;
            while (true) {
                const std::size_t nl = all.find('\n', start);
                rows.push_back(all.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
                if (nl == std::string::npos) break;
                start = nl + 1;
            }
            const std::size_t pageRows = std::size_t(std::max<int64_t>(1, grid->pageSize().height));
            if (rows.size() > pageRows) rows.erase(rows.begin(), rows.end() - std::ptrdiff_t(pageRows));
        });
        return rows;
    }
    // One row of the page as plain text, void cells as spaces, trailing spaces cut.
    std::string row(uint64_t y) {
        std::string out;
        onRender([&](RellumTerminal& t) {
            RellumGrid* grid = t.activeGrid();
            const uint64_t index = grid->lineIndexAtY(y);
            if (index >= grid->acutalLineCount()) return; // a row not reached yet is empty
            const RellumLine& line = grid->lineAtIndex(index);
            std::u16string text;
            line.elements().appendString(text, 0, line.elementCount(), nullptr, nullptr, nullptr, nullptr,
                                         false);
            out = RellumUTF8FromUTF16(text);
            for (char& c : out)
                if (c == '\0') c = ' ';
        });
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        return out;
    }
    RellumCoord cursor() {
        RellumCoord c;
        onRender([&](RellumTerminal& t) { c = {int64_t(t.cursorX()), int64_t(t.cursorY())}; });
        return c;
    }
    std::string takeReplies() {
        std::lock_guard lock(host->mutex);
        std::string out;
        out.swap(host->replies);
        return out;
    }
    // After a display update, each storage holds exactly its grid's lines
    // joined by "\n".
    bool storagesMatchGrids(std::string* why = nullptr) {
        update();
        std::u16string primaryGrid, alternateGrid;
        onRender([&](RellumTerminal& t) {
            primaryGrid = t.primaryGrid()->string();
            alternateGrid = t.alternateGrid()->string();
        });
        const std::u16string primary = terminal->primaryTextStorage()->string();
        const std::u16string alternate = terminal->alternateTextStorage()->string();
        if (primary != primaryGrid) {
            if (why)
                *why = "primary storage [" + RellumUTF8FromUTF16(primary) + "] grid [" +
                       RellumUTF8FromUTF16(primaryGrid) + "]";
            return false;
        }
        if (alternate != alternateGrid) {
            if (why)
                *why = "alternate storage [" + RellumUTF8FromUTF16(alternate) + "] grid [" +
                       RellumUTF8FromUTF16(alternateGrid) + "]";
            return false;
        }
        return true;
    }
};

} // namespace control_test
