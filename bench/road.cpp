// The whole road of a host byte: sshd on loopback runs `cat` of a 64 MiB
// file of text lines in a shell channel of the project's SSH session, whose
// output feeds a terminal driven as the application drives it (real clock,
// a main queue applying every update, 80x24, 65535 lines of scrollback).
// Timed from the connection to the last update applied, against OpenSSH's
// `ssh -tt` with the same cipher writing the same file to /dev/null, timed
// from its start to its exit, in the same run. Needs root (sshd).
//
//   bench_road [--megabytes N] [--rounds N]

#include "HalvexCore/HalvexPrivateKeyParser.h"
#include "HalvexCore/HalvexSession.h"
#include "HalvexCore/HalvexShellChannel.h"
#include "TerminalRigs.h"
#include "TestPeers.h"

#include <algorithm>
#include <cstdio>
#include <future>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kCipher = "aes128-gcm@openssh.com";

// The application's part: the shell's output goes to the terminal.
class Shell : public HalvexSessionDelegate, public HalvexShellChannelDelegate {
public:
    explicit Shell(std::shared_ptr<RellumTerminal> terminal) : terminal_(std::move(terminal)) {}
    std::string keyPath;
    std::promise<void> opened, closed, ended;
    std::atomic<uint64_t> bytes{0};

    std::optional<Error> authenticateWithAllowedMethods(HalvexSession& s, const std::vector<std::string>&,
                                                        bool) override {
        Error e;
        auto parser = HalvexPrivateKeyParser::parserFromFilePath(keyPath, {}, &e);
        if (!parser) return e;
        s.authenticateByPrivateKeyParser(parser);
        return std::nullopt;
    }
    void didDisconnectWithError(HalvexSession&, const std::optional<Error>&) override { ended.set_value(); }
    void didReadStdoutData(HalvexChannel&, std::string_view data) override {
        bytes += data.size();
        terminal_->renderData(std::string(data));
    }
    void channelDidOpen(HalvexChannel&) override { opened.set_value(); }
    void channelDidClose(HalvexChannel&, const std::optional<Error>& e) override {
        if (e) std::fprintf(stderr, "channel closed: %s\n", e->localizedDescription.c_str());
        closed.set_value();
    }
    void didChangePtySize(HalvexShellChannel&, long, long, const std::optional<Error>&) override {}

private:
    std::shared_ptr<RellumTerminal> terminal_;
};

// Seconds from the connection to the last update applied, and the bytes the
// terminal got.
std::optional<std::pair<double, uint64_t>> ours(peers::SSHD& sshd, const std::string& file) {
    bench::TerminalRig rig(80, 24, 65535, false);
    auto shell = std::make_shared<Shell>(rig.terminal);
    shell->keyPath = sshd.dir.path + "/id_ed25519";
    std::optional<std::pair<double, uint64_t>> result;
    rig.runFeeder([&] {
        const auto start = Clock::now();
        auto session = HalvexSession::make(shell);
        session->setCiphers(kCipher);
        session->connectToHost("127.0.0.1", sshd.port, "root", 10);
        auto channel = session->openShellChannel("xterm-256color", 80, 24, shell);
        if (shell->opened.get_future().wait_for(20s) != std::future_status::ready) return;
        channel->writeData("exec cat " + file + "\n");
        if (shell->closed.get_future().wait_for(600s) != std::future_status::ready) return;
        rig.waitUntilShown();
        result =
            std::make_pair(std::chrono::duration<double>(Clock::now() - start).count(), shell->bytes.load());
        session->disconnect();
        shell->ended.get_future().wait_for(20s);
    });
    return result;
}

std::optional<double> openssh(peers::SSHD& sshd, const std::string& file) {
    const auto start = Clock::now();
    const pid_t pid = peers::startOpenSSH(sshd, kCipher, {"-tt", "root@127.0.0.1", "cat " + file});
    if (pid < 0) return std::nullopt;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 64;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--megabytes" && i + 1 < argc)
            megabytes = std::size_t(std::max(1, std::atoi(argv[++i])));
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
    }
    peers::SSHD sshd;
    if (!sshd.start()) {
        std::fprintf(stderr, "sshd did not start (run as root with openssh-server installed)\n");
        return 1;
    }
    const std::string file = sshd.dir.path + "/payload.txt";
    peers::writeFile(file, bench::textLines(megabytes << 20, 11, "\n"), 0644);
    std::vector<double> a, b;
    for (int round = 0; round < rounds; ++round) {
        const auto x = ours(sshd, file);
        const auto y = openssh(sshd, file);
        if (!x || !y) {
            std::fprintf(stderr, "round %d failed (terminal %s, ssh %s)\n", round + 1, x ? "ok" : "failed",
                         y ? "ok" : "failed");
            return 1;
        }
        std::printf("round %d: shell channel into a terminal %.2f s (%.1f MiB shown), ssh -tt to /dev/null "
                    "%.2f s\n",
                    round + 1, x->first, double(x->second) / 1048576.0, *y);
        std::fflush(stdout);
        a.push_back(x->first);
        b.push_back(*y);
    }
    const double ma = median(a), mb = median(b);
    std::printf("cat of %zu MiB through sshd, %s, median of %d:\n", megabytes, kCipher, rounds);
    std::printf("  shell channel into a terminal, to the last update applied: %.2f s\n", ma);
    std::printf("  OpenSSH ssh -tt, to /dev/null:                            %.2f s\n", mb);
    std::printf("  ratio (time, terminal / ssh): %.2f\n", ma / mb);
    return 0;
}
