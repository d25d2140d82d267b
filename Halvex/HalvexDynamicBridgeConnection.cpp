#include "Halvex/HalvexDynamicBridgeConnection.h"

#include "Foundation/Log.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexSession.h"
#include "HalvexCore/VyHTTPMessage.h"

#include <arpa/inet.h>
#include <cstdio>

namespace {

// Read and write tags.
enum : long {
    TagPlain = 0,
    TagMethodCount = 6,
    TagMethods = 7,
    TagRequestHeader = 10,
    TagAddressType = 11,
    TagIPv4 = 12,
    TagIPv6 = 13,
    TagNameLength = 14,
    TagName = 15,
    TagPort = 16,
    TagReplyThenSocket = 100,
    TagReplyThenChannel = 101,
    TagToTarget = 102,
    TagToClient = 103,
    TagChannelToClient = 105,
    TagHTTPHead = 500,
    TagConnectHead = 600,
    TagFirstByte = 1000,
    TagFirstRelayRead = 1001,
    TagClientRelayRead = 1002,
    TagTargetRelayRead = 1003,
};

constexpr double kTargetTimeout = 5.0;

const std::string kConnectReply = "HTTP/1.1 200 Connection established\r\n"
                                  "Proxy-agent: Brimble Proxy 2.0\r\n"
                                  "\r\n";
const std::string kBadGateway = "HTTP/1.1 502 Bad Gateway\r\n"
                                "Proxy-agent: Brimble Proxy 2.0\r\n"
                                "Content-Length: 11\r\n"
                                "Connection: Close\r\n"
                                "\r\n"
                                "Bad Gateway";

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUTF8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            n = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            n = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n + 1;
    }
    return true;
}

// A port written in a request target: 1 to 65535, digits only.
std::optional<uint16_t> requestPort(const std::string& text) {
    if (text.empty()) return uint16_t(80);
    if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    unsigned long value = std::stoul(text);
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

bool isPeerClose(const Error& e) {
    return e.domain == GCDAsyncSocketErrorDomain && e.code == GCDAsyncSocketClosedError;
}

} // namespace

std::shared_ptr<HalvexDynamicBridgeConnection>
HalvexDynamicBridgeConnection::make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate) {
    return std::shared_ptr<HalvexDynamicBridgeConnection>(
        new HalvexDynamicBridgeConnection(std::move(delegate)));
}

void HalvexDynamicBridgeConnection::bridgeClientSocket(std::shared_ptr<GCDAsyncSocket> socket,
                                                       std::weak_ptr<HalvexSession> session) {
    if (!socket) return;
    adoptClientSocket(std::move(socket));
    onQueue([session](HalvexBridgeConnection& base) {
        auto& self = static_cast<HalvexDynamicBridgeConnection&>(base);
        self.session_ = session;
        self.mode_ = HalvexBridgeModeHandshake;
        self.readClient(1, TagFirstByte);
    });
}

std::string HalvexDynamicBridgeConnection::targetHost() const {
    std::lock_guard lock(targetMutex_);
    return targetHost_;
}

uint16_t HalvexDynamicBridgeConnection::targetPort() const {
    std::lock_guard lock(targetMutex_);
    return targetPort_;
}

std::string HalvexDynamicBridgeConnection::description() const {
    std::string host;
    uint16_t port;
    {
        std::lock_guard lock(targetMutex_);
        host = hasTarget_ ? targetHost_ : "(null)";
        port = targetPort_;
    }
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return "<HalvexDynamicBridgeConnection:" + std::string(address) + " host:" + host +
           " port:" + std::to_string(port) + ">";
}

void HalvexDynamicBridgeConnection::setTarget(std::string host, uint16_t port) {
    std::lock_guard lock(targetMutex_);
    targetHost_ = std::move(host);
    targetPort_ = port;
    hasTarget_ = true;
}

void HalvexDynamicBridgeConnection::readClient(size_t length, long tag) {
    if (auto client = clientSocket()) client->readDataToLength(length, 0, tag);
}

