#pragma once

#include "Dispatch/SerialQueue.h"
#include "Halvex/HalvexBridgeConnection.h"
#include "Halvex/HalvexForwardingModel.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class HalvexForwardChannel;
class HalvexPortForwarding;
class HalvexSession;

// Codes of the domain "Halvex.Core" made by a forwarding.
enum HalvexPortForwardingErrorCode : long {
    HalvexPortForwardingUnknownTypeError = 1009, // "Unknown port forwarding type: %@"
    HalvexPortForwardingInvalidPortError = 1010, // a listening or target port out of range
};

// What a forwarding reports and asks, all optional. Called on the thread of
// the cause: the caller's for establishment and forwarded channels, the
// session's I/O thread for a remote listen's answer, the forwarding's queue
// for accepted connections, a bridge's queue for its reports.
class HalvexPortForwardingDelegate {
public:
    virtual ~HalvexPortForwardingDelegate() = default;

    virtual void portForwardingDidEstablish(HalvexPortForwarding&) {}
    virtual void establishFailedWithError(HalvexPortForwarding&, const Error&) {}
    virtual void didBridgeConnection(HalvexPortForwarding&, const std::shared_ptr<HalvexBridgeConnection>&) {}
    // How a dynamic forwarding reaches a host (HalvexBridgeMode).
    virtual long bridgeModeOfHost(HalvexPortForwarding&, const std::string& /*host*/) {
        return HalvexBridgeModeChannel;
    }
    virtual void didTargetBreakWithError(HalvexPortForwarding&, const Error&, long /*mode*/,
                                         const std::string& /*targetHost*/, uint16_t /*targetPort*/) {}
};

// Runs one forwarding rule over a connected session: a local forwarding
// listens here and carries each connection through an SSH direct channel; a
// dynamic one listens here and serves the SOCKS5 / HTTP proxy endpoint; a
// remote one asks the server to listen and carries each connection it
// forwards back to the rule's host and port. Nothing in the application makes
// one: the framework's user holds it, establishes it after the session has
// authenticated, passes the server's forwarded channels to
// acceptNewForwardChannel, and calls destroy before the session ends.
//
// The rule (type, bind address, ports, host) is read when establishing. The
// live bridges are kept on the forwarding's own serial queue; every public
// call may come from any thread. Made with make() and owned through
// shared_ptr; releasing it destroys it without telling its delegate.
class HalvexPortForwarding : public HalvexForwardingModel,
                             public GCDAsyncSocketDelegate,
                             public HalvexBridgeConnectionDelegate,
                             public std::enable_shared_from_this<HalvexPortForwarding> {
public:
    // The queue-specific key whose value on the forwarding's queue is the
    // forwarding.
    static const char IsOnDelegateQueueOrTargetQueueKey;

    HalvexPortForwarding();
    static std::shared_ptr<HalvexPortForwarding> make();
    ~HalvexPortForwarding() override;
    HalvexPortForwarding(const HalvexPortForwarding&) = delete;
    HalvexPortForwarding& operator=(const HalvexPortForwarding&) = delete;

    // Stores the session (weakly); a remote rule asks the server to listen
    // (the answer comes later, through the delegate), any other listens here
    // with the session's address families. Returns the error it reports.
    std::optional<Error> establishWithSession(const std::shared_ptr<HalvexSession>& session);
    // Listens here (local or dynamic) without touching the session.
    std::optional<Error> establishWithIPv4Enabled(bool ipv4, bool ipv6);
    // Remote forwardings only: bridges a connection the server forwarded to the
    // rule's host and port. False, and nothing made, for other types.
    bool acceptNewForwardChannel(const std::shared_ptr<HalvexForwardChannel>& channel);
    // Stops listening (a remote listener is cancelled on the server) and ends
    // every bridge; the local descriptors are closed when it returns. Bridges
    // that arrive later are ended at once.
    void destroy();

    void setDelegate(std::weak_ptr<HalvexPortForwardingDelegate> delegate);
    std::shared_ptr<HalvexPortForwardingDelegate> delegate() const;
    std::vector<std::shared_ptr<HalvexBridgeConnection>> connections() const;
    // Remote: the port the server listens on, once established.
    uint16_t boundPort() const { return boundPort_.load(); }
    bool isEstablished() const { return established_.load(); }
    std::shared_ptr<HalvexSession> session() const;

private:
    struct Rule {
        std::optional<std::int64_t> type;
        std::string bindAddress;
        std::optional<std::int64_t> port;
        std::string host;
        std::optional<std::int64_t> hostport;
    };

    Rule takeRule();
    std::optional<Error> checkPorts(const Rule& rule) const;
    std::optional<Error> establishLocalAndDynamic(bool ipv4, bool ipv6);
    std::optional<Error> establishRemote();
    std::optional<Error> failed(Error error);
    bool onQueue() const;
    void addBridge(const std::shared_ptr<HalvexBridgeConnection>& bridge);

    // GCDAsyncSocketDelegate: the listening socket, on the queue.
    void didAcceptNewSocket(GCDAsyncSocket&, const std::shared_ptr<GCDAsyncSocket>& socket) override;
    // HalvexBridgeConnectionDelegate, on the bridges' queues.
    long bridgeModeOfHost(HalvexBridgeConnection&, const std::string& host) override;
    void didBreakWithError(HalvexBridgeConnection&, const std::optional<Error>&) override;
    void didTargetBreakWithError(HalvexBridgeConnection&, const Error&, long mode, const std::string& host,
                                 uint16_t port) override;

    mutable std::mutex mutex_;
    std::weak_ptr<HalvexPortForwardingDelegate> delegate_; // guarded by mutex_
    std::weak_ptr<HalvexSession> session_;                 // guarded by mutex_
    Rule rule_;                                            // guarded by mutex_
    std::shared_ptr<GCDAsyncSocket> listener_;             // guarded by mutex_
    std::optional<std::string> listenHost_;                // guarded by mutex_: a remote listen's host
    bool destroyed_ = false;                               // guarded by mutex_
    std::atomic<bool> established_{false};
    std::atomic<uint16_t> boundPort_{0};

    std::vector<std::shared_ptr<HalvexBridgeConnection>> connections_; // the queue's own

    // Last, so that it goes first: no block of it runs while the rest goes.
    std::shared_ptr<SerialQueue> queue_;
};
