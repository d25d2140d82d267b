#pragma once
// Servers on loopback for the forwarding tests and benchmarks: a blocking
// server with a thread per connection, an origin HTTP server that serves
// and takes back large bodies, and a server that answers only once its
// client has finished sending. Every thread is joined by the destructor.

#include "TestPeers.h"

#include <algorithm>
#include <dirent.h>
#include <memory>

namespace peers {

// Byte i of the test bodies. Its period is a little over 1 MiB and odd, so
// a shifted, repeated or dropped stretch does not compare equal.
inline constexpr uint64_t kPatternPeriod = (uint64_t(1) << 20) + 7;

inline char patternByte(uint64_t i) {
    auto x = static_cast<uint32_t>(i % kPatternPeriod);
    return static_cast<char>((x * 0x9E3779B1u) >> 24);
}

// n <= 1 MiB bytes of the pattern from offset, without copying.
inline std::string_view patternView(uint64_t offset, size_t n) {
    static const std::string twice = [] {
        std::string s(2 * kPatternPeriod, '\0');
        for (size_t i = 0; i < s.size(); ++i)
            s[i] = patternByte(i);
        return s;
    }();
    return std::string_view(twice).substr(static_cast<size_t>(offset % kPatternPeriod), n);
}

inline std::string pattern(uint64_t offset, size_t length) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = patternByte(offset + i);
    return s;
}

inline bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Everything until the peer's end, an error or the receive time-out.
inline std::string readToEnd(int fd) {
    std::string all;
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
        all.append(buf, static_cast<size_t>(n));
    return all;
}

inline void setReceiveTimeout(int fd, int seconds) {
    timeval tv{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

// A blocking connection to 127.0.0.1:port whose receives give up after
// `seconds`, or -1.
inline int connectLoopbackWithTimeout(uint16_t port, int seconds = 10) {
    int s = connectLoopback(port);
    if (s >= 0) setReceiveTimeout(s, seconds);
    return s;
}

// True when this host can listen on ::1.
inline bool hasIPv6Loopback() {
    int s = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

inline int descriptorCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

// Runs handler(fd) on a thread of its own for every connection to
// 127.0.0.1:port (and [::1]:port6 when asked for and possible). The
// destructor shuts the connections down and joins every thread.
class ThreadedServer {
public:
    using Handler = std::function<void(int fd)>;

    explicit ThreadedServer(Handler handler, bool alsoIPv6 = false) : handler_(std::move(handler)) {
        listeners_.push_back(listenLoopback(port));
        if (alsoIPv6 && hasIPv6Loopback()) {
            int s = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
            int one = 1;
            setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
            setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            a.sin6_port = htons(port);
            if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s, 64) == 0) {
                listeners_.push_back(s);
                port6 = port;
            } else {
                ::close(s);
            }
        }
        pipe2(stop_, O_CLOEXEC);
        thread_ = std::thread([this] { acceptLoop(); });
    }
    ~ThreadedServer() {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        {
            std::lock_guard lock(mutex_);
            for (auto& c : conns_)
                if (!c->closed) ::shutdown(c->fd, SHUT_RDWR);
        }
        for (auto& c : conns_)
            c->thread.join();
        for (int s : listeners_)
            ::close(s);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    ThreadedServer(const ThreadedServer&) = delete;
    ThreadedServer& operator=(const ThreadedServer&) = delete;

    // Connections whose handler has not finished.
    size_t openConnections() {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(
            std::count_if(conns_.begin(), conns_.end(), [](const auto& c) { return !c->closed; }));
    }

    uint16_t port = 0;
    uint16_t port6 = 0; // 0 without IPv6

private:
    struct Conn {
        int fd = -1;
        bool closed = false; // guarded by mutex_
        std::thread thread;
    };
    void acceptLoop() {
        while (true) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}};
            for (int s : listeners_)
                fds.push_back({s, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN)) continue;
                int c = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) continue;
                auto conn = std::make_shared<Conn>();
                conn->fd = c;
                std::lock_guard lock(mutex_);
                conns_.push_back(conn);
                conn->thread = std::thread([this, conn] {
                    handler_(conn->fd);
                    std::lock_guard lock(mutex_);
                    conn->closed = true;
                    ::close(conn->fd);
                });
            }
        }
    }

    Handler handler_;
    std::vector<int> listeners_;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Conn>> conns_;
};

// Sends `total` bytes of the pattern to each connection as fast as it is
// taken, counting what went out.
class PatternSource {
public:
    explicit PatternSource(size_t total)
        : server_([this, total](int fd) {
              for (size_t off = 0; off < total;) {
                  size_t n = std::min<size_t>(total - off, 1 << 20);
                  if (!sendAll(fd, patternView(off, n))) return;
                  off += n;
                  sent = off;
              }
          }),
          port(server_.port) {}

