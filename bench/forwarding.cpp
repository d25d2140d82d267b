// Port forwardings through sshd on loopback against OpenSSH's own client on
// the same sshd with the same cipher, in the same run, with curl as the
// client of both and an origin HTTP server in this program: a local
// forwarding against `ssh -L` (a large body down, and one up), and the
// dynamic endpoint with curl --socks5-hostname against `ssh -D`. The
// figures are curl's own (bytes over its total time); each is the median of
// several rounds, each measurement of ours paired with OpenSSH's right
// before or after it.

#include "Halvex/HalvexPortForwarding.h"
#include "SessionRecorder.h"
#include "TestServers.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

using namespace std::chrono_literals;

namespace {

constexpr const char* kCipher = "aes128-gcm@openssh.com";
constexpr uint64_t kBytes = uint64_t(256) << 20;
constexpr int kRounds = 9;

// curl's throughput in MiB/s for one transfer of kBytes, or nullopt.
std::optional<double> curlMiBps(std::vector<std::string> args) {
    args.insert(args.begin(), {"curl", "-sS", "--fail", "--max-time", "300", "-o", "/dev/null", "-w",
                               "%{size_download} %{size_upload} %{time_total}"});
    std::string out;
    if (peers::runProgram(args, {}, &out) != 0) return std::nullopt;
    std::istringstream in(out);
    double down = 0, up = 0, seconds = 0;
    in >> down >> up >> seconds;
    double bytes = std::max(down, up);
    if (bytes < double(kBytes) || seconds <= 0) return std::nullopt;
    return bytes / double(1 << 20) / seconds;
}

struct Ways {
    std::vector<std::string> localDown, localUp, dynamic;
};

// The curl arguments for each measurement through a local port and a SOCKS port.
Ways ways(uint16_t localPort, uint16_t socksPort, uint16_t originPort, const std::string& upload) {
    std::string bytes = "/bytes/" + std::to_string(kBytes);
    return {
        {"http://127.0.0.1:" + std::to_string(localPort) + bytes},
        {"-T", upload, "http://127.0.0.1:" + std::to_string(localPort) + "/sink"},
        {"--socks5-hostname", "127.0.0.1:" + std::to_string(socksPort),
         "http://localhost:" + std::to_string(originPort) + bytes},
    };
}

// One login of ours with both forwardings. It and OpenSSH's client (with
// both) are alive together for a round, so that each measurement of ours is
// paired with OpenSSH's right after it, under the same load.
class Ours {
public:
    Ours(peers::SSHD& sshd, uint16_t originPort) {
        login_->chooser = SessionRecorder::keyFile(sshd.dir.path + "/id_ed25519");
        session_ = HalvexSession::make(login_);
        session_->setCiphers(kCipher);
        session_->connectToHost("127.0.0.1", sshd.port, "root", 10);
        if (!login_->waitAuthenticated(20s)) return;
        local_->setType(0);
        local_->port = peers::freePort();
        local_->host = "127.0.0.1";
        local_->hostport = originPort;
        dynamic_->setType(2);
        dynamic_->port = peers::freePort();
        ok_ = !local_->establishWithSession(session_) && !dynamic_->establishWithSession(session_);
    }
    ~Ours() {
        local_->destroy();
        dynamic_->destroy();
        session_->disconnect();
        login_->waitDisconnect(20s);
    }
    bool ok() const { return ok_; }
    uint16_t localPort() const { return static_cast<uint16_t>(*local_->port); }
    uint16_t socksPort() const { return static_cast<uint16_t>(*dynamic_->port); }

private:
    std::shared_ptr<SessionRecorder> login_ = std::make_shared<SessionRecorder>();
    std::shared_ptr<HalvexSession> session_;
    std::shared_ptr<HalvexPortForwarding> local_ = HalvexPortForwarding::make();
    std::shared_ptr<HalvexPortForwarding> dynamic_ = HalvexPortForwarding::make();
    bool ok_ = false;
};

} // namespace

int main() {
    peers::SSHD sshd;
    if (!sshd.start()) {
        std::fprintf(stderr, "sshd did not start (run as root with openssh-server installed)\n");
        return 1;
    }
    peers::HTTPOrigin origin;
    peers::TempDir scratch;
    std::string upload = scratch.path + "/upload";
    {
        std::string body;
        body.reserve(kBytes);
        for (uint64_t off = 0; off < kBytes; off += 1 << 20)
            body += peers::patternView(off, 1 << 20);
        peers::writeFile(upload, body);
    }
    const char* names[] = {"local forwarding, body down (ssh -L)", "local forwarding, body up (ssh -L)",
                           "dynamic, curl --socks5-hostname (ssh -D)"};
    std::vector<double> mine[3], theirs[3];
    for (int round = 0; round < kRounds; ++round) {
        Ours ours(sshd, origin.port);
        uint16_t localPort = peers::freePort(), socksPort = peers::freePort();
        peers::OpenSSHClient ssh(sshd, kCipher,
                                 {"-L",
                                  std::to_string(localPort) + ":127.0.0.1:" + std::to_string(origin.port),
                                  "-D", std::to_string(socksPort)});
        int probe = ssh.connectWhenListening(localPort);
        if (!ours.ok() || probe < 0) {
            std::fprintf(stderr, "round %d: the forwardings did not start (ours %s, OpenSSH %s)\n", round + 1,
                         ours.ok() ? "ok" : "failed", probe >= 0 ? "ok" : "failed");
            return 1;
        }
        ::close(probe);
        Ways a = ways(ours.localPort(), ours.socksPort(), origin.port, upload);
        Ways b = ways(localPort, socksPort, origin.port, upload);
        const std::vector<std::string>* x[] = {&a.localDown, &a.localUp, &a.dynamic};
        const std::vector<std::string>* y[] = {&b.localDown, &b.localUp, &b.dynamic};
        for (int i = 0; i < 3; ++i) {
            // Who goes first changes every round, so that a drift in the load
            // favours neither.
            std::optional<double> m, t;
            if (round % 2) {
                t = curlMiBps(*y[i]);
                m = curlMiBps(*x[i]);
            } else {
                m = curlMiBps(*x[i]);
                t = curlMiBps(*y[i]);
            }
            if (!m || !t) {
                std::fprintf(stderr, "round %d, %s failed (ours %s, OpenSSH %s)\n", round + 1, names[i],
                             m ? "ok" : "failed", t ? "ok" : "failed");
                return 1;
            }
            std::printf("round %d, %s: HalvexPortForwarding %.1f MiB/s, OpenSSH %.1f MiB/s\n", round + 1,
                        names[i], *m, *t);
            mine[i].push_back(*m);
            theirs[i].push_back(*t);
        }
    }
    std::printf(
        "port forwarding through sshd, %s, %llu MiB per transfer, curl as the client, median of %d:\n",
        kCipher, static_cast<unsigned long long>(kBytes >> 20), kRounds);
    for (int i = 0; i < 3; ++i) {
        double m = peers::median(mine[i]), t = peers::median(theirs[i]);
        std::printf(
            "  %s: HalvexPortForwarding %.1f MiB/s, OpenSSH %.1f MiB/s, ratio %.2f (target >= 0.80)\n",
            names[i], m, t, m / t);
    }
    return 0;
}
