#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

const std::string kData = std::string(ORVIK_SOURCE_DIR).append("/Rellum/tests/data/replay/");
const std::string kTool = std::string(ORVIK_BINARY_DIR).append("/tools/rellum-replay/rellum-replay");

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the replay tool on recordings of the data folder; its output and exit status.
std::pair<std::string, int> replay(const std::string& arguments) {
    const std::string command = std::string(kTool).append(" ").append(arguments).append(" 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {"", -1};
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
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
