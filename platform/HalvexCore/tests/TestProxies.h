#pragma once
// Small SOCKS4/4A, SOCKS5 and HTTP(S) CONNECT proxies for the transport's
// tests. They reach only 127.0.0.1 ("localhost" included) and serve one
// connection at a time; the destructor stops the thread.

#include "TestPeers.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace peers {

// A self-signed certificate for 127.0.0.1, written as PEM files.
struct TestCertificate {
    explicit TestCertificate(const std::string& dir, const std::string& name) {
        certPath = dir + "/" + name + ".crt";
        keyPath = dir + "/" + name + ".key";
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert),
                         static_cast<long>(std::hash<std::string>{}(name)&0x7fffffff));
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
        X509_set_pubkey(cert, key);
        X509_NAME* subject = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert, subject);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                                  std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        X509_sign(cert, key, EVP_sha256());
        FILE* f = fopen(certPath.c_str(), "w");
        PEM_write_X509(f, cert);
        fclose(f);
        f = fopen(keyPath.c_str(), "w");
        PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
        fclose(f);
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    std::string certPath, keyPath;
};

class TestProxy {
public:
    enum class Kind { SOCKS4, SOCKS5, HTTP, HTTPS };

    TestProxy(Kind kind, std::string user = {}, std::string password = {}, bool oneSegment = false,
              const TestCertificate* certificate = nullptr)
        : kind_(kind), user_(std::move(user)), password_(std::move(password)), oneSegment_(oneSegment) {
        if (kind == Kind::HTTPS && certificate) {
            ctx_ = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate_file(ctx_, certificate->certPath.c_str(), SSL_FILETYPE_PEM);
            SSL_CTX_use_PrivateKey_file(ctx_, certificate->keyPath.c_str(), SSL_FILETYPE_PEM);
        }
        listenFd_ = listenLoopback(port);
        pipe2(stop_, O_CLOEXEC);
        thread_ = std::thread([this] { run(); });
    }
    ~TestProxy() {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
        ::close(listenFd_);
        ::close(stop_[0]);
        ::close(stop_[1]);
        if (ctx_) SSL_CTX_free(ctx_);
    }

    struct Seen {
        int connections = 0;
        std::string version; // "4", "4a", "5", "http"
        std::string host;
        uint16_t port = 0;
        std::string user, password, authorization;
        bool authenticated = false;
    };
    Seen seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    uint16_t port = 0;

private:
    // Reads exactly n bytes from the client (plain or TLS); false on EOF/time-out.
    bool readExact(int fd, SSL* ssl, std::string& out, size_t n) {
        out.clear();
        char buf[512];
        while (out.size() < n) {
            size_t want = std::min(sizeof buf, n - out.size());
            ssize_t got = ssl ? SSL_read(ssl, buf, static_cast<int>(want)) : ::recv(fd, buf, want, 0);
            if (got <= 0) return false;
            out.append(buf, static_cast<size_t>(got));
        }
        return true;
    }
    bool readUntilNul(int fd, std::string& out) {
        out.clear();
        char c;
        while (out.size() < 512) {
            if (::recv(fd, &c, 1, 0) != 1) return false;
            if (c == 0) return true;
            out += c;
        }
        return false;
    }
    bool sendAll(int fd, SSL* ssl, const std::string& data) {
        size_t off = 0;
        while (off < data.size()) {
            ssize_t n = ssl ? SSL_write(ssl, data.data() + off, static_cast<int>(data.size() - off))
                            : ::send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
            if (n <= 0) return false;
            off += static_cast<size_t>(n);
        }
        return true;
    }
    static std::optional<uint16_t> loopbackTarget(const std::string& host, uint16_t port) {
        if (host == "127.0.0.1" || host == "localhost") return port;
        return std::nullopt;
    }

