#pragma once

#include "Halvex/HalvexBridgeConnection.h"

#include <vector>

// A local forwarding's connection: a socket accepted on the local port and an
// SSH direct channel to the forwarding's target.
class HalvexLocalBridgeConnection : public HalvexBridgeConnection {
public:
    static std::shared_ptr<HalvexLocalBridgeConnection>
    make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate = {});

    // Takes the accepted socket and the direct channel being opened with this
    // bridge as its delegate (null when none could be asked for: the client is
    // then let go). Relaying starts when the channel opens.
    void bridgeClientSocket(std::shared_ptr<GCDAsyncSocket> socket, std::shared_ptr<HalvexChannel> channel);

private:
    using HalvexBridgeConnection::HalvexBridgeConnection;

    void channelOpened() override;
    void channelData(std::string data) override;

    // Queue only.
    bool started_ = false;
    bool channelOpen_ = false;
    std::vector<std::string> early_; // channel bytes that came before the socket
};
