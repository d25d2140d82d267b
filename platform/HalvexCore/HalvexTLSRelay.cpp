#include "HalvexCore/HalvexTLSRelay.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

std::unique_ptr<HalvexTLSRelay> HalvexTLSRelay::start(SSL* ssl, int tcpFd, std::string leftover) {
    std::unique_ptr<HalvexTLSRelay> relay(new HalvexTLSRelay());
    relay->ssl_ = ssl;
    relay->tcpFd_ = tcpFd;
    relay->toSSH_ = std::move(leftover);
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return nullptr;
    relay->sshFd_ = sv[0];
    relay->relayFd_ = sv[1];
    if (pipe2(relay->stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    fcntl(relay->relayFd_, F_SETFL, fcntl(relay->relayFd_, F_GETFL) | O_NONBLOCK);
    fcntl(tcpFd, F_SETFL, fcntl(tcpFd, F_GETFL) | O_NONBLOCK);
    try {
        relay->thread_ = std::thread([r = relay.get()] { r->run(); });
    } catch (...) {
        return nullptr;
    }
    return relay;
}

HalvexTLSRelay::~HalvexTLSRelay() {
    if (thread_.joinable()) {
        char c = 1;
        [[maybe_unused]] ssize_t n = write(stopPipe_[1], &c, 1);
        thread_.join();
    }
    if (ssl_) SSL_free(ssl_);
    for (int fd : {tcpFd_, relayFd_, stopPipe_[0], stopPipe_[1]})
        if (fd >= 0) ::close(fd);
}

// One thread, non-blocking both ways: a TLS write that wants to be retried
// keeps its buffer, and reads stop while the other side cannot take more.
void HalvexTLSRelay::run() {
    pump();
    // libssh sees the end of the stream.
    ::shutdown(relayFd_, SHUT_RDWR);
}

void HalvexTLSRelay::pump() {
    std::string toTLS;
    bool tlsWantsWriteForRead = false, tlsWantsReadForWrite = false;
    bool sshClosed = false, tlsClosed = false;
    char buf[32768];
    while (true) {
        // Move decrypted bytes, including those OpenSSL already holds, to libssh.
        while (!tlsClosed && toSSH_.size() < sizeof(buf) * 4) {
            int n = SSL_read(ssl_, buf, sizeof(buf));
            if (n > 0) {
                toSSH_.append(buf, static_cast<size_t>(n));
                continue;
            }
            int e = SSL_get_error(ssl_, n);
            tlsWantsWriteForRead = e == SSL_ERROR_WANT_WRITE;
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) tlsClosed = true;
            break;
        }
        while (!toSSH_.empty()) {
            ssize_t n = ::send(relayFd_, toSSH_.data(), toSSH_.size(), MSG_NOSIGNAL);
            if (n > 0) {
                toSSH_.erase(0, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
            return; // libssh's end is gone
        }
        if (tlsClosed && toSSH_.empty()) {
            ::shutdown(relayFd_, SHUT_WR);
        }
        // Move libssh's bytes into TLS.
        while (!sshClosed && toTLS.size() < sizeof(buf) * 4) {
            ssize_t n = ::recv(relayFd_, buf, sizeof(buf), 0);
            if (n > 0) {
                toTLS.append(buf, static_cast<size_t>(n));
                continue;
            }
            if (n == 0)
                sshClosed = true;
            else if (errno != EAGAIN && errno != EINTR)
                sshClosed = true;
            break;
        }
        tlsWantsReadForWrite = false;
        while (!toTLS.empty()) {
            int n = SSL_write(ssl_, toTLS.data(), static_cast<int>(toTLS.size()));
            if (n > 0) {
                toTLS.erase(0, static_cast<size_t>(n));
                continue;
            }
            int e = SSL_get_error(ssl_, n);
            if (e == SSL_ERROR_WANT_READ)
                tlsWantsReadForWrite = true;
            else if (e != SSL_ERROR_WANT_WRITE)
                return;
            break;
        }
        if (sshClosed && toTLS.empty()) return;
        if (tlsClosed && toSSH_.empty()) return;

        pollfd fds[3] = {};
        fds[0].fd = stopPipe_[0];
        fds[0].events = POLLIN;
        fds[1].fd = tcpFd_;
        fds[1].events = 0;
        if (!tlsClosed && toSSH_.size() < sizeof(buf) * 4)
            fds[1].events |= tlsWantsWriteForRead ? POLLOUT : POLLIN;
        if (!toTLS.empty()) fds[1].events |= tlsWantsReadForWrite ? POLLIN : POLLOUT;
        fds[2].fd = relayFd_;
        fds[2].events = 0;
        if (!sshClosed && toTLS.size() < sizeof(buf) * 4) fds[2].events |= POLLIN;
        if (!toSSH_.empty()) fds[2].events |= POLLOUT;
        int rc = ::poll(fds, 3, -1);
        if (rc < 0 && errno != EINTR) return;
        if (fds[0].revents) return;
    }
}
