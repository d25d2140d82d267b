#pragma once

#include "Halvex/HalvexBridgeConnection.h"

// A remote forwarding's connection: a channel the server forwarded and a
// socket from this machine to the forwarding's target (the client socket).
class HalvexRemoteBridgeConnection : public HalvexBridgeConnection {
public:
    static std::shared_ptr<HalvexRemoteBridgeConnection>
    make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate = {});

    // Becomes the channel's delegate and connects to host and port, with the
    // address families the channel's session uses and no time-out. Bytes
    // that come before the connection is made wait in the socket.
    void bridgeForwardChannel(std::shared_ptr<HalvexChannel> channel, const std::string& host, uint16_t port);

private:
    using HalvexBridgeConnection::HalvexBridgeConnection;

    void didConnectToHost(GCDAsyncSocket&, const std::string& host, uint16_t port) override;
};
