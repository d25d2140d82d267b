#include "Foundation/KeyValueObservable.h"
#include "Foundation/Log.h"
#include "Foundation/NotificationCenter.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <spdlog/sinks/ostream_sink.h>
#include <sstream>
#include <thread>
#include <vector>

namespace {

struct Observed : KeyValueObservable {
    void setValue(int v) {
        willChangeValueForKey("value");
        value = v;
        didChangeValueForKey("value");
    }
    int value = 0;
};

TEST(KeyValueObservableTest, NoticesReachObserversOfTheKeyWhileTheirTokenLives) {
    Observed o;
    std::vector<std::string> heard;
    {
        auto token = o.addObserver("value", [&](const std::string& k, bool prior) {
            heard.push_back(
                std::string(prior ? "will " : "did ").append(k).append(" ").append(std::to_string(o.value)));
        });
        auto priorToken = o.addObserver(
            "value",
            [&](const std::string& k, bool prior) {
                heard.push_back(std::string(prior ? "P" : "p").append(k));
            },
            true);
        auto other = o.addObserver(
            "other", [&](const std::string& k, bool) { heard.push_back(std::string("other ").append(k)); });
        o.setValue(3);
    }
    o.setValue(4); // tokens gone: nobody hears this
    EXPECT_EQ(heard, (std::vector<std::string>{"Pvalue", "did value 3", "pvalue"}));

    // Copies never carry observers.
    int copies = 0;
    auto token = o.addObserver("", [&](const std::string&, bool) { ++copies; });
    Observed copy = o;
    copy.setValue(5);
    EXPECT_EQ(copies, 0);
    o.setValue(6);
    EXPECT_EQ(copies, 1);
}

TEST(KeyValueObservableTest, ATokenMayOutliveItsObjectAndMayBeMoved) {
    ObservationToken kept;
    int calls = 0;
    {
        auto o = std::make_unique<Observed>();
        kept = o->addObserver("value", [&](const std::string&, bool) { ++calls; });
        ObservationToken moved = std::move(kept);
        EXPECT_FALSE(kept.isValid());
        o->setValue(1);
        kept = std::move(moved);
    }
    EXPECT_EQ(calls, 1);
    kept.invalidate(); // the object is gone: nothing to do, no crash
    EXPECT_FALSE(kept.isValid());
}

TEST(NotificationCenterTest, PostingReachesObserversOfTheNameSynchronouslyOnThePostingThread) {
    NotificationCenter center;
    std::vector<std::string> heard;
    std::thread::id thread;
    auto a = center.addObserver("KeyDeleted", [&](const Notification& n) {
        heard.push_back(std::string("a ").append(n.userInfo["key_id"].get<std::string>()));
        thread = std::this_thread::get_id();
        EXPECT_EQ(std::any_cast<int>(n.object), 42);
    });
    auto all = center.addObserver(
        "", [&](const Notification& n) { heard.push_back(std::string("all ").append(n.name)); });
    auto b = center.addObserver("Other", [&](const Notification&) { heard.push_back("b"); });

    std::thread poster([&] { center.postNotification("KeyDeleted", 42, {{"key_id", "k1"}}); });
    poster.join();
    EXPECT_EQ(heard, (std::vector<std::string>{"a k1", "all KeyDeleted"}));
    EXPECT_NE(thread, std::this_thread::get_id());

    a.invalidate();
    heard.clear();
    center.postNotification("KeyDeleted", 42, {{"key_id", "k2"}});
    EXPECT_EQ(heard, (std::vector<std::string>{"all KeyDeleted"}));
}

TEST(NotificationCenterTest, ObserversMayRemoveThemselvesAndOthersDuringAPost) {
    NotificationCenter center;
    std::vector<std::string> heard;
    ObservationToken first, second, third, late;
    first = center.addObserver("N", [&](const Notification&) {
        heard.push_back("first");
        first.invalidate(); // itself
        third.invalidate(); // one not yet called in this post
    });
    second = center.addObserver("N", [&](const Notification&) {
        heard.push_back("second");
        // Adding during a post is allowed; the newcomer hears the next post.
        if (!late.isValid())
            late = center.addObserver("N", [&](const Notification&) { heard.push_back("late"); });
    });
    third = center.addObserver("N", [&](const Notification&) { heard.push_back("third"); });
    center.postNotification("N");
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));
    heard.clear();
    center.postNotification("N");
    EXPECT_EQ(heard, (std::vector<std::string>{"second", "late"}));
}

TEST(NotificationCenterTest, NoCallbackRunsOnceItsTokenIsGoneEvenWhileAnotherThreadPosts) {
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        for (int i = 0; i < 20000 && !stop; ++i)
            center.postNotification("Tick");
    });
    for (int round = 0; round < 200; ++round) {
        auto alive = std::make_shared<std::atomic<bool>>(true);
        std::atomic<int> lateCalls{0};
        {
            auto token = center.addObserver("Tick", [alive, &lateCalls](const Notification&) {
                if (!*alive) ++lateCalls;
            });
            std::this_thread::yield();
            token.invalidate();
            *alive = false; // from here on a call would be a late call
        }
        std::this_thread::yield();
        EXPECT_EQ(lateCalls.load(), 0);
    }
    stop = true;
    poster.join();
}

TEST(NotificationCenterTest, TheDefaultCenterIsOneObject) {
    EXPECT_EQ(&NotificationCenter::defaultCenter(), &NotificationCenter::defaultCenter());
    int calls = 0;
    auto token = NotificationCenter::defaultCenter().addObserver("OrvikFontDidChange",
                                                                 [&](const Notification&) { ++calls; });
    NotificationCenter::defaultCenter().postNotification("OrvikFontDidChange");
    EXPECT_EQ(calls, 1);
}

TEST(LogTest, WarningsReachTheLoggerAndInfoIsFilteredByDefault) {
    EXPECT_EQ(Log::logger()->level(), spdlog::level::warn);
    std::ostringstream out;
    auto logger =
        std::make_shared<spdlog::logger>("capture", std::make_shared<spdlog::sinks::ostream_sink_mt>(out));
    logger->set_level(spdlog::level::warn);
    Log::setLogger(logger);
    Log::warning("kept {} aside", "known_hosts");
    Log::info("not shown");
    Log::setLogger(nullptr);
    EXPECT_NE(out.str().find("kept known_hosts aside"), std::string::npos);
    EXPECT_EQ(out.str().find("not shown"), std::string::npos);
    EXPECT_EQ(Log::logger()->level(), spdlog::level::warn);
}

} // namespace
