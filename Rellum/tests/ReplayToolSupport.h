#pragma once

// Runs the replay tool for the golden-file tests: its standard output and exit
// status. The tool is started directly, never through a shell.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace replay_test {

inline const std::string kReplayTool =
    std::string(ORVIK_BINARY_DIR).append("/tools/rellum-replay/rellum-replay");

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// `arguments` are separated by single spaces (the test data's paths have none).
inline std::pair<std::string, int> runReplayTool(const std::string& arguments) {
    std::vector<std::string> words;
    std::istringstream split(arguments);
    for (std::string word; split >> word;)
        words.push_back(word);
    std::vector<char*> argv{const_cast<char*>(kReplayTool.c_str())};
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) return {"", -1};
    const pid_t pid = fork();
    if (pid < 0) return {"", -1};
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (FILE* null = std::fopen("/dev/null", "w")) dup2(fileno(null), STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace replay_test
