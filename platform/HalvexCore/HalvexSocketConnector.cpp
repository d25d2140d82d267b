#include "HalvexCore/HalvexSocketConnector.h"

#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexSession.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Failure {
    long code;
    std::string text;
};

std::string sockaddrText(const sockaddr* sa) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (sa->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, buf, sizeof buf);
    else if (sa->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, buf, sizeof buf);
    return buf;
}

bool isIPv4Literal(const std::string& host) {
    in_addr a;
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}
bool isIPv6Literal(const std::string& host) {
    in6_addr a;
    return inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

std::string base64(const std::string& in) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        unsigned v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += abc[v >> 18];
        out += abc[(v >> 12) & 63];
        out += abc[(v >> 6) & 63];
        out += abc[v & 63];
    }
    if (i + 1 == in.size()) {
        unsigned v = uint8_t(in[i]) << 16;
        out += abc[v >> 18];
        out += abc[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        unsigned v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += abc[v >> 18];
        out += abc[(v >> 12) & 63];
        out += abc[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string opensslErrors() {
    std::string text;
    while (unsigned long e = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(e, buf, sizeof buf);
        if (!text.empty()) text += "; ";
        text += buf;
    }
    return text;
}

// A byte stream to the proxy or server, plain or TLS, with waits bounded by
// the deadline and broken off by a cancel.
class Stream {
public:
    Stream(int fd, int wakeFd, const std::function<bool()>& cancelled,
           std::optional<Clock::time_point> deadline)
        : fd_(fd), wakeFd_(wakeFd), cancelled_(cancelled), deadline_(deadline) {}
    ~Stream() {
        if (ssl_) SSL_free(ssl_);
        if (ctx_) SSL_CTX_free(ctx_);
    }

    // Waits until fd is ready for `events`; false with a failure set otherwise.
    bool wait(short events, const char* what) {
        while (true) {
            if (cancelled_()) return fail(HalvexCoreErrorConnect, "Cancelled");
            int timeout = -1;
            if (deadline_) {
                auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - Clock::now()).count();
                if (left <= 0) return fail(HalvexCoreErrorConnect, std::string("Timed out ") + what);
                timeout = static_cast<int>(std::min<long long>(left, 1000));
            }
            pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
            int rc = ::poll(fds, 2, timeout);
            if (rc < 0 && errno != EINTR) return fail(HalvexCoreErrorConnect, std::strerror(errno));
            if (rc > 0 && fds[1].revents) {
                uint64_t v;
                [[maybe_unused]] ssize_t n = ::read(wakeFd_, &v, sizeof v);
            }
            if (rc > 0 && fds[0].revents) return true;
        }
    }

    bool startTLS(const std::string& serverName) {
        ctx_ = SSL_CTX_new(TLS_client_method());
        if (!ctx_) return fail(HalvexCoreErrorProxy, "Could not set up TLS: " + opensslErrors());
        SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
        if (SSL_CTX_set_default_verify_paths(ctx_) != 1)
            return fail(HalvexCoreErrorProxy, "Could not load the trusted certificates: " + opensslErrors());
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        ssl_ = SSL_new(ctx_);
        if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1)
            return fail(HalvexCoreErrorProxy, "Could not set up TLS: " + opensslErrors());
        if (isIPv4Literal(serverName) || isIPv6Literal(serverName)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl_, serverName.c_str());
            SSL_set1_host(ssl_, serverName.c_str());
        }
        while (true) {
            int rc = SSL_connect(ssl_);
            if (rc == 1) return true;
            int e = SSL_get_error(ssl_, rc);
            if (e == SSL_ERROR_WANT_READ) {
                if (!wait(POLLIN, "during the TLS handshake with the proxy")) return false;
            } else if (e == SSL_ERROR_WANT_WRITE) {
                if (!wait(POLLOUT, "during the TLS handshake with the proxy")) return false;
            } else {
                long verify = SSL_get_verify_result(ssl_);
                if (verify != X509_V_OK)
                    return fail(HalvexCoreErrorConfiguration,
                                std::string("The proxy's TLS certificate could not be verified: ") +
                                    X509_verify_cert_error_string(verify));
                return fail(HalvexCoreErrorProxy, "TLS handshake with the proxy failed: " + opensslErrors());
            }
        }
    }

    bool sendAll(const std::string& data) {
        size_t off = 0;
        while (off < data.size()) {
            if (ssl_) {
                int n = SSL_write(ssl_, data.data() + off, static_cast<int>(data.size() - off));
                if (n > 0) {
                    off += static_cast<size_t>(n);
                    continue;
                }
                int e = SSL_get_error(ssl_, n);
                if (e == SSL_ERROR_WANT_READ) {
                    if (!wait(POLLIN, "writing to the proxy")) return false;
                } else if (e == SSL_ERROR_WANT_WRITE) {
                    if (!wait(POLLOUT, "writing to the proxy")) return false;
                } else {
                    return fail(HalvexCoreErrorProxy, "Could not write to the proxy: " + opensslErrors());
                }
            } else {
                ssize_t n = ::send(fd_, data.data() + off, data.size() - off, MSG_NOSIGNAL);
                if (n > 0) {
                    off += static_cast<size_t>(n);
                } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                    if (!wait(POLLOUT, "writing to the proxy")) return false;
                } else {
                    return fail(HalvexCoreErrorProxy,
                                std::string("Could not write to the proxy: ") + std::strerror(errno));
                }
            }
        }
        return true;
    }

    // Reads up to max bytes (peek leaves them in the socket; plain only).
    bool recvSome(std::string& out, size_t max, bool peek = false) {
        char buf[4096];
        max = std::min(max, sizeof buf);
        while (true) {
            if (ssl_) {
                int n = SSL_read(ssl_, buf, static_cast<int>(max));
                if (n > 0) {
                    out.assign(buf, static_cast<size_t>(n));
                    return true;
                }
                int e = SSL_get_error(ssl_, n);
                if (e == SSL_ERROR_WANT_READ) {
                    if (!wait(POLLIN, "waiting for the proxy")) return false;
                } else if (e == SSL_ERROR_WANT_WRITE) {
                    if (!wait(POLLOUT, "waiting for the proxy")) return false;
                } else {
                    return fail(HalvexCoreErrorProxy, "The proxy closed the connection");
                }
            } else {
                ssize_t n = ::recv(fd_, buf, max, peek ? MSG_PEEK : 0);
                if (n > 0) {
                    out.assign(buf, static_cast<size_t>(n));
                    return true;
                }
                if (n == 0) return fail(HalvexCoreErrorProxy, "The proxy closed the connection");
                if (errno == EAGAIN || errno == EINTR) {
                    if (!wait(POLLIN, "waiting for the proxy")) return false;
                } else {
                    return fail(HalvexCoreErrorProxy,
                                std::string("Could not read from the proxy: ") + std::strerror(errno));
                }
            }
        }
    }

    // Exactly n bytes: nothing that follows the proxy's reply is consumed.
    bool recvExact(std::string& out, size_t n) {
        out.clear();
        while (out.size() < n) {
            std::string part;
            if (!recvSome(part, n - out.size())) return false;
            out += part;
        }
        return true;
    }

    // The HTTP reply head up to its empty line. Plain sockets peek first so no
    // byte after the head is taken; over TLS the rest goes to `leftover`.
    bool recvHTTPHead(std::string& head, std::string& leftover) {
        head.clear();
        while (true) {
            if (head.size() > 16384) return fail(HalvexCoreErrorProxy, "The proxy's reply is too long");
            std::string part;
            if (ssl_) {
                if (!recvSome(part, 4096)) return false;
                head += part;
                size_t end = head.find("\r\n\r\n");
                if (end != std::string::npos) {
                    leftover = head.substr(end + 4);
                    head.resize(end + 4);
                    return true;
                }
            } else {
                if (!recvSome(part, 4096, true)) return false;
                std::string joined = head + part;
                size_t end = joined.find("\r\n\r\n");
                size_t take = end == std::string::npos ? part.size() : end + 4 - head.size();
                std::string got;
                if (!recvExact(got, take)) return false;
                head += got;
                if (end != std::string::npos) return true;
            }
        }
    }

    SSL* releaseSSL() {
        SSL* s = ssl_;
        ssl_ = nullptr;
        return s;
    }
    bool isTLS() const { return ssl_ != nullptr; }
    bool fail(long code, std::string text) {
        if (!failure) failure = Failure{code, std::move(text)};
        return false;
    }
    std::optional<Failure> failure;

