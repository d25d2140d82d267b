#pragma once

#include "Foundation/Error.h"
#include "HalvexCore/HalvexTLSRelay.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// What the transport needs to reach an SSH server.
struct HalvexConnectRequest {
    std::string host;
    uint16_t port = 22;
    std::string interfaceName;
    bool ipv4 = true;
    bool ipv6 = true;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool proxyEnabled = false;
    long proxyType = 0;
    std::string proxyHost;
    uint16_t proxyPort = 0;
    bool proxyAuth = false;
    std::string proxyUser;
    std::string proxyPassword;
};

struct HalvexConnectResult {
    int fd = -1;                           // for libssh, owned by the caller
    int tcpFd = -1;                        // the socket to the server or proxy (== fd without TLS)
    std::string hostIP;                    // the server's address when known
    std::unique_ptr<HalvexTLSRelay> relay; // set for a proxy reached over TLS
};

// Our own connect: resolve, bind to an interface, connect within the
// deadline, then the proxy's handshake. Runs on the session's I/O thread;
// `wakeFd` is polled too, and `cancelled` ends the wait early.
class HalvexSocketConnector {
public:
    using Log = std::function<void(int level, const std::string& message)>; // 0 debug, 1 info, 2 warn
    HalvexSocketConnector(int wakeFd, std::function<bool()> cancelled, Log log);

    bool connect(const HalvexConnectRequest& request, HalvexConnectResult& result, Error* error);

private:
    int wakeFd_;
    std::function<bool()> cancelled_;
    Log log_;
};
