#pragma once

#include <memory>
#include <string>
#include <thread>

typedef struct ssl_st SSL;

// Carries an SSH stream through a TLS connection: libssh gets one end of a
// socketpair, a thread of ours moves bytes between the other end and the TLS
// connection. Bytes that arrived with the proxy's reply go first.
class HalvexTLSRelay {
public:
    // Takes ownership of ssl and tcpFd. Returns nullptr when the socketpair or
    // the thread cannot be made.
    static std::unique_ptr<HalvexTLSRelay> start(SSL* ssl, int tcpFd, std::string leftover);
    ~HalvexTLSRelay(); // stops the thread and closes everything but the libssh end
    HalvexTLSRelay(const HalvexTLSRelay&) = delete;
    HalvexTLSRelay& operator=(const HalvexTLSRelay&) = delete;

    // The end to hand to libssh (the caller closes it).
    int sshFd() const { return sshFd_; }
    int tcpFd() const { return tcpFd_; }

private:
    HalvexTLSRelay() = default;
    void run();
    void pump();

    SSL* ssl_ = nullptr;
    int tcpFd_ = -1;
    int sshFd_ = -1;
    int relayFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::string toSSH_; // bytes from TLS not yet written to the socketpair
    std::thread thread_;
};