private:
    int fd_;
    int wakeFd_;
    const std::function<bool()>& cancelled_;
    std::optional<Clock::time_point> deadline_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
};

const char* socks5ReplyText(unsigned char code) {
    switch (code) {
    case 1:
        return "general SOCKS server failure";
    case 2:
        return "connection not allowed by ruleset";
    case 3:
        return "network unreachable";
    case 4:
        return "host unreachable";
    case 5:
        return "connection refused";
    case 6:
        return "TTL expired";
    case 7:
        return "command not supported";
    case 8:
        return "address type not supported";
    default:
        return "unknown failure";
    }
}

std::string hostPort(const std::string& host, uint16_t port) {
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
    return host + ":" + std::to_string(port);
}

} // namespace

HalvexSocketConnector::HalvexSocketConnector(int wakeFd, std::function<bool()> cancelled, Log log)
    : wakeFd_(wakeFd), cancelled_(std::move(cancelled)), log_(std::move(log)) {}

bool HalvexSocketConnector::connect(const HalvexConnectRequest& req, HalvexConnectResult& result,
                                    Error* error) {
    auto setError = [&](long code, const std::string& text) {
        if (error) *error = Error(HalvexCoreErrorDomain, code, text);
        return false;
    };
    if (!req.ipv4 && !req.ipv6)
        return setError(HalvexCoreErrorConfiguration, "Neither IPv4 nor IPv6 is enabled");
    if (req.host.empty()) return setError(HalvexCoreErrorConfiguration, "No host name is given");
    const bool viaProxy = req.proxyEnabled;
    if (viaProxy) {
        if (req.proxyType < HalvexProxyTypeSOCKS5 || req.proxyType > HalvexProxyTypeHTTPS)
            return setError(HalvexCoreErrorConfiguration,
                            "Unknown proxy type " + std::to_string(req.proxyType));
        if (req.proxyHost.empty()) return setError(HalvexCoreErrorConfiguration, "No proxy host is given");
        if (req.proxyType == HalvexProxyTypeSOCKS5 && req.proxyAuth &&
            (req.proxyUser.size() > 255 || req.proxyPassword.size() > 255))
            return setError(HalvexCoreErrorConfiguration, "The SOCKS5 user name or password is too long");
        if (req.proxyType == HalvexProxyTypeSOCKS5 && req.host.size() > 255)
            return setError(HalvexCoreErrorConfiguration, "The host name is too long for a SOCKS5 proxy");
    }
    const std::string connectHost = viaProxy ? req.proxyHost : req.host;
    const uint16_t connectPort = viaProxy ? req.proxyPort : req.port;

    // The interface: bind to the device, or when that is not allowed, to its address.
    unsigned ifIndex = 0;
    if (!req.interfaceName.empty()) {
        ifIndex = if_nametoindex(req.interfaceName.c_str());
        if (ifIndex == 0)
            return setError(HalvexCoreErrorConnect, "No network interface named “" + req.interfaceName + "”");
    }

    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = req.ipv4 && req.ipv6 ? AF_UNSPEC : req.ipv4 ? AF_INET : AF_INET6;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    int gai = getaddrinfo(connectHost.c_str(), std::to_string(connectPort).c_str(), &hints, &list);
    if (gai == EAI_ADDRFAMILY || gai == EAI_NONAME || gai == EAI_NODATA) {
        hints.ai_flags = 0; // loopback-only machines have no configured address of the family
        gai = getaddrinfo(connectHost.c_str(), std::to_string(connectPort).c_str(), &hints, &list);
    }
    if (gai != 0 || !list)
        return setError(HalvexCoreErrorConnect,
                        "Could not resolve hostname " + connectHost + ": " + gai_strerror(gai));
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(list, freeaddrinfo);

    std::string lastFailure = "no address";
    long lastCode = HalvexCoreErrorConnect;
    int fd = -1;
    std::string peer;
    for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        if (cancelled_()) return setError(HalvexCoreErrorConnect, "Cancelled");
        std::string addr = sockaddrText(ai->ai_addr);
        int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (s < 0) {
            lastFailure = std::strerror(errno);
            continue;
        }
        if (ifIndex) {
            if (setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, req.interfaceName.c_str(),
                           static_cast<socklen_t>(req.interfaceName.size())) != 0) {
                // Without the privilege, bind to the interface's address of this family.
                bool bound = false;
                ifaddrs* ifs = nullptr;
                if (getifaddrs(&ifs) == 0) {
                    for (ifaddrs* i = ifs; i && !bound; i = i->ifa_next) {
                        if (!i->ifa_addr || i->ifa_addr->sa_family != ai->ai_family ||
                            req.interfaceName != i->ifa_name)
                            continue;
                        socklen_t len = ai->ai_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
                        bound = ::bind(s, i->ifa_addr, len) == 0;
                    }
                    freeifaddrs(ifs);
                }
                if (!bound) {
                    ::close(s);
                    lastFailure = "could not bind to network interface “" + req.interfaceName + "”";
                    continue;
                }
            }
        }
        log_(1, "Connecting to " + addr + " port " + std::to_string(connectPort));
        int rc = ::connect(s, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno != EINPROGRESS) {
            lastFailure = std::strerror(errno);
            ::close(s);
            continue;
        }
        if (rc != 0) {
            Stream waiter(s, wakeFd_, cancelled_, req.deadline);
            if (!waiter.wait(POLLOUT, "connecting")) {
                ::close(s);
                lastFailure = waiter.failure->text;
                if (waiter.failure->text == "Cancelled" || req.deadline) {
                    if (cancelled_() || (req.deadline && Clock::now() >= *req.deadline)) {
                        return setError(HalvexCoreErrorConnect, "Connection to " + connectHost + " port " +
                                                                    std::to_string(connectPort) + ": " +
                                                                    lastFailure);
                    }
                }
                continue;
            }
            int soerr = 0;
            socklen_t len = sizeof soerr;
            getsockopt(s, SOL_SOCKET, SO_ERROR, &soerr, &len);
            if (soerr != 0) {
                lastFailure = std::strerror(soerr);
                ::close(s);
                continue;
            }
        }
        fd = s;
        peer = addr;
    }
    if (fd < 0)
        return setError(lastCode, "Connection to " + connectHost + " port " + std::to_string(connectPort) +
                                      " failed: " + lastFailure);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!viaProxy) {
        result.fd = result.tcpFd = fd;
        result.hostIP = peer;
        return true;
    }

    // The proxy's handshake.
    result.hostIP = isIPv4Literal(req.host) || isIPv6Literal(req.host) ? req.host : std::string();
    Stream stream(fd, wakeFd_, cancelled_, req.deadline);
    auto proxyFail = [&]() {
        ::close(fd);
        return setError(stream.failure ? stream.failure->code : HalvexCoreErrorProxy,
                        stream.failure ? stream.failure->text : "Proxy failure");
    };
    std::string reply;
    switch (req.proxyType) {
    case HalvexProxyTypeSOCKS5: {
        bool auth = req.proxyAuth;
        std::string hello = auth ? std::string("\x05\x02\x00\x02", 4) : std::string("\x05\x01\x00", 3);
        if (!stream.sendAll(hello) || !stream.recvExact(reply, 2)) return proxyFail();
        if (reply[0] != 5)
            return stream.fail(HalvexCoreErrorProxy, "The proxy does not speak SOCKS5"), proxyFail();
        if (uint8_t(reply[1]) == 0x02 && auth) {
            std::string sub = "\x01";
            sub += char(req.proxyUser.size());
            sub += req.proxyUser;
            sub += char(req.proxyPassword.size());
            sub += req.proxyPassword;
            if (!stream.sendAll(sub) || !stream.recvExact(reply, 2)) return proxyFail();
            if (reply[1] != 0)
                return stream.fail(HalvexCoreErrorConfiguration,
                                   "The SOCKS5 proxy refused the user name or password"),
                       proxyFail();
        } else if (uint8_t(reply[1]) != 0x00) {
            return stream.fail(auth ? HalvexCoreErrorProxy : HalvexCoreErrorConfiguration,
                               "The SOCKS5 proxy accepts none of the offered authentication methods"),
                   proxyFail();
        }
        std::string request("\x05\x01\x00", 3);
        in_addr a4;
        in6_addr a6;
        if (inet_pton(AF_INET, req.host.c_str(), &a4) == 1) {
            request += '\x01';
            request.append(reinterpret_cast<const char*>(&a4), 4);
        } else if (inet_pton(AF_INET6, req.host.c_str(), &a6) == 1) {
            request += '\x04';
            request.append(reinterpret_cast<const char*>(&a6), 16);
        } else {
            request += '\x03';
            request += char(req.host.size());
            request += req.host;
        }
        request += char(req.port >> 8);
        request += char(req.port & 0xff);
        if (!stream.sendAll(request) || !stream.recvExact(reply, 4)) return proxyFail();
        if (reply[0] != 5)
            return stream.fail(HalvexCoreErrorProxy, "The proxy does not speak SOCKS5"), proxyFail();
        if (reply[1] != 0)
            return stream.fail(HalvexCoreErrorProxy, std::string("The SOCKS5 proxy could not reach ") +
                                                         hostPort(req.host, req.port) + ": " +
                                                         socks5ReplyText(uint8_t(reply[1]))),
                   proxyFail();
        size_t rest = 0;
        std::string tail;
        if (reply[3] == 1)
            rest = 4 + 2;
        else if (reply[3] == 4)
            rest = 16 + 2;
        else if (reply[3] == 3) {
            if (!stream.recvExact(tail, 1)) return proxyFail();
            rest = uint8_t(tail[0]) + 2;
        } else {
            return stream.fail(HalvexCoreErrorProxy, "The SOCKS5 proxy sent a malformed reply"), proxyFail();
        }
        if (!stream.recvExact(tail, rest)) return proxyFail();
        break;
    }
    case HalvexProxyTypeSOCKS4:
    case HalvexProxyTypeSOCKS4A: {
        std::string request("\x04\x01", 2);
        request += char(req.port >> 8);
        request += char(req.port & 0xff);
        in_addr a4{};
        bool literal = inet_pton(AF_INET, req.host.c_str(), &a4) == 1;
        if (req.proxyType == HalvexProxyTypeSOCKS4 && !literal) {
            // SOCKS4 carries only an IPv4 address: resolve here.
            addrinfo h4{};
            h4.ai_family = AF_INET;
            h4.ai_socktype = SOCK_STREAM;
            addrinfo* r4 = nullptr;
            if (getaddrinfo(req.host.c_str(), nullptr, &h4, &r4) != 0 || !r4) {
                ::close(fd);
                return setError(HalvexCoreErrorConnect,
                                "Could not resolve an IPv4 address of " + req.host + " for the SOCKS4 proxy");
            }
            a4 = reinterpret_cast<sockaddr_in*>(r4->ai_addr)->sin_addr;
            result.hostIP = sockaddrText(r4->ai_addr);
            freeaddrinfo(r4);
            literal = true;
        }
        if (!literal && req.proxyType == HalvexProxyTypeSOCKS4) {
            ::close(fd);
            return setError(HalvexCoreErrorConfiguration, "SOCKS4 needs an IPv4 address");
        }
        if (literal) {
            request.append(reinterpret_cast<const char*>(&a4), 4);
        } else {
            request.append("\x00\x00\x00\x01", 4); // SOCKS4A: the proxy resolves the name
        }
        request += req.proxyAuth ? req.proxyUser : std::string();
        request += '\0';
        if (!literal) {
            request += req.host;
            request += '\0';
        }
        if (!stream.sendAll(request) || !stream.recvExact(reply, 8)) return proxyFail();
        if (reply[0] != 0 || uint8_t(reply[1]) != 90) {
            std::string why = uint8_t(reply[1]) == 92 || uint8_t(reply[1]) == 93
                                  ? "the proxy refused the user id"
                                  : "request rejected or failed";
            return stream.fail(uint8_t(reply[1]) == 93 ? HalvexCoreErrorConfiguration : HalvexCoreErrorProxy,
                               "The SOCKS4 proxy could not reach " + hostPort(req.host, req.port) + ": " +
                                   why),
                   proxyFail();
        }
        break;
    }
    case HalvexProxyTypeHTTP:
    case HalvexProxyTypeHTTPS: {
        if (req.proxyType == HalvexProxyTypeHTTPS && !stream.startTLS(req.proxyHost)) return proxyFail();
        std::string target = hostPort(req.host, req.port);
        std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
        if (req.proxyAuth)
            request +=
                "Proxy-Authorization: Basic " + base64(req.proxyUser + ":" + req.proxyPassword) + "\r\n";
        request += "\r\n";
        std::string head, leftover;
        if (!stream.sendAll(request) || !stream.recvHTTPHead(head, leftover)) return proxyFail();
        // "HTTP/1.x NNN reason"
        std::string statusLine = head.substr(0, head.find("\r\n"));
        int status = 0;
        if (statusLine.rfind("HTTP/", 0) == 0) {
            size_t sp = statusLine.find(' ');
            if (sp != std::string::npos) status = std::atoi(statusLine.c_str() + sp + 1);
        }
        if (status / 100 != 2) {
            if (status == 407)
                return stream.fail(HalvexCoreErrorConfiguration,
                                   req.proxyAuth ? "The HTTP proxy refused the user name or password"
                                                 : "The HTTP proxy requires authentication"),
                       proxyFail();
            return stream.fail(HalvexCoreErrorProxy,
                               "The HTTP proxy could not connect to " + target + ": " +
                                   (statusLine.empty() ? "malformed reply" : statusLine)),
                   proxyFail();
        }
        if (stream.isTLS()) {
            auto relay = HalvexTLSRelay::start(stream.releaseSSL(), fd, std::move(leftover));
            if (!relay) return setError(HalvexCoreErrorProxy, "Could not relay the TLS connection");
            result.fd = relay->sshFd();
            result.tcpFd = fd;
            result.relay = std::move(relay);
            return true;
        }
        break;
    }
    }
    result.fd = result.tcpFd = fd;
    return true;
}
