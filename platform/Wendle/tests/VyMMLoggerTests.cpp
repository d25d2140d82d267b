#include "Wendle/VyMMLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <set>
#include <thread>

namespace {

// Collects the new-line notifications of one centre.
struct Collector {
    explicit Collector(NotificationCenter& center) {
        token = center.addObserver(VyMMLoggerNewLogNotifacation, [this](const Notification& n) {
            std::lock_guard lock(mutex);
            const auto* line = std::any_cast<VyMMLogLine>(&n.object);
            lines.push_back(line ? *line : VyMMLogLine{});
            ids.push_back(n.userInfo.value(VyMMLoggerLogIdKey, std::string("<missing>")));
            typedObjects += line != nullptr;
        });
    }
    std::mutex mutex;
    std::vector<VyMMLogLine> lines;
    std::vector<std::string> ids;
    int typedObjects = 0;
    ObservationToken token;
};

TEST(VyMMLogger, LevelsColoursAndTimeStamps) {
    NotificationCenter center;
    VyMMLogger log(center);
    const auto before = std::chrono::system_clock::now();
    log.logPlain("#Version:    1.0");
    for (int level : {2, 3, 4, 5, 6, 7})
        log.logWithLevel(level, "level " + std::to_string(level));
    const auto after = std::chrono::system_clock::now();

    const auto lines = log.logsAttributeString();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(lines[0].plain);
    EXPECT_EQ(lines[0].level, VyMMLogLevelPlain);
    EXPECT_EQ(lines[0].timeText, "");
    EXPECT_EQ(lines[0].string(), "#Version:    1.0");
    EXPECT_FALSE(lines[0].color.has_value());

    const std::regex stamped(R"(\d\d:\d\d:\d\d\.\d\d\d level \d)");
    std::set<std::tuple<int, int, int>> distinctColours;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto& line = lines[i];
        EXPECT_FALSE(line.plain);
        EXPECT_EQ(line.level, static_cast<int>(i) + 1);
        EXPECT_EQ(line.message, "level " + std::to_string(line.level));
        EXPECT_TRUE(std::regex_match(line.string(), stamped)) << line.string();
        EXPECT_GE(line.timestamp, before);
        EXPECT_LE(line.timestamp, after);
        EXPECT_EQ(line.color, VyMMLoggerColorForLevel(line.level));
        if (line.color) distinctColours.insert({line.color->red, line.color->green, line.color->blue});
    }
    // Info draws in the default colour; debug, success, warn, error and fatal
    // each have a colour of their own.
    EXPECT_FALSE(lines[2].color.has_value());
    EXPECT_EQ(distinctColours.size(), 5u);
    EXPECT_FALSE(VyMMLoggerColorForLevel(42).has_value());
}

TEST(VyMMLogger, KeepsOrderFormatsArgumentsAndNeverTreatsMessagesAsFormats) {
    NotificationCenter center;
    VyMMLogger log(center);
    log.logWithLevel(VyMMLogLevelInfo, "Connecting to {} port {}", std::string("example.org"), 2222);
    log.logWithLevel(VyMMLogLevelError, "Remote said {} %s %@ {0}");
    log.logPlain("#Fields:     time x-comment\n");
    log.logWithLevel(VyMMLogLevelInfo, "Issue banner:\nline one\nline two");

    const auto lines = log.logsAttributeString();
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].index, i);
    EXPECT_EQ(lines[0].message, "Connecting to example.org port 2222");
    EXPECT_EQ(lines[1].message, "Remote said {} %s %@ {0}");
    EXPECT_EQ(lines[2].message, "#Fields:     time x-comment\n");
    EXPECT_EQ(lines[3].message, "Issue banner:\nline one\nline two");
    EXPECT_EQ(log.lineCount(), 4u);

    const std::string text = log.logsString();
    const std::regex whole(R"(\S+ Connecting to example\.org port 2222\n)"
                           R"(\S+ Remote said \{\} %s %@ \{0\}\n)"
                           R"(#Fields:     time x-comment\n\n)"
                           R"(\S+ Issue banner:\nline one\nline two\n)");
    EXPECT_TRUE(std::regex_match(text, whole)) << text;
}