// --- the handshake

void HalvexDynamicBridgeConnection::refuse(unsigned char code, const char* why) {
    Log::info("{} refused: {}", description(), why);
    auto client = clientSocket();
    if (!client) return;
    client->writeData(std::string{5, static_cast<char>(code), 0}, 0, TagPlain);
    client->disconnectAfterReadingAndWriting();
}

void HalvexDynamicBridgeConnection::badGateway() {
    auto client = clientSocket();
    if (!client) return;
    client->writeData(kBadGateway, 0, TagPlain);
    client->disconnectAfterReadingAndWriting();
}

void HalvexDynamicBridgeConnection::didReadData(GCDAsyncSocket& socket, std::string data, long tag) {
    if (!isClient(socket)) {
        // From the target (direct mode): on to the client, then read again.
        hasReceivedData_ = true;
        if (auto client = clientSocket()) client->writeData(std::move(data), 0, TagToClient);
        return;
    }
    switch (tag) {
    case TagFirstByte: {
        firstCharacter_ = data.empty() ? 0 : static_cast<unsigned char>(data[0]);
        auto client = clientSocket();
        if (firstCharacter_ == 'C') {
            proxyType_ = HTTPConnect;
            client->readDataToData("\r\n\r\n", 0, RequestHeadLimit - 1, TagConnectHead);
        } else if (firstCharacter_ < 'A') {
            proxyType_ = SOCKS5;
            socksStep(data, tag);
        } else {
            proxyType_ = PlainHTTP;
            client->readDataToData("\r\n\r\n", 0, RequestHeadLimit - 1, TagHTTPHead);
        }
        break;
    }
    case TagConnectHead:
    case TagHTTPHead:
        httpHead(data, tag);
        break;
    case TagFirstRelayRead:
    case TagClientRelayRead:
        if (mode_ == HalvexBridgeModeChannel) {
            writeToChannel(data);
        } else if (auto target = targetSocket()) {
            target->writeData(std::move(data), kTargetTimeout, TagToTarget);
        }
        break;
    default:
        socksStep(data, tag);
        break;
    }
}

void HalvexDynamicBridgeConnection::socksStep(const std::string& data, long tag) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(data[i]); };
    auto client = clientSocket();
    if (!client) return;
    switch (tag) {
    case TagFirstByte:
        if (data.size() != 1 || byte(0) != 5) return refuse(5, "Invalid SOCKS protocol version.");
        return readClient(1, TagMethodCount);
    case TagMethodCount:
        if (data.size() != 1) return refuse(5, "Unable to retrieve number of authentication methods.");
        methodCount_ = byte(0);
        // Zero methods: there is nothing to wait for.
        if (methodCount_ == 0) return refuse(5, "No supported authentication method.");
        return readClient(methodCount_, TagMethods);
    case TagMethods:
        if (data.size() != methodCount_) return refuse(5, "Could not read authentication methods");
        if (data.find('\0') == std::string::npos) return refuse(5, "No supported authentication method.");
        client->writeData(std::string("\x05\x00", 2), 0, TagPlain);
        return readClient(3, TagRequestHeader);
    case TagRequestHeader:
        if (data.size() != 3) return refuse(5, "Could not read request header.");
        if (byte(0) != 5) return refuse(5, "Invalid SOCKS protocol version.");
        command_ = byte(1);
        return readClient(1, TagAddressType);
    case TagAddressType:
        if (data.size() != 1) return refuse(5, "Could not read address type.");
        switch (byte(0)) {
        case 1:
            return readClient(4, TagIPv4);
        case 4:
            return readClient(16, TagIPv6);
        case 3:
            return readClient(1, TagNameLength);
        default:
            return refuse(8, "Address type not supported");
        }
    case TagIPv4:
    case TagIPv6: {
        bool v4 = tag == TagIPv4;
        char text[INET6_ADDRSTRLEN] = {};
        if (data.size() != (v4 ? 4u : 16u) ||
            !inet_ntop(v4 ? AF_INET : AF_INET6, data.data(), text, sizeof text))
            return refuse(5, v4 ? "Could not read IPv4 address." : "Could not read IPv6 address.");
        setTarget(text, 0);
        return readClient(2, TagPort);
    }
    case TagNameLength:
        if (data.size() != 1) return refuse(5, "Could not read domain name length.");
        nameLength_ = byte(0);
        // An empty name names nothing; reading zero bytes would never end.
        if (nameLength_ == 0) return refuse(5, "Could not read domain name");
        return readClient(nameLength_, TagName);
    case TagName:
        if (data.size() != nameLength_ || data.find('\0') != std::string::npos || !isUTF8(data))
            return refuse(5, "Could not read domain name");
        setTarget(data, 0);
        return readClient(2, TagPort);
    case TagPort: {
        if (data.size() != 2) return refuse(5, "Could not read port.");
        setTarget(targetHost(), static_cast<uint16_t>(byte(0) << 8 | byte(1)));
        if (command_ != 1) return refuse(7, "Command type not supported.");
        mode_ = chooseMode(targetHost());
        // Succeeded, bound to 0.0.0.0 port 0: sent before the target is reached.
        client->writeData(std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10), 0,
                          mode_ == HalvexBridgeModeChannel ? TagReplyThenChannel : TagReplyThenSocket);
        return;
    }
    default:
        return;
    }
}

