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
        if (auto channel = self.targetChannel()) {
            channel->setDelegate({});
            channel->close();
        }
        self.reportBreak(error);
    });
}

void HalvexRemoteBridgeConnection::readSocket() {
    if (auto client = clientSocket()) client->readDataWithTimeout(0, RelayChunk, 0);
}

void HalvexRemoteBridgeConnection::didConnectToHost(GCDAsyncSocket&, const std::string&, uint16_t) {
    readSocket();
}

void HalvexRemoteBridgeConnection::didReadData(GCDAsyncSocket&, std::string data, long) {
    writeToChannel(data);
}

void HalvexRemoteBridgeConnection::channelWroteData() {
    readSocket();
}

// Bytes that come before the connection is made wait in the socket.
void HalvexRemoteBridgeConnection::channelData(std::string data) {
    if (auto client = clientSocket()) relayChannelData(*client, std::move(data), 0);
}

void HalvexRemoteBridgeConnection::didWriteDataWithTag(GCDAsyncSocket&, long) {
    channelDataWritten();
}

void HalvexRemoteBridgeConnection::socketDidCloseReadStream(GCDAsyncSocket&) {
    if (auto channel = targetChannel()) channel->sendEOF();
}

void HalvexRemoteBridgeConnection::channelEnded() {
    if (auto client = clientSocket()) client->closeWriteStreamAfterWriting();
}

void HalvexRemoteBridgeConnection::channelClosed(const std::optional<Error>&) {
    if (auto client = clientSocket()) client->disconnectAfterWriting();
}

void HalvexRemoteBridgeConnection::socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) {
    if (auto channel = targetChannel()) {
        channel->setDelegate({});
        channel->close();
    }
    reportBreak(error);
}
