#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

// Recorded sessions (a coloured prompt and listing, a full-screen editor
// entering, redrawing and leaving, a pager, a progress bar redrawn with CR,
// wide and combining text, a program using mouse and bracketed-paste modes,
// size and device queries, ...) replayed by rellum-replay: each must give its
// reviewed page (and replies), and the replay must find every text storage
// equal to its grid.

namespace {

const std::string kData = std::string(ORVIK_SOURCE_DIR).append("/Rellum/tests/data/sessions/");
const std::string kTool = std::string(ORVIK_BINARY_DIR).append("/tools/rellum-replay/rellum-replay");

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::pair<std::string, int> run(const std::string& arguments) {
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

struct Session {
    std::string name, columns, rows;
    bool replies = false;
};

// sessions.list: one session a line: name, columns, rows, then "replies"
// when the golden page ends with the replies to the host.
std::vector<Session> sessions() {
    std::vector<Session> out;
    std::istringstream list(readFile(kData + "sessions.list"));
    std::string line;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        Session s;
        std::string flag;
        if (!(fields >> s.name >> s.columns >> s.rows)) continue;
        while (fields >> flag)
            s.replies = s.replies || flag == "replies";
        out.push_back(s);
    }
    return out;
}

} // namespace

TEST(RellumSessionReplay, RecordedSessionsGiveTheirReviewedPages) {
    const std::vector<Session> all = sessions();
    ASSERT_GE(all.size(), 20u);
    for (const Session& s : all) {
        SCOPED_TRACE(s.name);
        std::string arguments = "--cols " + s.columns + " --rows " + s.rows;
        if (s.replies) arguments += " --replies";
        const auto [out, status] = run(arguments + " " + kData + s.name + ".bytes");
        EXPECT_EQ(status, 0) << "a text storage differs from its grid";
        EXPECT_EQ(out, readFile(kData + s.name + ".page"));
    }
}

TEST(RellumSessionReplay, SessionsSplitAnywhereGiveTheSamePage) {
    // The editor session cut into two files at every 37th byte: sequences
    // split across chunks must not change the result.
    const std::string bytes = readFile(kData + "editor-leave.bytes");
    const std::string golden = readFile(kData + "editor-leave.page");
    const std::string dir = std::string(ORVIK_BINARY_DIR).append("/session-split-");
    for (std::size_t cut = 1; cut < bytes.size(); cut += 37) {
        const std::string a = dir + "a.bytes", b = dir + "b.bytes";
        std::ofstream(a, std::ios::binary) << bytes.substr(0, cut);
        std::ofstream(b, std::ios::binary) << bytes.substr(cut);
        const auto [out, status] = run("--cols 40 --rows 8 " + a + " " + b);
        EXPECT_EQ(status, 0) << cut;
        EXPECT_EQ(out, golden) << "cut at " << cut;
        std::remove(a.c_str());
        std::remove(b.c_str());
    }
}
