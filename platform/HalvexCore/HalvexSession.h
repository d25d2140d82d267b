#pragma once

#include "Foundation/Error.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexSessionDelegate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HalvexChannel;
class HalvexChannelDelegate;
class HalvexShellChannel;
class HalvexShellChannelDelegate;
class HalvexPrivateKeyParser;
class HalvexSessionCore;

// Proxy types, numbered as the server profile stores them.
enum HalvexProxyType : long {
    HalvexProxyTypeSOCKS5 = 0,
    HalvexProxyTypeSOCKS4 = 1,
    HalvexProxyTypeHTTP = 2, // HTTP CONNECT
    HalvexProxyTypeSOCKS4A = 3,
    HalvexProxyTypeHTTPS = 4, // HTTP CONNECT over TLS, the proxy's certificate verified
};

using HalvexLogSink = std::function<void(const std::string& message)>;
using HalvexPasswordHandler = std::function<std::string()>;
// (request index, name, instruction, prompts) -> answers in prompt order.
using HalvexInteractiveHandler = std::function<std::vector<std::string>(
    long index, const std::string& name, const std::string& instruction,
    const std::vector<HalvexInteractivePrompt>& prompts)>;
// (success, bound port, error when it failed)
using HalvexForwardCompletion =
    std::function<void(bool success, uint16_t boundPort, const std::optional<Error>& error)>;

// One SSH connection attempt. Settings are read when connectToHost is called;
// the attempt then runs on the session's own I/O thread, which owns the libssh
// session and all its channels and calls the delegates. No call here waits for
// that thread. Every attempt ends with exactly one didDisconnectWithError; a
// session is used for one attempt.
class HalvexSession : public std::enable_shared_from_this<HalvexSession> {
public:
    static std::shared_ptr<HalvexSession> make(std::weak_ptr<HalvexSessionDelegate> delegate = {});
    ~HalvexSession();
    HalvexSession(const HalvexSession&) = delete;
    HalvexSession& operator=(const HalvexSession&) = delete;

    void setDelegate(std::weak_ptr<HalvexSessionDelegate> delegate);
    std::shared_ptr<HalvexSessionDelegate> delegate() const;

    // Settings, before connectToHost.
    void enableProxy(long type, const std::string& host, uint16_t port);
    void enableProxy(long type, const std::string& host, uint16_t port, const std::string& user,
                     const std::string& password);
    void setEnableCompression(bool enable);
    void setEnableIPv4(bool enable);
    void setEnableIPv6(bool enable);
    bool enableIPv4() const;
    bool enableIPv6() const;
    // Comma-separated algorithm names, as OpenSSH writes them.
    void setCiphers(const std::string& ciphers);
    void setHostKeyAlgorithms(const std::string& algorithms);
    void setKeyExchangeAlgorithms(const std::string& algorithms);
    // Unanswered keep-alive probes before the connection counts as dead; 0 or
    // less turns keep-alive off.
    void setServerAliveCountMax(long count);
    // Log sinks, called on the I/O thread with one finished message each.
    void setLogDebug(HalvexLogSink sink);
    void setLogInfo(HalvexLogSink sink);
    void setLogWarn(HalvexLogSink sink);
    void setLogError(HalvexLogSink sink);
    void setLogFatal(HalvexLogSink sink);

    // Start the attempt and return at once. A second call is ignored.
    // timeout: seconds for connecting, the proxy and the SSH handshake; 0 or
    // less waits without a limit.
    void connectToHost(const std::string& host, uint16_t port, const std::string& user, double timeout);
    // The same, bound to the named network interface ("" for none).
    void connectToHost(const std::string& host, uint16_t port, const std::string& interface,
                       const std::string& user, double timeout);
    // End the attempt; it reports didDisconnectWithError with no error.
    void disconnect();

    std::string host() const;
    uint16_t port() const;
    // The numeric address connected to ("" until known; through a proxy the
    // target's address when the target was given as an address).
    std::string hostIP() const;

    // Authentication: call one of these inside authenticateWithAllowedMethods.
    void authenticateByPasswordHandler(HalvexPasswordHandler handler);
    // PEM or OpenSSH private-key text, not encrypted.
    void authenticateByPrivateKeyBase64(const std::string& keyText);
    void authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser> parser);
    void authenticateByInteractiveHandler(HalvexInteractiveHandler handler);

    // Channels. They return at once; a channel asked for before authentication
    // opens after it, and one that cannot open reports channelDidClose with an
    // error (code 1004).
    std::shared_ptr<HalvexShellChannel> openShellChannel(const std::string& terminalType, long columns,
                                                         long rows,
                                                         std::weak_ptr<HalvexShellChannelDelegate> delegate);
    std::shared_ptr<HalvexChannel> openDirectChannel(const std::string& targetHost, uint16_t port,
                                                     std::weak_ptr<HalvexChannelDelegate> delegate);
    // Asks the server to listen (no host: all interfaces). Requests run one at
    // a time in order; the completion is called once on the I/O thread, also
    // with an error when the session ends first. Port 0 listens on a free
    // port of the dynamic range (49152-65535), which the completion gives.
    void enqueueForwardRequest(const std::optional<std::string>& listenHost, uint16_t listenPort,
                               HalvexForwardCompletion completion);
    // Asks the server to stop listening on a host and port it listens on for
    // this session (the host as it was given); queued with the requests above.
    // The completion, when given, hears the answer (the port is the one given).
    void cancelForwardRequest(const std::optional<std::string>& listenHost, uint16_t listenPort,
                              HalvexForwardCompletion completion = {});

private:
    HalvexSession();
    friend class HalvexSessionCore;
    std::shared_ptr<HalvexSessionCore> core_;
};