TEST(VyMMLogger, EachLinePostsItselfWithTheLogIdentifier) {
    NotificationCenter center;
    Collector collector(center);
    VyMMLogger first(center);
    VyMMLogger second(center);
    EXPECT_FALSE(first.logId().empty());
    EXPECT_NE(first.logId(), second.logId());

    // An observer reading the log from its callback already sees the line.
    std::vector<std::size_t> countsSeen;
    auto reader = center.addObserver(VyMMLoggerNewLogNotifacation, [&](const Notification& n) {
        if (n.userInfo.value(VyMMLoggerLogIdKey, std::string()) == first.logId())
            countsSeen.push_back(first.logsAttributeString().size());
    });

    first.logPlain("#Version:    1.0");
    second.logWithLevel(VyMMLogLevelWarn, "other log");
    first.logWithLevel(VyMMLogLevelSuccess, "done");

    ASSERT_EQ(collector.lines.size(), 3u);
    EXPECT_EQ(collector.typedObjects, 3);
    EXPECT_EQ(collector.ids, (std::vector<std::string>{first.logId(), second.logId(), first.logId()}));
    EXPECT_EQ(collector.lines[0], first.logsAttributeString()[0]);
    EXPECT_EQ(collector.lines[1], second.logsAttributeString()[0]);
    EXPECT_EQ(collector.lines[2], first.logsAttributeString()[1]);
    EXPECT_EQ(collector.lines[2].index, 1u);
    EXPECT_EQ(countsSeen, (std::vector<std::size_t>{1, 2}));
}

TEST(VyMMLogger, PostsOnTheDefaultCentreUnlessGivenOne) {
    NotificationCenter privateCenter;
    Collector defaultCollector(NotificationCenter::defaultCenter());
    Collector privateCollector(privateCenter);
    VyMMLogger onDefault;
    VyMMLogger onPrivate(privateCenter);
    onDefault.logWithLevel(VyMMLogLevelDebug, "a");
    onPrivate.logWithLevel(VyMMLogLevelDebug, "b");
    ASSERT_EQ(defaultCollector.ids, std::vector<std::string>{onDefault.logId()});
    ASSERT_EQ(privateCollector.ids, std::vector<std::string>{onPrivate.logId()});
}

TEST(VyMMLogger, ConcurrentWritersLoseNothingWhileAReaderReads) {
    NotificationCenter center;
    Collector collector(center);
    VyMMLogger log(center);
    constexpr int writers = 4;
    constexpr int perWriter = 400;

    std::atomic<bool> done{false};
    std::atomic<bool> readerSawDisorder{false};
    std::thread reader([&] {
        while (!done.load()) {
            const auto snapshot = log.logsAttributeString();
            for (std::size_t i = 0; i < snapshot.size(); ++i)
                if (snapshot[i].index != i) readerSawDisorder = true;
            (void)log.logsString();
        }
    });
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < perWriter; ++i)
                log.logWithLevel(VyMMLogLevelDebug + (i % 6), "w{} n{}", w, i);
        });
    for (auto& t : threads)
        t.join();
    done = true;
    reader.join();
    EXPECT_FALSE(readerSawDisorder.load());

    const auto lines = log.logsAttributeString();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(writers * perWriter));
    std::vector<int> next(writers, 0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].index, i);
        int w = -1, n = -1;
        ASSERT_EQ(std::sscanf(lines[i].message.c_str(), "w%d n%d", &w, &n), 2) << lines[i].message;
        ASSERT_TRUE(w >= 0 && w < writers);
        EXPECT_EQ(n, next[w]) << "a writer's lines out of order";
        EXPECT_EQ(lines[i].level, VyMMLogLevelDebug + (n % 6));
        next[w] = n + 1;
    }

    // One notification per line, each with the line it announces.
    std::lock_guard lock(collector.mutex);
    ASSERT_EQ(collector.lines.size(), lines.size());
    std::vector<bool> seen(lines.size(), false);
    for (const auto& posted : collector.lines) {
        ASSERT_LT(posted.index, lines.size());
        EXPECT_FALSE(seen[posted.index]);
        seen[posted.index] = true;
        EXPECT_EQ(posted, lines[posted.index]);
    }
    EXPECT_TRUE(std::all_of(collector.ids.begin(), collector.ids.end(),
                            [&](const std::string& id) { return id == log.logId(); }));
}

} // namespace
