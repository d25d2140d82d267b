#pragma once

#include "Halvex/HalvexBridgeConnection.h"

class HalvexForwardChannel;

// A remote forwarding's connection: a channel the server forwarded and a
// socket from this machine to the forwarding's target.
class HalvexRemoteBridgeConnection : public HalvexBridgeConnection {
public:
    static std::shared_ptr<HalvexRemoteBridgeConnection>
    make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate = {});

    // Becomes the channel's delegate and connects to host and port, with the
    // address families the channel's session uses and no time-out.
    void bridgeForwardChannel(std::shared_ptr<HalvexChannel> channel, const std::string& host, uint16_t port);

private:
    using HalvexBridgeConnection::HalvexBridgeConnection;

    void didConnectToHost(GCDAsyncSocket&, const std::string& host, uint16_t port) override;
    void didReadData(GCDAsyncSocket&, std::string data, long tag) override;
    void didWriteDataWithTag(GCDAsyncSocket&, long tag) override;
    void socketDidCloseReadStream(GCDAsyncSocket&) override;
    void socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) override;

    void channelData(std::string data) override;
    void channelWroteData() override;
    void channelEnded() override;
    void channelClosed(const std::optional<Error>& error) override;

    void readSocket();
};
