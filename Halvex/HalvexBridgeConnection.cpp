#include "Halvex/HalvexBridgeConnection.h"

HalvexBridgeConnection::HalvexBridgeConnection(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate)
    : delegate_(std::move(delegate)),
      queue_(std::make_shared<SerialQueue>(
          "com.brimble.halvex.extras.portforwarding.connection.delegate_queue")) {}

HalvexBridgeConnection::~HalvexBridgeConnection() {
    disconnect();
}

void HalvexBridgeConnection::setDelegate(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<HalvexBridgeConnectionDelegate> HalvexBridgeConnection::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<GCDAsyncSocket> HalvexBridgeConnection::clientSocket() const {
    std::lock_guard lock(mutex_);
    return clientSocket_;
}

std::shared_ptr<GCDAsyncSocket> HalvexBridgeConnection::targetSocket() const {
    std::lock_guard lock(mutex_);
    return targetSocket_;
}

std::shared_ptr<HalvexChannel> HalvexBridgeConnection::targetChannel() const {
    std::lock_guard lock(mutex_);
    return targetChannel_;
}

bool HalvexBridgeConnection::isDisconnected() const {
    std::lock_guard lock(mutex_);
    return disconnected_;
}

namespace {
// Ends a socket or a channel of a bridge without telling the bridge.
void end(GCDAsyncSocket& socket) {
    socket.setDelegate({});
    socket.disconnect();
}
void end(HalvexChannel& channel) {
    channel.setDelegate({});
    channel.close();
}
} // namespace

void HalvexBridgeConnection::disconnect() {
    std::shared_ptr<GCDAsyncSocket> client, target;
    std::shared_ptr<HalvexChannel> channel;
    {
        std::lock_guard lock(mutex_);
        disconnected_ = true;
        client = std::move(clientSocket_);
        target = std::move(targetSocket_);
        channel = std::move(targetChannel_);
    }
    if (target) end(*target);
    if (channel) end(*channel);
    if (client) end(*client);
}

template <class T>
bool HalvexBridgeConnection::store(std::shared_ptr<T>& field, std::shared_ptr<T> value) {
    {
        std::lock_guard lock(mutex_);
        if (!disconnected_) {
            field = std::move(value);
            return true;
        }
    }
    if (value) end(*value);
    return false;
}

bool HalvexBridgeConnection::setClientSocket(std::shared_ptr<GCDAsyncSocket> socket) {
    return store(clientSocket_, std::move(socket));
}

bool HalvexBridgeConnection::setTargetSocket(std::shared_ptr<GCDAsyncSocket> socket) {
    return store(targetSocket_, std::move(socket));
}

bool HalvexBridgeConnection::setTargetChannel(std::shared_ptr<HalvexChannel> channel) {
    return store(targetChannel_, std::move(channel));
}

void HalvexBridgeConnection::closeTargetChannel() {
    if (auto channel = targetChannel()) end(*channel);
}

std::shared_ptr<GCDAsyncSocket> HalvexBridgeConnection::makeSocket() {
    auto socket = GCDAsyncSocket::make(weak_from_this(), queue_);
    socket->setNoDelay(true);
    socket->setAutoDisconnectOnClosedReadStream(false);
    return socket;
}

void HalvexBridgeConnection::adoptClientSocket(std::shared_ptr<GCDAsyncSocket> socket) {
    socket->setNoDelay(true);
    socket->setAutoDisconnectOnClosedReadStream(false);
    socket->setDelegate(weak_from_this(), queue_);
    setClientSocket(std::move(socket));
}

void HalvexBridgeConnection::onQueue(std::function<void(HalvexBridgeConnection&)> f) {
    std::weak_ptr<HalvexBridgeConnection> weak = weak_from_this();
    queue_->async([weak, f = std::move(f)] {
        auto self = weak.lock();
        if (self && !self->isDisconnected()) f(*self);
    });
}

long HalvexBridgeConnection::chooseMode(const std::string& host) {
    if (auto d = delegate()) return d->bridgeModeOfHost(*this, host);
    return HalvexBridgeModeChannel;
}

void HalvexBridgeConnection::reportBreak(const std::optional<Error>& error) {
    // A connect that cannot start and the client's end both end the bridge:
    // its owner hears of it once.
    if (broken_) return;
    broken_ = true;
    if (auto d = delegate()) d->didBreakWithError(*this, error);
}

void HalvexBridgeConnection::reportTargetBreak(const Error& error, long mode, const std::string& host,
                                               uint16_t port) {
    if (auto d = delegate()) d->didTargetBreakWithError(*this, error, mode, host, port);
}

void HalvexBridgeConnection::relayChannelData(GCDAsyncSocket& socket, std::string data, long tag) {
    channelWrites_.push_back(data.size());
    socket.writeData(std::move(data), 0, tag);
}

void HalvexBridgeConnection::channelDataWritten() {
    if (channelWrites_.empty()) return;
    size_t written = channelWrites_.front();
    channelWrites_.pop_front();
    std::lock_guard lock(flowMutex_);
    channelBytesPending_ -= std::min(channelBytesPending_, written);
    if (channelPaused_ && channelBytesPending_ <= ChannelLowWater) {
        channelPaused_ = false;
        if (auto channel = targetChannel()) channel->resumeReading();
    }
}

// The channel copies what it is given, so the next read may start at once
// while the channel still has room; past ChannelQueueLimit it waits until
// the channel has handed everything to the transport.
void HalvexBridgeConnection::writeToChannel(const std::string& data) {
    auto channel = targetChannel();
    if (!channel) return;
    channel->writeData(data);
    if (channel->queuedBytes() < ChannelQueueLimit)
        channelWroteData();
    else
        awaitingChannelWrite_ = true;
}

// --- the channel's callbacks, moved onto the queue. A bridge is the delegate
// of one channel only, and hears nothing from it once disconnected.

// Packets that come while the queue is busy gather in the inbox and go in
// one hop. Everything not yet written to the client counts, and the channel
// stops reading above the high mark, before the queue even runs.
void HalvexBridgeConnection::didReadStdoutData(HalvexChannel& channel, std::string_view data) {
    {
        std::lock_guard lock(flowMutex_);
        inbox_.append(data);
        channelBytesPending_ += data.size();
        if (!channelPaused_ && channelBytesPending_ > ChannelHighWater) {
            channelPaused_ = true;
            channel.pauseReading();
        }
        if (inboxPosted_) return;
        inboxPosted_ = true;
    }
    onQueue([](HalvexBridgeConnection& self) {
        std::string data;
        {
            std::lock_guard lock(self.flowMutex_);
            data.swap(self.inbox_);
            self.inboxPosted_ = false;
        }
        if (!data.empty()) self.channelData(std::move(data));
    });
}

void HalvexBridgeConnection::channelDidWriteData(HalvexChannel&) {
    onQueue([](HalvexBridgeConnection& self) {
        if (!self.awaitingChannelWrite_) return;
        self.awaitingChannelWrite_ = false;
        self.channelWroteData();
    });
}

void HalvexBridgeConnection::channelDidOpen(HalvexChannel&) {
    onQueue([](HalvexBridgeConnection& self) { self.channelOpened(); });
}

bool HalvexBridgeConnection::channelDidReceiveEOF(HalvexChannel&) {
    onQueue([](HalvexBridgeConnection& self) { self.channelEnded(); });
    return true; // the client may still have bytes for the target
}

void HalvexBridgeConnection::channelDidClose(HalvexChannel&, const std::optional<Error>& error) {
    onQueue([error](HalvexBridgeConnection& self) {
        {
            std::lock_guard lock(self.mutex_);
            self.targetChannel_.reset();
        }
        self.channelClosed(error);
    });
}

// --- the relay between the client socket and the target channel

void HalvexBridgeConnection::readClientChunk() {
    if (auto client = clientSocket()) client->readDataWithTimeout(0, RelayChunk, 0);
}

void HalvexBridgeConnection::didReadData(GCDAsyncSocket&, std::string data, long) {
    writeToChannel(data);
}

void HalvexBridgeConnection::channelWroteData() {
    readClientChunk();
}

void HalvexBridgeConnection::channelData(std::string data) {
    if (auto client = clientSocket()) relayChannelData(*client, std::move(data), 0);
}

void HalvexBridgeConnection::didWriteDataWithTag(GCDAsyncSocket&, long) {
    channelDataWritten();
}

void HalvexBridgeConnection::socketDidCloseReadStream(GCDAsyncSocket&) {
    if (auto channel = targetChannel()) channel->sendEOF();
}

void HalvexBridgeConnection::channelEnded() {
    if (auto client = clientSocket()) client->closeWriteStreamAfterWriting();
}

void HalvexBridgeConnection::channelClosed(const std::optional<Error>&) {
    if (auto client = clientSocket()) client->disconnectAfterWriting();
}

void HalvexBridgeConnection::socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) {
    closeTargetChannel();
    reportBreak(error);
}
