#include "Halvex/HalvexRemoteBridgeConnection.h"

#include "HalvexCore/HalvexSession.h"

std::shared_ptr<HalvexRemoteBridgeConnection>
HalvexRemoteBridgeConnection::make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate) {
    return std::shared_ptr<HalvexRemoteBridgeConnection>(
        new HalvexRemoteBridgeConnection(std::move(delegate)));
}

void HalvexRemoteBridgeConnection::bridgeForwardChannel(std::shared_ptr<HalvexChannel> channel,
                                                        const std::string& host, uint16_t port) {
    if (!channel) return;
    auto socket = makeSocket();
    if (auto session = channel->session()) {
        socket->setIPv4Enabled(session->enableIPv4());
        socket->setIPv6Enabled(session->enableIPv6());
    }
    setTargetChannel(channel);
    setClientSocket(socket);
    // Last: from here on the channel's bytes come, and find the socket.
    channel->setDelegate(weak_from_this());
    onQueue([host, port](HalvexBridgeConnection& base) {
        auto& self = static_cast<HalvexRemoteBridgeConnection&>(base);
        auto client = self.clientSocket();
        Error error;
        if (client && client->connectToHost(host, port, 0, &error)) return;
        self.closeTargetChannel();
        self.reportBreak(error);
    });
}

void HalvexRemoteBridgeConnection::didConnectToHost(GCDAsyncSocket&, const std::string&, uint16_t) {
    readClientChunk();
}
