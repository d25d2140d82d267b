#include "HalvexCore/HalvexSession.h"

#include "HalvexCore/HalvexChannel.h"
#include "HalvexCore/HalvexSessionCore.h"
#include "HalvexCore/HalvexShellChannel.h"

HalvexSession::HalvexSession() : core_(std::make_shared<HalvexSessionCore>()) {}

std::shared_ptr<HalvexSession> HalvexSession::make(std::weak_ptr<HalvexSessionDelegate> delegate) {
    std::shared_ptr<HalvexSession> session(new HalvexSession());
    session->core_->owner = session;
    session->core_->delegate = std::move(delegate);
    return session;
}

// The attempt ends without callbacks: there is no session left to report on.
HalvexSession::~HalvexSession() {
    core_->requestDisconnect();
}

void HalvexSession::setDelegate(std::weak_ptr<HalvexSessionDelegate> delegate) {
    std::lock_guard lock(core_->mutex);
    core_->delegate = std::move(delegate);
}

std::shared_ptr<HalvexSessionDelegate> HalvexSession::delegate() const {
    std::lock_guard lock(core_->mutex);
    return core_->delegate.lock();
}

void HalvexSession::enableProxy(long type, const std::string& host, uint16_t port) {
    std::lock_guard lock(core_->mutex);
    auto& c = core_->config;
    c.proxyEnabled = true;
    c.proxyType = type;
    c.proxyHost = host;
    c.proxyPort = port;
    c.proxyAuth = false;
    c.proxyUser.clear();
    c.proxyPassword.clear();
}

void HalvexSession::enableProxy(long type, const std::string& host, uint16_t port, const std::string& user,
                                const std::string& password) {
    enableProxy(type, host, port);
    std::lock_guard lock(core_->mutex);
    auto& c = core_->config;
    c.proxyAuth = true;
    c.proxyUser = user;
    c.proxyPassword = password;
}

#define HALVEX_SETTER(name, field, type)                                                                     \
    void HalvexSession::name(type value) {                                                                   \
        std::lock_guard lock(core_->mutex);                                                                  \
        core_->config.field = value;                                                                         \
    }
HALVEX_SETTER(setEnableCompression, compression, bool)
HALVEX_SETTER(setEnableIPv4, ipv4, bool)
HALVEX_SETTER(setEnableIPv6, ipv6, bool)
HALVEX_SETTER(setCiphers, ciphers, const std::string&)
HALVEX_SETTER(setHostKeyAlgorithms, hostKeyAlgorithms, const std::string&)
HALVEX_SETTER(setKeyExchangeAlgorithms, keyExchangeAlgorithms, const std::string&)
HALVEX_SETTER(setServerAliveCountMax, serverAliveCountMax, long)
#undef HALVEX_SETTER

#define HALVEX_SINK(name, field)                                                                             \
    void HalvexSession::name(HalvexLogSink sink) {                                                           \
        std::lock_guard lock(core_->mutex);                                                                  \
        core_->config.field = std::move(sink);                                                               \
    }
HALVEX_SINK(setLogDebug, logDebug)
HALVEX_SINK(setLogInfo, logInfo)
HALVEX_SINK(setLogWarn, logWarn)
HALVEX_SINK(setLogError, logError)
HALVEX_SINK(setLogFatal, logFatal)
#undef HALVEX_SINK

bool HalvexSession::enableIPv4() const {
    std::lock_guard lock(core_->mutex);
    return core_->config.ipv4;
}

bool HalvexSession::enableIPv6() const {
    std::lock_guard lock(core_->mutex);
    return core_->config.ipv6;
}

void HalvexSession::connectToHost(const std::string& host, uint16_t port, const std::string& user,
                                  double timeout) {
    connectToHost(host, port, std::string(), user, timeout);
}

void HalvexSession::connectToHost(const std::string& host, uint16_t port, const std::string& interface,
                                  const std::string& user, double timeout) {
    {
        std::lock_guard lock(core_->mutex);
        if (core_->started) return;
        core_->started = true;
        auto& c = core_->config;
        c.host = host;
        c.port = port;
        c.interfaceName = interface;
        c.user = user;
        c.timeout = timeout;
    }
    core_->start();
}

