#include "Halvex/HalvexPortForwarding.h"

#include "Halvex/HalvexDynamicBridgeConnection.h"
#include "Halvex/HalvexLocalBridgeConnection.h"
#include "Halvex/HalvexRemoteBridgeConnection.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexForwardChannel.h"
#include "HalvexCore/HalvexSession.h"

#include <algorithm>

const char HalvexPortForwarding::IsOnDelegateQueueOrTargetQueueKey = 0;

namespace {

std::string numberText(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string("(null)");
}

// Closes a forwarded channel that no bridge took (the forwarding went first).
struct ChannelKeeper {
    std::shared_ptr<HalvexForwardChannel> channel;
    bool taken = false;
    ~ChannelKeeper() {
        if (!taken && channel) channel->close();
    }
};

} // namespace

HalvexPortForwarding::HalvexPortForwarding()
    : queue_(std::make_shared<SerialQueue>("com.brimble.halvex.extras.portforwarding.delegate_queue")) {
    queue_->setSpecific(&IsOnDelegateQueueOrTargetQueueKey, this);
}

std::shared_ptr<HalvexPortForwarding> HalvexPortForwarding::make() {
    return std::make_shared<HalvexPortForwarding>();
}

HalvexPortForwarding::~HalvexPortForwarding() {
    setDelegate({});
    destroy();
}