    void run() {
        while (true) {
            pollfd fds[2] = {{stop_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
            if (::poll(fds, 2, 1000) < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            if (!(fds[1].revents & POLLIN)) continue;
            int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            timeval tv{5, 0};
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            {
                std::lock_guard lock(mutex_);
                ++seen_.connections;
            }
            SSL* ssl = nullptr;
            if (kind_ == Kind::HTTPS) {
                ssl = SSL_new(ctx_);
                SSL_set_fd(ssl, c);
                if (SSL_accept(ssl) != 1) {
                    SSL_free(ssl);
                    ::close(c);
                    continue;
                }
            }
            int target = handshake(c, ssl);
            if (target >= 0) {
                relay(c, ssl, target);
                ::close(target);
            }
            if (ssl) {
                SSL_shutdown(ssl);
                SSL_free(ssl);
            }
            ::close(c);
        }
    }

    // Answers the client's request; returns the connected target or -1.
    int handshake(int c, SSL* ssl) {
        std::string b;
        std::optional<uint16_t> targetPort;
        std::string okReply;
        switch (kind_) {
        case Kind::SOCKS4: {
            if (!readExact(c, nullptr, b, 8) || b[0] != 4 || b[1] != 1) return -1;
            uint16_t port = static_cast<uint16_t>((uint8_t(b[2]) << 8) | uint8_t(b[3]));
            std::string ip = b.substr(4, 4), userId, host;
            if (!readUntilNul(c, userId)) return -1;
            bool is4a = ip[0] == 0 && ip[1] == 0 && ip[2] == 0 && ip[3] != 0;
            if (is4a && !readUntilNul(c, host)) return -1;
            if (!is4a) {
                char text[INET_ADDRSTRLEN];
                inet_ntop(AF_INET, ip.data(), text, sizeof text);
                host = text;
            }
            record(is4a ? "4a" : "4", host, port, userId, {}, {});
            bool userOk = user_.empty() || userId == user_;
            targetPort = userOk ? loopbackTarget(host, port) : std::nullopt;
            okReply = std::string("\x00\x5a\x00\x00\x00\x00\x00\x00", 8);
            if (!targetPort) {
                sendAll(c, nullptr,
                        std::string("\x00", 1) + (userOk ? "\x5b" : "\x5d") + std::string(6, '\0'));
                return -1;
            }
            break;
        }
        case Kind::SOCKS5: {
            if (!readExact(c, nullptr, b, 2) || b[0] != 5) return -1;
            std::string methods;
            if (!readExact(c, nullptr, methods, uint8_t(b[1]))) return -1;
            bool needAuth = !user_.empty();
            char method = needAuth ? 2 : 0;
            if (methods.find(method) == std::string::npos) {
                sendAll(c, nullptr, "\x05\xff");
                return -1;
            }
            sendAll(c, nullptr, std::string("\x05", 1) + method);
            std::string gotUser, gotPass;
            if (needAuth) {
                std::string len;
                if (!readExact(c, nullptr, b, 2) || b[0] != 1) return -1;
                if (!readExact(c, nullptr, gotUser, uint8_t(b[1])) || !readExact(c, nullptr, len, 1) ||
                    !readExact(c, nullptr, gotPass, uint8_t(len[0])))
                    return -1;
                bool good = gotUser == user_ && gotPass == password_;
                sendAll(c, nullptr, good ? std::string("\x01\x00", 2) : std::string("\x01\x01", 2));
                if (!good) {
                    record("5", {}, 0, gotUser, gotPass, {});
                    return -1;
                }
            }
            if (!readExact(c, nullptr, b, 4) || b[0] != 5 || b[1] != 1) return -1;
            std::string host;
            if (b[3] == 1) {
                std::string ip;
                if (!readExact(c, nullptr, ip, 4)) return -1;
                char text[INET_ADDRSTRLEN];
                inet_ntop(AF_INET, ip.data(), text, sizeof text);
                host = text;
            } else if (b[3] == 3) {
                std::string len;
                if (!readExact(c, nullptr, len, 1) || !readExact(c, nullptr, host, uint8_t(len[0])))
                    return -1;
            } else {
                return -1;
            }
            std::string portBytes;
            if (!readExact(c, nullptr, portBytes, 2)) return -1;
            uint16_t port = static_cast<uint16_t>((uint8_t(portBytes[0]) << 8) | uint8_t(portBytes[1]));
            record("5", host, port, gotUser, gotPass, {});
            targetPort = loopbackTarget(host, port);
            // A reply with a domain-name bound address, so its length must be read from it.
            okReply = std::string("\x05\x00\x00\x03\x09", 5) + "localhost" + std::string("\x00\x16", 2);
            if (!targetPort) {
                sendAll(c, nullptr, std::string("\x05\x02\x00\x01\x00\x00\x00\x00\x00\x00", 10));
                return -1;
            }
            break;
        }
        case Kind::HTTP:
        case Kind::HTTPS: {
            std::string head;
            char ch;
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 8192) {
                ssize_t n = ssl ? SSL_read(ssl, &ch, 1) : ::recv(c, &ch, 1, 0);
                if (n != 1) return -1;
                head += ch;
            }
            // CONNECT host:port HTTP/1.1
            std::istringstream lines(head);
            std::string method, target, version;
            lines >> method >> target >> version;
            std::string authorization;
            size_t at = head.find("Proxy-Authorization: ");
            if (at != std::string::npos)
                authorization = head.substr(at + 21, head.find("\r\n", at) - at - 21);
            size_t colon = target.rfind(':');
            std::string host = target.substr(0, colon);
            uint16_t port = static_cast<uint16_t>(std::stoi(target.substr(colon + 1)));
            record("http", host, port, {}, {}, authorization);
            if (!user_.empty()) {
                std::string expected = "Basic " + base64(user_ + ":" + password_);
                if (authorization != expected) {
                    sendAll(c, ssl,
                            "HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
                    return -1;
                }
            }
            targetPort = method == "CONNECT" ? loopbackTarget(host, port) : std::nullopt;
            if (!targetPort) {
                sendAll(c, ssl, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
                return -1;
            }
            okReply = "HTTP/1.1 200 Connection established\r\nProxy-agent: test\r\n\r\n";
            break;
        }
        }
        {
            std::lock_guard lock(mutex_);
            seen_.authenticated = true;
        }
        int t = connectLoopback(*targetPort);
        if (t < 0) return -1;
        if (oneSegment_) {
            // Wait for the server's first bytes (its SSH banner) and send them
            // in the same segment as the reply.
            pollfd p{t, POLLIN, 0};
            char buf[512];
            if (::poll(&p, 1, 5000) == 1) {
                ssize_t n = ::recv(t, buf, sizeof buf, 0);
                if (n > 0) okReply.append(buf, static_cast<size_t>(n));
            }
        }
        if (!sendAll(c, ssl, okReply)) {
            ::close(t);
            return -1;
        }
        return t;
    }

    void relay(int c, SSL* ssl, int t) {
        char buf[65536];
        while (true) {
            bool pending = ssl && SSL_pending(ssl) > 0;
            pollfd fds[3] = {{stop_[0], POLLIN, 0}, {c, POLLIN, 0}, {t, POLLIN, 0}};
            if (!pending && ::poll(fds, 3, 1000) < 0 && errno != EINTR) return;
            if (fds[0].revents) return;
            if (pending || fds[1].revents) {
                ssize_t n = ssl ? SSL_read(ssl, buf, sizeof buf) : ::recv(c, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(t, nullptr, std::string(buf, static_cast<size_t>(n)))) return;
            }
            if (fds[2].revents) {
                ssize_t n = ::recv(t, buf, sizeof buf, 0);
                if (n <= 0 || !sendAll(c, ssl, std::string(buf, static_cast<size_t>(n)))) return;
            }
        }
    }

    void record(const std::string& version, const std::string& host, uint16_t port, const std::string& user,
                const std::string& password, const std::string& authorization) {
        std::lock_guard lock(mutex_);
        seen_.version = version;
        seen_.host = host;
        seen_.port = port;
        seen_.user = user;
        seen_.password = password;
        seen_.authorization = authorization;
    }

    static std::string base64(const std::string& in) {
        std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
        int n =
            EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
        out.resize(static_cast<size_t>(n));
        return out;
    }

    Kind kind_;
    std::string user_, password_;
    bool oneSegment_;
    SSL_CTX* ctx_ = nullptr;
    int listenFd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    Seen seen_;
};

} // namespace peers
