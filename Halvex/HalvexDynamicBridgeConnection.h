#pragma once

#include "Halvex/HalvexBridgeConnection.h"

class HalvexSession;

// The local proxy endpoint of a dynamic forwarding: it reads the client's
// first byte and speaks SOCKS5 (no authentication, CONNECT only), HTTP
// CONNECT or plain HTTP proxy to it, asks its delegate how to reach the
// target, and relays through an SSH direct channel or directly from this
// machine.
class HalvexDynamicBridgeConnection : public HalvexBridgeConnection {
public:
    // Proxy kinds, numbered as the session's proxy types.
    enum ProxyType : long { SOCKS5 = 0, PlainHTTP = 2, HTTPConnect = 4 };
    // A request head larger than this gets the 502 reply.
    static constexpr size_t RequestHeadLimit = 16384;

    static std::shared_ptr<HalvexDynamicBridgeConnection>
    make(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate = {});

    // Takes the accepted socket and the session that opens direct channels,
    // and starts the handshake.
    void bridgeClientSocket(std::shared_ptr<GCDAsyncSocket> socket, std::weak_ptr<HalvexSession> session);

    std::string targetHost() const;
    uint16_t targetPort() const;
    // "<HalvexDynamicBridgeConnection:0x… host:… port:…>"
    std::string description() const;

private:
    using HalvexBridgeConnection::HalvexBridgeConnection;

    void didConnectToHost(GCDAsyncSocket&, const std::string& host, uint16_t port) override;
    void didReadData(GCDAsyncSocket&, std::string data, long tag) override;
    void didWriteDataWithTag(GCDAsyncSocket&, long tag) override;
    double shouldTimeoutReadWithTag(GCDAsyncSocket&, long tag, double elapsed, size_t bytesDone) override;
    void socketDidCloseReadStream(GCDAsyncSocket&) override;
    void socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) override;

    void channelOpened() override;
    void channelData(std::string data) override;
    void channelWroteData() override;
    void channelEnded() override;
    void channelClosed(const std::optional<Error>& error) override;

    bool isClient(const GCDAsyncSocket& socket) const { return &socket == clientSocket().get(); }
    void readClient(size_t length, long tag);
    void socksStep(const std::string& data, long tag);
    void httpHead(const std::string& data, long tag);
    void refuse(unsigned char code, const char* why);
    void badGateway();
    void setTarget(std::string host, uint16_t port);
    void connectTarget(double timeout);
    void openChannel();
    void targetEnded(const std::optional<Error>& error);

    mutable std::mutex targetMutex_;
    std::string targetHost_; // guarded by targetMutex_
    uint16_t targetPort_ = 0;
    bool hasTarget_ = false;

    // Queue only.
    std::weak_ptr<HalvexSession> session_;
    unsigned char firstCharacter_ = 0;
    long proxyType_ = SOCKS5;
    long mode_ = HalvexBridgeModeHandshake;
    unsigned char methodCount_ = 0;
    unsigned char command_ = 0;
    unsigned char nameLength_ = 0;
    std::optional<std::string> waitingRequest_;
    bool hasReceivedData_ = false;
};
