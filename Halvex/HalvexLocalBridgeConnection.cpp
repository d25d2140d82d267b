#include "Halvex/HalvexLocalBridgeConnection.h"

std::shared_ptr<HalvexLocalBridgeConnection>
HalvexLocalBridgeConnection::make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate) {
    return std::shared_ptr<HalvexLocalBridgeConnection>(new HalvexLocalBridgeConnection(std::move(delegate)));
}

void HalvexLocalBridgeConnection::bridgeClientSocket(std::shared_ptr<GCDAsyncSocket> socket,
                                                     std::shared_ptr<HalvexChannel> channel) {
    if (!socket) return;
    bool noChannel = channel == nullptr;
    adoptClientSocket(std::move(socket));
    setTargetChannel(std::move(channel));
    onQueue([noChannel](HalvexBridgeConnection& base) {
        auto& self = static_cast<HalvexLocalBridgeConnection&>(base);
        self.started_ = true;
        auto client = self.clientSocket();
        if (!client) return;
        if (noChannel) {
            client->disconnect();
            return;
        }
        for (auto& data : self.early_)
            self.relayChannelData(*client, std::move(data), 0);
        self.early_.clear();
        if (self.channelOpen_) self.readClientChunk();
    });
}

void HalvexLocalBridgeConnection::channelOpened() {
    channelOpen_ = true;
    if (started_) readClientChunk();
}

// The channel was opened before this bridge had its socket: a target that
// speaks first may be heard before.
void HalvexLocalBridgeConnection::channelData(std::string data) {
    if (started_)
        HalvexBridgeConnection::channelData(std::move(data));
    else
        early_.push_back(std::move(data));
}