    std::atomic<size_t> sent{0};

private:
    ThreadedServer server_;

public:
    const uint16_t port;
};

// Waits (20 s at most) until a count has stopped growing for half a second
// and returns it; 0 when it never started or never stopped.
inline size_t waitUntilStalled(const std::atomic<size_t>& count) {
    size_t last = 0;
    for (int i = 0, still = 0; i < 200; ++i) {
        std::this_thread::sleep_for(100ms);
        size_t now = count.load();
        still = now == last && now > 0 ? still + 1 : 0;
        last = now;
        if (still == 5) return now;
    }
    return 0;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// An HTTP/1.1 origin server. GET /bytes/N answers N bytes of the pattern;
// any request with a body (Content-Length; "Expect: 100-continue" is
// honoured) answers that body back, except that a body sent to /sink is
// counted and dropped and the answer is its length. Every answer closes the
// connection. The request heads (and the bodies answered back) are kept for
// the tests to look at.
class HTTPOrigin {
public:
    explicit HTTPOrigin(bool alsoIPv6 = false)
        : server_([this](int fd) { serve(fd); }, alsoIPv6), port(server_.port), port6(server_.port6) {}

    std::vector<std::string> heads() {
        std::lock_guard lock(mutex_);
        return heads_;
    }
    std::vector<std::string> bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }

private:
    ThreadedServer server_;

public:
    const uint16_t port;
    const uint16_t port6;

private:
    void serve(int fd) {
        setReceiveTimeout(fd, 30);
        std::string in;
        char buf[65536];
        size_t end;
        while ((end = in.find("\r\n\r\n")) == std::string::npos) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            in.append(buf, static_cast<size_t>(n));
        }
        std::string head = in.substr(0, end + 4);
        std::string body = in.substr(end + 4);
        std::string lower = head;
        for (auto& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t length = 0;
        if (size_t at = lower.find("\r\ncontent-length:"); at != std::string::npos)
            length = std::stoul(head.substr(at + 17));
        if (length && lower.find("\r\nexpect: 100-continue") != std::string::npos)
            sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
        if (head.find(" /sink") != std::string::npos || head.find("/sink ") != std::string::npos) {
            size_t got = body.size();
            while (got < length) {
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) return;
                got += static_cast<size_t>(n);
            }
            std::string count = std::to_string(got);
            sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(count.size()) +
                            "\r\nConnection: close\r\n\r\n" + count);
            return;
        }
        while (body.size() < length) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            body.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            heads_.push_back(head);
            bodies_.push_back(body);
        }
        std::string target = head.substr(head.find(' ') + 1);
        target = target.substr(0, target.find(' '));
        if (size_t at = target.find("/bytes/"); !length && at != std::string::npos) {
            uint64_t size = std::stoull(target.substr(at + 7));
            if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                                 "\r\nConnection: close\r\n\r\n"))
                return;
            for (uint64_t off = 0; off < size;) {
                size_t n = static_cast<size_t>(std::min<uint64_t>(size - off, 1 << 20));
                if (!sendAll(fd, patternView(off, n))) return;
                off += n;
            }
            return;
        }
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body);
    }
    std::mutex mutex_;
    std::vector<std::string> heads_, bodies_;
};

// Reads until its client has finished sending, then answers with what it
// read and closes: an answer that comes only after a half-close.
class ReplyAfterEndServer {
public:
    ReplyAfterEndServer()
        : server_([](int fd) {
              setReceiveTimeout(fd, 30);
              std::string all = readToEnd(fd);
              sendAll(fd, all);
          }),
          port(server_.port) {}
    size_t openConnections() { return server_.openConnections(); }

private:
    ThreadedServer server_;

public:
    const uint16_t port;
};

// OpenSSH's own client logged in to a test sshd as root with its key, with
// the forwarding options given (such as "-L" with "port:host:hostport", or
// "-D" with a port): the reference the benchmarks measure against. It never
// outlives this process, and the destructor stops it.
class OpenSSHClient {
public:
    OpenSSHClient(SSHD& sshd, const std::string& cipher, const std::vector<std::string>& forwarding) {
        std::vector<std::string> extra = {"-N", "-T", "-o", "ExitOnForwardFailure=yes"};
        extra.insert(extra.end(), forwarding.begin(), forwarding.end());
        extra.push_back("root@127.0.0.1");
        pid_ = startOpenSSH(sshd, cipher, extra);
    }
    ~OpenSSHClient() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    OpenSSHClient(const OpenSSHClient&) = delete;
    OpenSSHClient& operator=(const OpenSSHClient&) = delete;

    // Waits (10 s at most) until the forwarding's local port takes
    // connections; a connection that does is returned (-1 when none did).
    int connectWhenListening(uint16_t port) {
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return -1;
            }
            int fd = connectLoopback(port);
            if (fd >= 0) return fd;
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

} // namespace peers
