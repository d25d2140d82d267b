#pragma once
// Terminals driven as the benchmarks need them: as the application drives one
// (the real clock, a main queue that applies every update, bytes handed over
// by another thread), or on a manual clock whose updates the feeder fires.

#include "Dispatch/DrivableMainQueue.h"
#include "Dispatch/ManualClock.h"
#include "Dispatch/SerialQueue.h"
#include "Rellum/RellumTerminal.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>

namespace bench {

// Lines of 10 to 79 printable ASCII characters (about one in seven a space),
// each ended by lineEnd, up to at least size bytes.
inline std::string textLines(std::size_t size, unsigned seed, const char* lineEnd) {
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(size + 128);
    while (out.size() < size) {
        const int n = 10 + int(rng() % 70);
        for (int i = 0; i < n; ++i)
            out.push_back(rng() % 7 == 0 ? ' ' : char('!' + rng() % 94));
        out += lineEnd;
    }
    return out;
}

// Accepts every page size asked for (as a host would) and counts the updates
// begun (handed to the main thread) and ended (applied there).
class CountingDelegate : public RellumTerminalDelegate {
public:
    void terminalDidBeginUpdateUI(RellumTerminal&) override { ++began_; }
    // Updates begun so far (read on the render queue, where they begin).
    uint64_t began() const { return began_.load(); }
    void writeData(RellumTerminal&, std::string_view) override {}
    void changePageSize(RellumTerminal& terminal, RellumPageSize size) override {
        terminal.didChangePageSize(size);
    }
    void terminalDidEndUpdateUI(RellumTerminal&) override {
        std::lock_guard lock(mutex_);
        ++updates_;
        changed_.notify_all();
    }
    uint64_t updates() {
        std::lock_guard lock(mutex_);
        return updates_;
    }
    // Waits (on a thread other than main and the render queue) until more
    // than `count` updates have ended.
    void waitForUpdatesAbove(uint64_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return updates_ > count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t updates_ = 0;
    std::atomic<uint64_t> began_{0};
};

// A terminal with a main queue this thread drives. With `manual` the render
// queue's updates wait for the manual clock; otherwise they come on the real
// clock, as in the application.
struct TerminalRig {
    std::shared_ptr<ManualClock> manualClock;
    std::shared_ptr<DrivableMainQueue> main;
    std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();
    std::shared_ptr<RellumTerminal> terminal;

    TerminalRig(int64_t columns, int64_t rows, uint64_t scrollback, bool manual) {
        if (manual) manualClock = std::make_shared<ManualClock>();
        main =
            manual ? std::make_shared<DrivableMainQueue>(manualClock) : std::make_shared<DrivableMainQueue>();
        MainQueue::setMain(main);
        RellumTerminal::Options options;
        if (manual) options.clock = manualClock;
        terminal = std::make_shared<RellumTerminal>(delegate, std::move(options));
        terminal->initiateWithPageSize({columns, rows});
        terminal->setMaxScrollback(scrollback);
    }
    ~TerminalRig() {
        terminal.reset();
        MainQueue::setMain(nullptr);
    }
    TerminalRig(const TerminalRig&) = delete;
    TerminalRig& operator=(const TerminalRig&) = delete;

    // From a feeding thread: returns once every byte handed over so far is
    // shown, that is once the first update begun after the last scanned chunk
    // has ended (one begun earlier may still be applying; they end in order).
    void waitUntilShown() {
        uint64_t before = 0;
        bool scheduled = false;
        terminal->renderQueue().sync([&] {
            before = delegate->began();
            scheduled = terminal->updateScheduled();
        });
        // With none scheduled, the last update begun (it may have begun
        // between the last chunk and this check) already holds every chunk.
        if (!scheduled) {
            if (before > 0) delegate->waitForUpdatesAbove(before - 1);
            return;
        }
        if (manualClock) manualClock->advance(RellumTerminal::kLongChunkDelay);
        delegate->waitForUpdatesAbove(before);
    }
    // Runs work on a feeding thread while this (main) thread applies the
    // updates; returns when work has returned.
    void runFeeder(const std::function<void()>& work) {
        std::atomic<bool> done{false};
        std::thread feeder([&] {
            work();
            done = true;
            main->async([] {});
        });
        main->runUntil([&] { return done.load(); }, std::chrono::hours(1));
        feeder.join();
    }
    // Feeds bytes in chunks from a feeding thread and returns the seconds from
    // the first chunk to the last update applied.
    double feedAndShow(std::string_view bytes, std::size_t chunk) {
        double seconds = 0;
        runFeeder([&] {
            const auto start = std::chrono::steady_clock::now();
            for (std::size_t at = 0; at < bytes.size(); at += chunk)
                terminal->renderData(std::string(bytes.substr(at, chunk)));
            waitUntilShown();
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        return seconds;
    }
    bool storagesMatchGrids() {
        bool same = false;
        RellumTerminal* t = terminal.get();
        runFeeder([&] {
            t->renderQueue().sync([&] {
                same = t->primaryTextStorage()->string() == t->primaryGrid()->string() &&
                       t->alternateTextStorage()->string() == t->alternateGrid()->string();
            });
        });
        return same;
    }
};

} // namespace bench
