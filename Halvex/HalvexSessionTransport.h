#pragma once

#include "Foundation/Error.h"
#include "HalvexCore/HalvexSession.h"
#include "HalvexCore/HalvexSessionDelegate.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HalvexSessionTransport;
class HalvexPrivateKeyParser;

// What a session controller hears from one connection attempt. The calls, their
// order and their threads are those of HalvexSessionDelegate: they come on the
// attempt's own I/O thread, which waits for each to return, and
// didDisconnectWithError ends every attempt exactly once. The sender is the
// transport that the controller created for the attempt.
class HalvexSessionTransportDelegate {
public:
    virtual ~HalvexSessionTransportDelegate() = default;

    virtual void keyboardInteractiveRequest(HalvexSessionTransport&, const HalvexInteractiveRequest&) {}
    virtual void didConnectToHost(HalvexSessionTransport&, const std::string& /*host*/, uint16_t /*port*/) {}
    virtual void didDisconnectWithError(HalvexSessionTransport&, const std::optional<Error>&) {}
    virtual void didReceiveIssueBanner(HalvexSessionTransport&, const std::string& /*banner*/) {}
    // False refuses the key and ends the attempt with code 1.
    virtual bool shouldConnectWithHostKey(HalvexSessionTransport&,
                                          const std::shared_ptr<HalvexHostKeyParser>&) {
        return true;
    }
    // Choose a method with one of the transport's authenticateBy... calls, or
    // return an error to end the attempt with it.
    virtual std::optional<Error> authenticateWithAllowedMethods(HalvexSessionTransport&,
                                                                const std::vector<std::string>& /*methods*/,
                                                                bool /*partialSuccess*/) {
        return std::nullopt;
    }
    virtual void didAuthenticateUser(HalvexSessionTransport&, const std::string& /*user*/) {}
    virtual void didOpenForwardChannel(HalvexSessionTransport&,
                                       const std::shared_ptr<HalvexForwardChannel>&) {}
};

// One connection attempt as the session controller drives it: the settings,
// connect and disconnect, the connected address and the authentication
// choices of HalvexSession. The controller makes one per attempt through its
// transport factory; the default factory wraps a real HalvexSession
// (HalvexCoreSessionTransport), tests install scripted ones.
//
// Threads: the calls follow HalvexSession's rules. Settings and connect come
// from the main thread before the attempt starts; disconnect from any thread,
// never waiting; the authenticateBy... calls from inside
// authenticateWithAllowedMethods on the I/O thread.
class HalvexSessionTransport {
public:
    virtual ~HalvexSessionTransport() = default;

    virtual void enableProxy(long type, const std::string& host, uint16_t port) = 0;
    virtual void enableProxy(long type, const std::string& host, uint16_t port, const std::string& user,
                             const std::string& password) = 0;
    virtual void setEnableCompression(bool enable) = 0;
    virtual void setEnableIPv4(bool enable) = 0;
    virtual void setEnableIPv6(bool enable) = 0;
    virtual void setCiphers(const std::string& ciphers) = 0;
    virtual void setHostKeyAlgorithms(const std::string& algorithms) = 0;
    virtual void setKeyExchangeAlgorithms(const std::string& algorithms) = 0;
    virtual void setServerAliveCountMax(long count) = 0;
    virtual void setLogDebug(HalvexLogSink sink) = 0;
    virtual void setLogInfo(HalvexLogSink sink) = 0;
    virtual void setLogWarn(HalvexLogSink sink) = 0;
    virtual void setLogError(HalvexLogSink sink) = 0;
    virtual void setLogFatal(HalvexLogSink sink) = 0;

    // Starts the attempt and returns at once; `interface` empty for none.
    virtual void connectToHost(const std::string& host, uint16_t port, const std::string& interface,
                               const std::string& user, double timeout) = 0;
    // Ends the attempt without waiting; it reports didDisconnectWithError.
    virtual void disconnect() = 0;

    virtual std::string host() const = 0;
    virtual uint16_t port() const = 0;
    virtual std::string hostIP() const = 0;

    virtual void authenticateByPasswordHandler(HalvexPasswordHandler handler) = 0;
    virtual void authenticateByPrivateKeyBase64(const std::string& keyText) = 0;
    virtual void authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser> parser) = 0;
    virtual void authenticateByInteractiveHandler(HalvexInteractiveHandler handler) = 0;

    // The SSH session behind the attempt, for opening channels once
    // authenticated; null for a transport that has none.
    virtual std::shared_ptr<HalvexSession> halvexSession() const { return nullptr; }
};