void HalvexSession::disconnect() {
    core_->requestDisconnect();
}

std::string HalvexSession::host() const {
    std::lock_guard lock(core_->mutex);
    return core_->config.host;
}

uint16_t HalvexSession::port() const {
    std::lock_guard lock(core_->mutex);
    return core_->config.port;
}

std::string HalvexSession::hostIP() const {
    std::lock_guard lock(core_->mutex);
    return core_->hostIP;
}

void HalvexSession::authenticateByPasswordHandler(HalvexPasswordHandler handler) {
    std::lock_guard lock(core_->mutex);
    core_->authChoice = {};
    core_->authChoice.kind = HalvexSessionCore::AuthChoice::Kind::Password;
    core_->authChoice.password = std::move(handler);
}

void HalvexSession::authenticateByPrivateKeyBase64(const std::string& keyText) {
    std::lock_guard lock(core_->mutex);
    core_->authChoice = {};
    core_->authChoice.kind = HalvexSessionCore::AuthChoice::Kind::KeyText;
    core_->authChoice.keyText = keyText;
}

void HalvexSession::authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser> parser) {
    std::lock_guard lock(core_->mutex);
    core_->authChoice = {};
    core_->authChoice.kind = HalvexSessionCore::AuthChoice::Kind::KeyParser;
    core_->authChoice.keyParser = std::move(parser);
}

void HalvexSession::authenticateByInteractiveHandler(HalvexInteractiveHandler handler) {
    std::lock_guard lock(core_->mutex);
    core_->authChoice = {};
    core_->authChoice.kind = HalvexSessionCore::AuthChoice::Kind::Interactive;
    core_->authChoice.interactive = std::move(handler);
}

std::shared_ptr<HalvexShellChannel>
HalvexSession::openShellChannel(const std::string& terminalType, long columns, long rows,
                                std::weak_ptr<HalvexShellChannelDelegate> delegate) {
    std::shared_ptr<HalvexShellChannel> channel(
        new HalvexShellChannel(core_, weak_from_this(), std::move(delegate)));
    auto& io = *channel->io_;
    io.kind = HalvexChannelIO::Kind::Shell;
    io.terminalType = terminalType.empty() ? "xterm-256color" : terminalType;
    io.columns = columns;
    io.rows = rows;
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Open);
    command.channel = channel;
    core_->post(std::move(command));
    return channel;
}

std::shared_ptr<HalvexChannel>
HalvexSession::openDirectChannel(const std::string& targetHost, uint16_t port,
                                 std::weak_ptr<HalvexChannelDelegate> delegate) {
    std::shared_ptr<HalvexChannel> channel(new HalvexChannel(core_, weak_from_this(), std::move(delegate)));
    auto& io = *channel->io_;
    io.kind = HalvexChannelIO::Kind::Direct;
    io.host = targetHost;
    io.port = port;
    HalvexSessionCore::Command command(HalvexSessionCore::Command::Type::Open);
    command.channel = channel;
    core_->post(std::move(command));
    return channel;
}

namespace {
HalvexSessionCore::Command forwardCommand(HalvexSessionCore::Command::Type type,
                                          const std::optional<std::string>& listenHost, uint16_t listenPort,
                                          HalvexForwardCompletion completion) {
    HalvexSessionCore::Command command(type);
    command.listenHost = listenHost;
    command.listenPort = listenPort;
    command.completion = std::move(completion);
    return command;
}
} // namespace

void HalvexSession::enqueueForwardRequest(const std::optional<std::string>& listenHost, uint16_t listenPort,
                                          HalvexForwardCompletion completion) {
    core_->post(forwardCommand(HalvexSessionCore::Command::Type::Forward, listenHost, listenPort,
                               std::move(completion)));
}

void HalvexSession::cancelForwardRequest(const std::optional<std::string>& listenHost, uint16_t listenPort,
                                         HalvexForwardCompletion completion) {
    core_->post(forwardCommand(HalvexSessionCore::Command::Type::CancelForward, listenHost, listenPort,
                               std::move(completion)));
}