void HalvexDynamicBridgeConnection::httpHead(const std::string& data, long tag) {
    std::string head(1, static_cast<char>(firstCharacter_));
    head += data;
    // A head that filled the limit without its blank line gets no more time.
    if (!head.ends_with("\r\n\r\n")) return badGateway();
    auto message = VyHTTPMessage::makeRequestWithData(head);
    if (!message) return badGateway();
    VyURL url = message->url();
    if (url.host.empty() && !url.text.empty()) url = VyURL::parse("http://" + url.text);
    auto port = requestPort(url.portText);
    if (url.host.empty() || !port) return badGateway();
    setTarget(url.host, *port);
    mode_ = chooseMode(url.host);
    if (tag == TagConnectHead) {
        if (auto client = clientSocket())
            client->writeData(kConnectReply, 0,
                              mode_ == HalvexBridgeModeChannel ? TagReplyThenChannel : TagReplyThenSocket);
        return;
    }
    // The head goes on rewritten: the origin closes after its answer, and the
    // proxy's own fields stay here.
    message->setHeaderField("Connection", "Close");
    message->removeHeaderField("Proxy-Authorization");
    message->removeHeaderField("Proxy-Connection");
    waitingRequest_ = message->serializedData();
    if (mode_ == HalvexBridgeModeChannel)
        openChannel();
    else
        connectTarget(0);
}

// --- reaching the target

void HalvexDynamicBridgeConnection::connectTarget(double timeout) {
    auto target = makeSocket();
    if (!setTargetSocket(target)) return;
    Error error;
    if (target->connectToHost(targetHost(), targetPort(), timeout, &error)) return;
    reportBreak(error);
    if (auto client = clientSocket()) client->disconnectAfterReadingAndWriting();
}

void HalvexDynamicBridgeConnection::openChannel() {
    auto session = session_.lock();
    if (!session) {
        reportTargetBreak(Error(HalvexCoreErrorDomain, HalvexCoreErrorChannel, "The SSH session has ended"),
                          mode_, targetHost(), targetPort());
        if (auto client = clientSocket()) client->disconnectAfterWriting();
        return;
    }
    setTargetChannel(session->openDirectChannel(targetHost(), targetPort(), weak_from_this()));
}

