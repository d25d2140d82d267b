#include <gtest/gtest.h>

#include "ReplayToolSupport.h"

#include <string>

namespace {

const std::string kData = std::string(ORVIK_SOURCE_DIR).append("/Rellum/tests/data/replay/");

using replay_test::readFile;

std::pair<std::string, int> replay(const std::string& arguments) {
    return replay_test::runReplayTool(arguments);
}

std::string data(const std::string& name) {
    return std::string(kData).append(name);
}

} // namespace

TEST(RellumReplay, RecordingsGiveTheirGoldenPages) {
    struct Case {
        std::string arguments, golden;
    };
    const Case cases[] = {
        {"--cols 20 --rows 5 " + data("scroll.bytes"), "scroll.page"},
        {"--cols 20 --rows 5 " + data("wrap.bytes"), "wrap.page"},
        {"--cols 20 --rows 5 " + data("unicode.bytes"), "unicode.page"},
        {"--cols 20 --rows 5 " + data("split-1.bytes") + " " + data("split-2.bytes"), "split.page"},
        {"--debug --cols 20 --rows 5 " + data("unicode.bytes"), "unicode.debug"},
        {"--replies --cols 20 --rows 5 " + data("wrap.bytes"), "wrap.replies"},
    };
    for (const Case& c : cases) {
        const auto [out, status] = replay(c.arguments);
        EXPECT_EQ(status, 0) << c.arguments;
        EXPECT_EQ(out, readFile(data(c.golden))) << c.arguments;
    }
}

TEST(RellumReplay, TheDefaultPageIs80By24AndBadArgumentsAreRefused) {
    const auto [out, status] = replay(data("wrap.bytes"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "abcdefghijklmnopqrstuvwxyz0123456789\nnext" + std::string(23, '\n') + "cursor: 4 1\n");
    EXPECT_EQ(replay("--cols 0 " + data("wrap.bytes")).second, 64);
    EXPECT_EQ(replay("--rows").second, 64);
    EXPECT_EQ(replay("").second, 64);
    EXPECT_EQ(replay(data("no-such-file.bytes")).second, 66);
}
