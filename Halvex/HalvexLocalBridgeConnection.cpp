#include "Halvex/HalvexLocalBridgeConnection.h"

std::shared_ptr<HalvexLocalBridgeConnection>
HalvexLocalBridgeConnection::make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate) {
    return std::shared_ptr<HalvexLocalBridgeConnection>(new HalvexLocalBridgeConnection(std::move(delegate)));
}

void HalvexLocalBridgeConnection::bridgeClientSocket(std::shared_ptr<GCDAsyncSocket> socket,
                                                     std::shared_ptr<HalvexChannel> channel) {
    if (!socket) return;
    socket->setNoDelay(true);
    socket->setAutoDisconnectOnClosedReadStream(false);
    socket->setDelegate(weak_from_this(), delegateQueue());
    setClientSocket(socket);
    bool noChannel = channel == nullptr;
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
        if (self.channelOpen_) self.readClient();
    });
}

void HalvexLocalBridgeConnection::readClient() {
    if (auto client = clientSocket()) client->readDataWithTimeout(0, RelayChunk, 0);
}

void HalvexLocalBridgeConnection::channelOpened() {
    channelOpen_ = true;
    if (started_) readClient();
}

void HalvexLocalBridgeConnection::didReadData(GCDAsyncSocket&, std::string data, long) {
    writeToChannel(data);
}

void HalvexLocalBridgeConnection::channelWroteData() {
    readClient();
}

// The channel was opened before this bridge had its socket: a target that
// speaks first may be heard before.
void HalvexLocalBridgeConnection::channelData(std::string data) {
    auto client = clientSocket();
    if (!started_ || !client)
        early_.push_back(std::move(data));
    else
        relayChannelData(*client, std::move(data), 0);
}

void HalvexLocalBridgeConnection::didWriteDataWithTag(GCDAsyncSocket&, long) {
    channelDataWritten();
}

void HalvexLocalBridgeConnection::socketDidCloseReadStream(GCDAsyncSocket&) {
    if (auto channel = targetChannel()) channel->sendEOF();
}

void HalvexLocalBridgeConnection::channelEnded() {
    if (auto client = clientSocket()) client->closeWriteStreamAfterWriting();
}

void HalvexLocalBridgeConnection::channelClosed(const std::optional<Error>&) {
    if (auto client = clientSocket()) client->disconnectAfterWriting();
}

void HalvexLocalBridgeConnection::socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) {
    if (auto channel = targetChannel()) {
        channel->setDelegate({});
        channel->close();
    }
    reportBreak(error);
}
