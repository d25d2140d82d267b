// Throughput of a direct channel through sshd on loopback, against OpenSSH's
// own `ssh -L` through the same sshd with the same cipher, in the same run.
// Both push the same bytes to the same local sink; the time runs from the
// first byte sent to the last byte the sink has read.

#include "HalvexCore/HalvexChannel.h"
#include "HalvexCore/HalvexSession.h"
#include "SessionRecorder.h"
#include "TestServers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <future>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kCipher = "aes128-gcm@openssh.com";
constexpr size_t kBytes = size_t(256) << 20;
constexpr size_t kChunk = size_t(1) << 20;
constexpr size_t kInFlight = size_t(16) << 20; // sent but not yet at the sink
constexpr int kRounds = 3;

// Reads and drops everything from every connection, counting the bytes.
class Sink {
public:
    Sink() {
        listenFd_ = peers::listenLoopback(port);
        pipe2(stop_, O_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }
    ~Sink() {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listenFd_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    uint64_t received() const { return received_.load(); }
    bool waitFor(uint64_t total, std::chrono::seconds limit) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, limit, [&] { return received_.load() >= total; });
    }
    uint16_t port = 0;

private:
    void run() {
        std::vector<int> conns;
        std::vector<char> buf(1 << 20);
        while (true) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
            for (int c : conns)
                fds.push_back({c, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
            if (fds[0].revents) break;
            if (fds[1].revents & POLLIN) {
                int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) conns.push_back(c);
            }
            for (size_t i = 0; i + 2 < fds.size(); ++i) {
                if (!fds[i + 2].revents) continue;
                ssize_t n = ::recv(conns[i], buf.data(), buf.size(), 0);
                if (n > 0) {
                    received_ += static_cast<uint64_t>(n);
                    std::lock_guard lock(m_);
                    cv_.notify_all();
                } else {
                    ::close(conns[i]);
                    conns[i] = -1;
                }
            }
            std::erase(conns, -1);
        }
        for (int c : conns)
            ::close(c);
    }
    int listenFd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<uint64_t> received_{0};
    std::mutex m_;
    std::condition_variable cv_;
};

class Delegate : public HalvexSessionDelegate, public HalvexChannelDelegate {
public:
    std::string keyPath;
    std::promise<bool> authenticated;
    std::promise<bool> opened;
    std::promise<void> ended;
    std::optional<Error> authenticateWithAllowedMethods(HalvexSession& s,
                                                        const std::vector<std::string>& methods,
                                                        bool partial) override {
        return SessionRecorder::keyFile(keyPath)(s, methods, partial);
    }
    void didAuthenticateUser(HalvexSession&, const std::string&) override { authenticated.set_value(true); }
    void didDisconnectWithError(HalvexSession&, const std::optional<Error>& e) override {
        if (e) std::fprintf(stderr, "session ended: %s\n", e->localizedDescription.c_str());
        ended.set_value();
    }
    void channelDidOpen(HalvexChannel&) override { opened.set_value(true); }
    void channelDidClose(HalvexChannel&, const std::optional<Error>& e) override {
        if (e) std::fprintf(stderr, "channel closed: %s\n", e->localizedDescription.c_str());
    }
};

double mibPerSecond(size_t bytes, Clock::duration d) {
    return double(bytes) / double(1 << 20) / std::chrono::duration<double>(d).count();
}

// Sends kBytes through `send`, never more than kInFlight ahead of the sink.
template <class Send>
std::optional<double> push(Sink& sink, Send send) {
    std::string chunk(kChunk, '\0');
    for (size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 131 + 7);
    uint64_t base = sink.received();
    auto start = Clock::now();
    for (size_t sent = 0; sent < kBytes; sent += kChunk) {
        while (sent - (sink.received() - base) > kInFlight)
            if (!sink.waitFor(base + sent - kInFlight, 30s)) return std::nullopt;
        if (!send(chunk)) return std::nullopt;
    }
    if (!sink.waitFor(base + kBytes, 60s)) return std::nullopt;
    return mibPerSecond(kBytes, Clock::now() - start);
}

std::optional<double> ours(peers::SSHD& sshd, Sink& sink) {
    auto delegate = std::make_shared<Delegate>();
    delegate->keyPath = sshd.dir.path + "/id_ed25519";
    auto session = HalvexSession::make(delegate);
    session->setCiphers(kCipher);
    session->connectToHost("127.0.0.1", sshd.port, "root", 10);
    auto auth = delegate->authenticated.get_future();
    if (auth.wait_for(20s) != std::future_status::ready) return std::nullopt;
    auto channel = session->openDirectChannel("127.0.0.1", sink.port, delegate);
    if (delegate->opened.get_future().wait_for(20s) != std::future_status::ready) return std::nullopt;
    auto result = push(sink, [&](const std::string& chunk) {
        channel->writeData(chunk);
        return true;
    });
    channel->close();
    session->disconnect();
    delegate->ended.get_future().wait_for(20s);
    return result;
}

std::optional<double> openssh(peers::SSHD& sshd, Sink& sink) {
    uint16_t local = peers::freePort();
    peers::OpenSSHClient ssh(sshd, kCipher,
                             {"-L", std::to_string(local) + ":127.0.0.1:" + std::to_string(sink.port)});
    int fd = ssh.connectWhenListening(local);
    if (fd < 0) return std::nullopt;
    auto result = push(sink, [&](const std::string& chunk) {
        size_t off = 0;
        while (off < chunk.size()) {
            ssize_t n = ::send(fd, chunk.data() + off, chunk.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return false;
            off += static_cast<size_t>(n);
        }
        return true;
    });
    ::close(fd);
    return result;
}

} // namespace

int main() {
    peers::SSHD sshd;
    if (!sshd.start()) {
        std::fprintf(stderr, "sshd did not start (run as root with openssh-server installed)\n");
        return 1;
    }
    Sink sink;
    std::vector<double> a, b;
    for (int round = 0; round < kRounds; ++round) {
        auto x = ours(sshd, sink);
        auto y = openssh(sshd, sink);
        if (!x || !y) {
            std::fprintf(stderr, "round %d failed (ours %s, ssh -L %s)\n", round, x ? "ok" : "failed",
                         y ? "ok" : "failed");
            return 1;
        }
        std::printf("round %d: HalvexSession direct channel %.1f MiB/s, ssh -L %.1f MiB/s\n", round + 1, *x,
                    *y);
        a.push_back(*x);
        b.push_back(*y);
    }
    double ma = peers::median(a), mb = peers::median(b);
    std::printf("direct channel through sshd, %s, %zu MiB per run, median of %d:\n", kCipher, kBytes >> 20,
                kRounds);
    std::printf("  HalvexSession direct channel: %.1f MiB/s\n", ma);
    std::printf("  OpenSSH ssh -L:               %.1f MiB/s\n", mb);
    std::printf("  ratio: %.2f (target >= 0.80)\n", ma / mb);
    return 0;
}