void HalvexDynamicBridgeConnection::didWriteDataWithTag(GCDAsyncSocket& socket, long tag) {
    if (!isClient(socket)) {
        // A chunk (or the waiting request) is at the target: read the next.
        if (tag != TagToTarget) return;
        if (auto client = clientSocket()) client->readDataWithTimeout(0, RelayChunk, TagClientRelayRead);
        return;
    }
    switch (tag) {
    case TagReplyThenSocket:
        connectTarget(kTargetTimeout);
        break;
    case TagReplyThenChannel:
        openChannel();
        break;
    case TagToClient:
        if (auto target = targetSocket())
            target->readDataWithTimeout(kTargetTimeout, RelayChunk, TagTargetRelayRead);
        break;
    case TagChannelToClient:
        channelDataWritten();
        break;
    default:
        break;
    }
}

void HalvexDynamicBridgeConnection::didConnectToHost(GCDAsyncSocket& socket, const std::string&, uint16_t) {
    auto target = targetSocket();
    if (isClient(socket) || !target) return;
    if (waitingRequest_) {
        target->writeData(std::move(*waitingRequest_), kTargetTimeout, TagToTarget);
        waitingRequest_.reset();
    } else if (auto client = clientSocket()) {
        client->readDataWithTimeout(0, RelayChunk, TagFirstRelayRead);
    }
    target->readDataWithTimeout(kTargetTimeout, RelayChunk, TagFirstRelayRead);
}

// The target's reads never end for lack of data: an idle connection is not
// an error.
double HalvexDynamicBridgeConnection::shouldTimeoutReadWithTag(GCDAsyncSocket&, long, double, size_t) {
    return kTargetTimeout;
}

// --- channel mode

void HalvexDynamicBridgeConnection::channelOpened() {
    if (waitingRequest_) {
        writeToChannel(*waitingRequest_);
        waitingRequest_.reset();
    } else if (auto client = clientSocket()) {
        client->readDataWithTimeout(0, RelayChunk, TagClientRelayRead);
    }
}

void HalvexDynamicBridgeConnection::channelWroteData() {
    if (auto client = clientSocket()) client->readDataWithTimeout(0, RelayChunk, TagClientRelayRead);
}

void HalvexDynamicBridgeConnection::channelData(std::string data) {
    hasReceivedData_ = true;
    if (auto client = clientSocket()) relayChannelData(*client, std::move(data), TagChannelToClient);
}

void HalvexDynamicBridgeConnection::channelEnded() {
    if (auto client = clientSocket()) client->closeWriteStreamAfterWriting();
}

void HalvexDynamicBridgeConnection::channelClosed(const std::optional<Error>& error) {
    if (auto client = clientSocket()) client->disconnectAfterWriting();
    if (error && !(isPeerClose(*error) && hasReceivedData_))
        reportTargetBreak(*error, mode_, targetHost(), targetPort());
}

// --- ends

void HalvexDynamicBridgeConnection::socketDidCloseReadStream(GCDAsyncSocket& socket) {
    if (!isClient(socket)) {
        if (auto client = clientSocket()) client->closeWriteStreamAfterWriting();
        return;
    }
    // Mid-handshake the request can no longer come: what is being written
    // still goes out.
    if (mode_ == HalvexBridgeModeHandshake) {
        socket.disconnectAfterWriting();
        return;
    }
    if (auto channel = targetChannel()) channel->sendEOF();
    if (auto target = targetSocket()) target->closeWriteStreamAfterWriting();
}

void HalvexDynamicBridgeConnection::socketDidDisconnect(GCDAsyncSocket& socket,
                                                        const std::optional<Error>& error) {
    if (!isClient(socket)) {
        targetEnded(error);
        return;
    }
    closeTargetChannel();
    if (auto target = targetSocket()) target->disconnectAfterWriting();
    reportBreak(error);
}

void HalvexDynamicBridgeConnection::targetEnded(const std::optional<Error>& error) {
    Log::info("socketDidDisconnect error: {} {}", description(),
              error ? error->localizedDescription : "(null)");
    if (error && !(isPeerClose(*error) && hasReceivedData_))
        reportTargetBreak(*error, mode_, targetHost(), targetPort());
    if (auto client = clientSocket()) client->disconnectAfterWriting();
}
