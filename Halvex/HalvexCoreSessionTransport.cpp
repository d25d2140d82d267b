#include "Halvex/HalvexCoreSessionTransport.h"

#include "HalvexCore/HalvexHostKeyParser.h"

std::shared_ptr<HalvexCoreSessionTransport>
HalvexCoreSessionTransport::make(std::weak_ptr<HalvexSessionTransportDelegate> delegate) {
    std::shared_ptr<HalvexCoreSessionTransport> transport(
        new HalvexCoreSessionTransport(std::move(delegate)));
    transport->session_ = HalvexSession::make(transport);
    return transport;
}

HalvexCoreSessionTransport::HalvexCoreSessionTransport(std::weak_ptr<HalvexSessionTransportDelegate> delegate)
    : delegate_(std::move(delegate)) {}

HalvexCoreSessionTransport::~HalvexCoreSessionTransport() = default;

void HalvexCoreSessionTransport::enableProxy(long type, const std::string& host, uint16_t port) {
    session_->enableProxy(type, host, port);
}
void HalvexCoreSessionTransport::enableProxy(long type, const std::string& host, uint16_t port,
                                             const std::string& user, const std::string& password) {
    session_->enableProxy(type, host, port, user, password);
}
void HalvexCoreSessionTransport::setEnableCompression(bool enable) {
    session_->setEnableCompression(enable);
}
void HalvexCoreSessionTransport::setEnableIPv4(bool enable) {
    session_->setEnableIPv4(enable);
}
void HalvexCoreSessionTransport::setEnableIPv6(bool enable) {
    session_->setEnableIPv6(enable);
}
void HalvexCoreSessionTransport::setCiphers(const std::string& ciphers) {
    session_->setCiphers(ciphers);
}
void HalvexCoreSessionTransport::setHostKeyAlgorithms(const std::string& algorithms) {
    session_->setHostKeyAlgorithms(algorithms);
}
void HalvexCoreSessionTransport::setKeyExchangeAlgorithms(const std::string& algorithms) {
    session_->setKeyExchangeAlgorithms(algorithms);
}
void HalvexCoreSessionTransport::setServerAliveCountMax(long count) {
    session_->setServerAliveCountMax(count);
}
void HalvexCoreSessionTransport::setLogDebug(HalvexLogSink sink) {
    session_->setLogDebug(std::move(sink));
}
void HalvexCoreSessionTransport::setLogInfo(HalvexLogSink sink) {
    session_->setLogInfo(std::move(sink));
}
void HalvexCoreSessionTransport::setLogWarn(HalvexLogSink sink) {
    session_->setLogWarn(std::move(sink));
}
void HalvexCoreSessionTransport::setLogError(HalvexLogSink sink) {
    session_->setLogError(std::move(sink));
}
void HalvexCoreSessionTransport::setLogFatal(HalvexLogSink sink) {
    session_->setLogFatal(std::move(sink));
}

void HalvexCoreSessionTransport::connectToHost(const std::string& host, uint16_t port,
                                               const std::string& interface, const std::string& user,
                                               double timeout) {
    session_->connectToHost(host, port, interface, user, timeout);
}
void HalvexCoreSessionTransport::disconnect() {
    session_->disconnect();
}
std::string HalvexCoreSessionTransport::host() const {
    return session_->host();
}
uint16_t HalvexCoreSessionTransport::port() const {
    return session_->port();
}
std::string HalvexCoreSessionTransport::hostIP() const {
    return session_->hostIP();
}

void HalvexCoreSessionTransport::authenticateByPasswordHandler(HalvexPasswordHandler handler) {
    session_->authenticateByPasswordHandler(std::move(handler));
}
void HalvexCoreSessionTransport::authenticateByPrivateKeyBase64(const std::string& keyText) {
    session_->authenticateByPrivateKeyBase64(keyText);
}
void HalvexCoreSessionTransport::authenticateByPrivateKeyParser(
    std::shared_ptr<HalvexPrivateKeyParser> parser) {
    session_->authenticateByPrivateKeyParser(std::move(parser));
}
void HalvexCoreSessionTransport::authenticateByInteractiveHandler(HalvexInteractiveHandler handler) {
    session_->authenticateByInteractiveHandler(std::move(handler));
}

void HalvexCoreSessionTransport::keyboardInteractiveRequest(HalvexSession&,
                                                            const HalvexInteractiveRequest& r) {
    if (auto d = delegate_.lock()) d->keyboardInteractiveRequest(*this, r);
}
void HalvexCoreSessionTransport::didConnectToHost(HalvexSession&, const std::string& host, uint16_t port) {
    if (auto d = delegate_.lock()) d->didConnectToHost(*this, host, port);
}
void HalvexCoreSessionTransport::didDisconnectWithError(HalvexSession&, const std::optional<Error>& error) {
    if (auto d = delegate_.lock()) d->didDisconnectWithError(*this, error);
}
void HalvexCoreSessionTransport::didReceiveIssueBanner(HalvexSession&, const std::string& banner) {
    if (auto d = delegate_.lock()) d->didReceiveIssueBanner(*this, banner);
}
bool HalvexCoreSessionTransport::shouldConnectWithHostKey(HalvexSession&,
                                                          const std::shared_ptr<HalvexHostKeyParser>& key) {
    // Nobody left to check the key: refuse rather than trust it unasked.
    auto d = delegate_.lock();
    if (!d || !key) return false;
    return d->shouldConnectWithHostKey(*this, key);
}
std::optional<Error> HalvexCoreSessionTransport::authenticateWithAllowedMethods(
    HalvexSession&, const std::vector<std::string>& methods, bool partialSuccess) {
    if (auto d = delegate_.lock()) return d->authenticateWithAllowedMethods(*this, methods, partialSuccess);
    return std::nullopt;
}
void HalvexCoreSessionTransport::didAuthenticateUser(HalvexSession&, const std::string& user) {
    if (auto d = delegate_.lock()) d->didAuthenticateUser(*this, user);
}
void HalvexCoreSessionTransport::didOpenForwardChannel(HalvexSession&,
                                                       const std::shared_ptr<HalvexForwardChannel>& channel) {
    if (auto d = delegate_.lock()) d->didOpenForwardChannel(*this, channel);
}
