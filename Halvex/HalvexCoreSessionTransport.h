#pragma once

#include "Halvex/HalvexSessionTransport.h"

#include <memory>

// The transport over a real HalvexSession: every call goes to the session and
// every session event comes back to the delegate with this object as sender.
// The session holds this object weakly as its delegate, and an event in
// progress keeps it alive; once the last owner lets it go the attempt ends
// without further events.
class HalvexCoreSessionTransport final : public HalvexSessionTransport,
                                         public HalvexSessionDelegate,
                                         public std::enable_shared_from_this<HalvexCoreSessionTransport> {
public:
    static std::shared_ptr<HalvexCoreSessionTransport>
    make(std::weak_ptr<HalvexSessionTransportDelegate> delegate);
    ~HalvexCoreSessionTransport() override;

    void enableProxy(long type, const std::string& host, uint16_t port) override;
    void enableProxy(long type, const std::string& host, uint16_t port, const std::string& user,
                     const std::string& password) override;
    void setEnableCompression(bool enable) override;
    void setEnableIPv4(bool enable) override;
    void setEnableIPv6(bool enable) override;
    void setCiphers(const std::string& ciphers) override;
    void setHostKeyAlgorithms(const std::string& algorithms) override;
    void setKeyExchangeAlgorithms(const std::string& algorithms) override;
    void setServerAliveCountMax(long count) override;
    void setLogDebug(HalvexLogSink sink) override;
    void setLogInfo(HalvexLogSink sink) override;
    void setLogWarn(HalvexLogSink sink) override;
    void setLogError(HalvexLogSink sink) override;
    void setLogFatal(HalvexLogSink sink) override;
    void connectToHost(const std::string& host, uint16_t port, const std::string& interface,
                       const std::string& user, double timeout) override;
    void disconnect() override;
    std::string host() const override;
    uint16_t port() const override;
    std::string hostIP() const override;
    void authenticateByPasswordHandler(HalvexPasswordHandler handler) override;
    void authenticateByPrivateKeyBase64(const std::string& keyText) override;
    void authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser> parser) override;
    void authenticateByInteractiveHandler(HalvexInteractiveHandler handler) override;
    std::shared_ptr<HalvexSession> halvexSession() const override { return session_; }

    // HalvexSessionDelegate, on the session's I/O thread.
    void keyboardInteractiveRequest(HalvexSession&, const HalvexInteractiveRequest& request) override;
    void didConnectToHost(HalvexSession&, const std::string& host, uint16_t port) override;
    void didDisconnectWithError(HalvexSession&, const std::optional<Error>& error) override;
    void didReceiveIssueBanner(HalvexSession&, const std::string& banner) override;
    bool shouldConnectWithHostKey(HalvexSession&, const std::shared_ptr<HalvexHostKeyParser>& key) override;
    std::optional<Error> authenticateWithAllowedMethods(HalvexSession&,
                                                        const std::vector<std::string>& methods,
                                                        bool partialSuccess) override;
    void didAuthenticateUser(HalvexSession&, const std::string& user) override;
    void didOpenForwardChannel(HalvexSession&, const std::shared_ptr<HalvexForwardChannel>& channel) override;

private:
    explicit HalvexCoreSessionTransport(std::weak_ptr<HalvexSessionTransportDelegate> delegate);

    std::weak_ptr<HalvexSessionTransportDelegate> delegate_;
    std::shared_ptr<HalvexSession> session_;
};