void HalvexPortForwarding::setDelegate(std::weak_ptr<HalvexPortForwardingDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<HalvexPortForwardingDelegate> HalvexPortForwarding::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<HalvexSession> HalvexPortForwarding::session() const {
    std::lock_guard lock(mutex_);
    return session_.lock();
}

bool HalvexPortForwarding::onQueue() const {
    return DispatchQueue::getSpecific(&IsOnDelegateQueueOrTargetQueueKey) == this;
}

std::vector<std::shared_ptr<HalvexBridgeConnection>> HalvexPortForwarding::connections() const {
    std::vector<std::shared_ptr<HalvexBridgeConnection>> copy;
    if (onQueue())
        copy = connections_;
    else
        queue_->sync([&] { copy = connections_; });
    return copy;
}

HalvexPortForwarding::Rule HalvexPortForwarding::takeRule() {
    Rule rule{type(), bind_address.value_or(""), port, host.value_or(""), hostport};
    std::lock_guard lock(mutex_);
    rule_ = rule;
    destroyed_ = false;
    return rule;
}

// Ports are checked, never cut to 16 bits: a listening port of 0 lets the
// server choose (remote only); a target port must name one.
std::optional<Error> HalvexPortForwarding::checkPorts(const Rule& rule) const {
    auto inRange = [](const std::optional<std::int64_t>& v, std::int64_t least) {
        return v && *v >= least && *v <= 65535;
    };
    bool remote = rule.type == 1;
    if (!inRange(rule.port, remote ? 0 : 1))
        return Error(HalvexCoreErrorDomain, HalvexPortForwardingInvalidPortError,
                     "Invalid port forwarding port: " + numberText(rule.port));
    if (rule.type != 2 && !inRange(rule.hostport, 1))
        return Error(HalvexCoreErrorDomain, HalvexPortForwardingInvalidPortError,
                     "Invalid port forwarding host port: " + numberText(rule.hostport));
    return std::nullopt;
}

std::optional<Error> HalvexPortForwarding::failed(Error error) {
    established_ = false;
    if (auto d = delegate()) d->establishFailedWithError(*this, error);
    return error;
}

std::optional<Error>
HalvexPortForwarding::establishWithSession(const std::shared_ptr<HalvexSession>& session) {
    {
        std::lock_guard lock(mutex_);
        session_ = session;
    }
    if (type() == 1) return establishRemote();
    return establishLocalAndDynamic(session ? session->enableIPv4() : true,
                                    session ? session->enableIPv6() : true);
}

std::optional<Error> HalvexPortForwarding::establishWithIPv4Enabled(bool ipv4, bool ipv6) {
    return establishLocalAndDynamic(ipv4, ipv6);
}

std::optional<Error> HalvexPortForwarding::establishLocalAndDynamic(bool ipv4, bool ipv6) {
    Rule rule = takeRule();
    if (rule.type != 0 && rule.type != 2)
        return failed(Error(HalvexCoreErrorDomain, HalvexPortForwardingUnknownTypeError,
                            "Unknown port forwarding type: " + numberText(rule.type)));
    if (auto e = checkPorts(rule)) return failed(*e);

    auto listener = GCDAsyncSocket::make(weak_from_this(), queue_);
    listener->setIPv4Enabled(ipv4);
    listener->setIPv6Enabled(ipv6);
    listener->setNoDelay(true);
    auto port = static_cast<uint16_t>(*rule.port);
    const std::string& bind = rule.bindAddress;
    Error error;
    bool listening = bind == "0.0.0.0" || bind == "::" || bind == "*"
                         ? listener->acceptOnPort(port, &error)
                         : listener->acceptOnInterface(bind.empty() ? "localhost" : bind, port, &error);
    std::shared_ptr<GCDAsyncSocket> previous;
    {
        std::lock_guard lock(mutex_);
        previous = std::exchange(listener_, listening ? listener : nullptr);
    }
    if (previous) {
        previous->setDelegate({});
        previous->disconnect();
    }
    if (!listening) return failed(error);
    established_ = true;
    if (auto d = delegate()) d->portForwardingDidEstablish(*this);
    return std::nullopt;
}

std::optional<Error> HalvexPortForwarding::establishRemote() {
    Rule rule = takeRule();
    if (auto e = checkPorts(rule)) return failed(*e);
    auto session = this->session();
    if (!session)
        return failed(Error(HalvexCoreErrorDomain, HalvexCoreErrorForward, "The SSH session has ended"));
    std::optional<std::string> listenHost;
    if (rule.bindAddress.empty())
        listenHost = "localhost";
    else if (rule.bindAddress != "*")
        listenHost = rule.bindAddress;
    {
        std::lock_guard lock(mutex_);
        listenHost_ = listenHost;
    }
    std::weak_ptr<HalvexPortForwarding> weak = weak_from_this();
    std::weak_ptr<HalvexSession> weakSession = session;
    session->enqueueForwardRequest(
        listenHost, static_cast<uint16_t>(*rule.port),
        [weak, weakSession, listenHost](bool success, uint16_t bound, const std::optional<Error>& error) {
            auto self = weak.lock();
            bool gone = !self;
            if (self) {
                std::lock_guard lock(self->mutex_);
                gone = self->destroyed_;
                if (!gone) {
                    self->established_ = success;
                    self->boundPort_ = success ? bound : 0;
                }
            }
            if (gone) {
                // Nobody will use a listener granted after the end.
                if (success)
                    if (auto s = weakSession.lock()) s->cancelForwardRequest(listenHost, bound);
                return;
            }
            auto d = self->delegate();
            if (!d) return;
            if (success)
                d->portForwardingDidEstablish(*self);
            else
                d->establishFailedWithError(
                    *self, error.value_or(Error(HalvexCoreErrorDomain, HalvexCoreErrorForward,
                                                "The server refused to listen")));
        });
    return std::nullopt;
}

// --- bridges

void HalvexPortForwarding::addBridge(const std::shared_ptr<HalvexBridgeConnection>& bridge) {
    connections_.push_back(bridge);
}

void HalvexPortForwarding::didAcceptNewSocket(GCDAsyncSocket&,
                                              const std::shared_ptr<GCDAsyncSocket>& socket) {
    Rule rule;
    std::shared_ptr<HalvexSession> session;
    {
        std::lock_guard lock(mutex_);
        if (destroyed_) return; // the socket goes with this event
        rule = rule_;
        session = session_.lock();
    }
    std::shared_ptr<HalvexBridgeConnection> bridge;
    if (rule.type == 0) {
        auto local = HalvexLocalBridgeConnection::make(weak_from_this());
        addBridge(local);
        std::shared_ptr<HalvexChannel> channel;
        if (session)
            channel = session->openDirectChannel(rule.host, static_cast<uint16_t>(rule.hostport.value_or(0)),
                                                 local);
        local->bridgeClientSocket(socket, channel);
        bridge = local;
    } else if (rule.type == 2) {
        auto dynamic = HalvexDynamicBridgeConnection::make(weak_from_this());
        addBridge(dynamic);
        dynamic->bridgeClientSocket(socket, session);
        bridge = dynamic;
    } else {
        return;
    }
    if (auto d = delegate()) d->didBridgeConnection(*this, bridge);
}

bool HalvexPortForwarding::acceptNewForwardChannel(const std::shared_ptr<HalvexForwardChannel>& channel) {
    if (type() != 1 || !channel) return false;
    auto bridge = HalvexRemoteBridgeConnection::make(weak_from_this());
    auto keeper = std::make_shared<ChannelKeeper>();
    keeper->channel = channel;
    std::weak_ptr<HalvexPortForwarding> weak = weak_from_this();
    // The bridge joins the list before it starts, on the queue; one that
    // comes after destroy is ended at once.
    queue_->async([weak, bridge, keeper] {
        auto self = weak.lock();
        if (!self) return;
        Rule rule;
        {
            std::lock_guard lock(self->mutex_);
            if (self->destroyed_) return;
            rule = self->rule_;
        }
        keeper->taken = true;
        self->addBridge(bridge);
        bridge->bridgeForwardChannel(keeper->channel, rule.host,
                                     static_cast<uint16_t>(rule.hostport.value_or(0)));
    });
    if (auto d = delegate()) d->didBridgeConnection(*this, bridge);
    return true;
}

long HalvexPortForwarding::bridgeModeOfHost(HalvexBridgeConnection&, const std::string& host) {
    if (auto d = delegate()) return d->bridgeModeOfHost(*this, host);
    return HalvexBridgeModeChannel;
}

void HalvexPortForwarding::didBreakWithError(HalvexBridgeConnection& bridge, const std::optional<Error>&) {
    std::weak_ptr<HalvexPortForwarding> weak = weak_from_this();
    const HalvexBridgeConnection* which = &bridge;
    queue_->async([weak, which] {
        if (auto self = weak.lock())
            std::erase_if(self->connections_, [&](const auto& b) { return b.get() == which; });
    });
}

void HalvexPortForwarding::didTargetBreakWithError(HalvexBridgeConnection&, const Error& error, long mode,
                                                   const std::string& host, uint16_t port) {
    if (auto d = delegate()) d->didTargetBreakWithError(*this, error, mode, host, port);
}

// --- the end

void HalvexPortForwarding::destroy() {
    std::shared_ptr<GCDAsyncSocket> listener;
    std::shared_ptr<HalvexSession> session;
    std::optional<std::string> listenHost;
    bool cancelRemote;
    uint16_t bound;
    {
        std::lock_guard lock(mutex_);
        destroyed_ = true;
        listener = std::move(listener_);
        session = session_.lock();
        listenHost = listenHost_;
        cancelRemote = rule_.type == 1 && established_;
        bound = boundPort_;
        established_ = false;
    }
    if (listener) {
        listener->setDelegate({});
        listener->disconnect();
        listener.reset();
    }
    if (cancelRemote && session) session->cancelForwardRequest(listenHost, bound);
    auto endBridges = [this] {
        auto bridges = std::move(connections_);
        connections_.clear();
        for (auto& bridge : bridges) {
            bridge->setDelegate({});
            bridge->disconnect();
        }
    };
    if (onQueue())
        endBridges();
    else
        queue_->sync(endBridges);
}
