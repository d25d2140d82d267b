#include "Halvex/HalvexSessionController.h"

#include "Dispatch/MainQueue.h"
#include "Foundation/Bundle.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexCoreSessionTransport.h"
#include "Halvex/HalvexPreferences.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexPrivateKeyReader.h"
#include "Halvex/HalvexSecretPrompter.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexHostKeyParser.h"
#include "HalvexCore/HalvexPrivateKeyParser.h"
#include "Wendle/WendleDates.h"
#include "Wendle/WendleDispatch.h"
#include "Wendle/WendleFunctions.h"

#include <algorithm>
#include <chrono>
#include <spdlog/fmt/fmt.h>

// What one attempt works on: a copy of the profile taken on the main thread
// when it starts, so the I/O thread never reads fields the user may be
// editing, and the secrets waiting for their login step to succeed.
struct HalvexSessionController::Attempt {
    struct Method {
        std::string name;
        HalvexAuthMethodType type = HalvexAuthMethodTypePassword;
    };
    // A secret the user asked to remember, stored once its step succeeded.
    struct PendingSecret {
        std::function<bool()> store;
        std::string rememberedText;
        std::string failedText;
    };

    const HalvexSessionTransport* transport = nullptr;
    std::string host;
    uint16_t port = 0;
    std::string user;
    bool proxy = false;
    bool checkHostIP = true;
    bool checkHostKey = true;
    std::vector<Method> methods;
    std::shared_ptr<HalvexPrivateKeyModel> key;
    // Set on the main thread when the attempt is being turned off: no more
    // prompts are shown for it.
    std::atomic<bool> stopping{false};
    // The I/O thread's only.
    std::vector<PendingSecret> pending;
};

namespace {

const char* const kKeychain = "keychain";

// The port as the transport and the keychain take it, or nullopt when it is
// not one: never cut to 16 bits, which would reach another server.
std::optional<uint16_t> validPort(const std::optional<std::int64_t>& port) {
    if (!port || *port < 1 || *port > 65535) return std::nullopt;
    return static_cast<uint16_t>(*port);
}

Error invalidPortError(const char* what, const std::optional<std::int64_t>& port) {
    std::string text = port ? std::to_string(*port) : std::string("missing");
    return Error(HalvexCoreErrorDomain, HalvexSessionController::InvalidSettingsError,
                 fmt::format("The {} port ({}) is not a port number from 1 to 65535", what, text));
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const auto& item : items) {
        if (!out.empty()) out += separator;
        out += item;
    }
    return out;
}

std::string proxyTypeName(const HalvexSessionModel& model, std::int64_t type) {
    auto names = model.proxyCommandTypes();
    if (type >= 0 && type < static_cast<std::int64_t>(names.size())) return names[static_cast<size_t>(type)];
    if (type == HalvexProxyTypeHTTPS) return "HTTPS over TLS";
    return "unknown";
}

} // namespace

bool HalvexSessionController::isStopCode(long code) {
    return code == 1 || (code >= 1006 && code <= 1009);
}

HalvexSessionController::HalvexSessionController() : logger_(std::make_unique<VyMMLogger>()) {
    transportFactory_ = [](std::weak_ptr<HalvexSessionTransportDelegate> delegate) {
        return std::shared_ptr<HalvexSessionTransport>(HalvexCoreSessionTransport::make(std::move(delegate)));
    };
    writeHeader();
}

HalvexSessionController::~HalvexSessionController() {
    retry_.cancel();
}

void HalvexSessionController::writeHeader() {
    logger_->logPlain("#Version:    1.0");
    logger_->logPlain(std::string("#Software:   ").append(Bundle::mainBundleName()));
    logger_->logPlain(std::string("#Start-Date: ")
                          .append(stringFromDate(std::chrono::system_clock::now(), "dd-MMM-yyyy HH:mm:ss")));
    logger_->logPlain("#Fields:     time x-comment\n");
}

// --- status

bool HalvexSessionController::canTurnOn(std::int64_t status) {
    return status == HalvexSessionStatusIdle || status == HalvexSessionStatusIdleReserved;
}

bool HalvexSessionController::canTurnOff(std::int64_t status) {
    return (status >= HalvexSessionStatusScheduled && status <= HalvexSessionStatusConnectedReserved) ||
           status == HalvexSessionStatusWaitingToRetry;
}

void HalvexSessionController::setStatusCode(std::int64_t status) {
    willChangeValueForKey("statusCode");
    willChangeValueForKey("canTurnOn");
    willChangeValueForKey("canTurnOff");
    statusCode_.store(status);
    didChangeValueForKey("canTurnOn");
    didChangeValueForKey("canTurnOff");
    didChangeValueForKey("statusCode");
}

std::optional<Error> HalvexSessionController::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void HalvexSessionController::setLastError(std::optional<Error> error) {
    std::lock_guard lock(mutex_);
    lastError_ = std::move(error);
}

void HalvexSessionController::resetRetryRemains() {
    retryRemains_.store(connection_attempts.value_or(0));
}

bool HalvexSessionController::decreaseRetryRemains() {
    if (retryRemains_.load() < 1) return false;
    retryRemains_.fetch_sub(1);
    return true;
}

// --- collaborators

void HalvexSessionController::setTransportFactory(TransportFactory factory) {
    transportFactory_ = std::move(factory);
}

void HalvexSessionController::setPreferences(std::shared_ptr<HalvexPreferences> preferences) {
    std::lock_guard lock(mutex_);
    preferences_ = std::move(preferences);
}

HalvexPreferences& HalvexSessionController::preferences() const {
    std::lock_guard lock(mutex_);
    return preferences_ ? *preferences_ : HalvexPreferences::sharedPreferences();
}

void HalvexSessionController::setSecretPrompter(std::shared_ptr<HalvexSecretPrompter> prompter) {
    std::lock_guard lock(mutex_);
    prompter_ = std::move(prompter);
}

std::shared_ptr<HalvexSecretPrompter> HalvexSessionController::secretPrompter() const {
    std::lock_guard lock(mutex_);
    return prompter_;
}

// --- profile helpers

std::shared_ptr<HalvexKnownHostModel> HalvexSessionController::knownHost() const {
    auto port = validPort(ssh_port);
    if (!port) return nullptr;
    return preferences().getKnownHost(ssh_host.value_or(""), *port);
}

std::string HalvexSessionController::sshHostNotationWithoutPort() const {
    std::string host = ssh_host.value_or("");
    auto known = knownHost();
    if (known && known->host_ip && !known->host_ip->empty() && *known->host_ip != host)
        host.append(" (").append(*known->host_ip).append(")");
    return host;
}

std::string HalvexSessionController::sshHostNotation() const {
    const std::string host = ssh_host.value_or("");
    std::string notation;
    if (auto port = validPort(ssh_port)) {
        notation = WendleGetHostNotation(host, *port);
    } else {
        // Shown as it is, so the user sees what is wrong.
        notation = host.find(':') != std::string::npos ? std::string("[").append(host).append("]") : host;
        notation.append(":").append(ssh_port ? std::to_string(*ssh_port) : std::string());
    }
    auto known = knownHost();
    if (known && known->host_ip && !known->host_ip->empty() && *known->host_ip != host)
        notation.append(" (").append(*known->host_ip).append(")");
    return notation;
}

void HalvexSessionController::setSsh_host(std::optional<std::string> host) {
    willChangeValueForKey("knownHost");
    willChangeValueForKey("sshHostNotation");
    ssh_host = std::move(host);
    didChangeValueForKey("sshHostNotation");
    didChangeValueForKey("knownHost");
}

void HalvexSessionController::setSsh_port(std::optional<std::int64_t> port) {
    willChangeValueForKey("knownHost");
    willChangeValueForKey("sshHostNotation");
    ssh_port = port;
    didChangeValueForKey("sshHostNotation");
    didChangeValueForKey("knownHost");
}

std::shared_ptr<HalvexPrivateKeyModel> HalvexSessionController::privateKey() const {
    if (!private_key || private_key->empty()) return nullptr;
    return HalvexPrivateKeyContainer::sharedPrivateKeyContainer().privateKeyWithId(*private_key);
}

// --- actions

bool HalvexSessionController::syncOnMain(const std::function<void()>& block) {
    return WendleDispatchSyncOnMainQueue(block);
}

bool HalvexSessionController::turnOn() {
    switch (statusCode()) {
    case HalvexSessionStatusConnecting:
        logWarn("Could not open connection, the session is in connecting state");
        return false;
    case HalvexSessionStatusConnected:
        logWarn("Could not open connection, connection already established");
        return false;
    case HalvexSessionStatusAuthenticating:
        logWarn("Could not open connection, the session is in authenticating state");
        return false;
    case HalvexSessionStatusAuthenticated:
    case HalvexSessionStatusConnectedReserved:
        logWarn("Could not open connection, the session is already connected");
        return false;
    case HalvexSessionStatusDisconnecting:
        logWarn("Could not open connection, the session is in disconnecting state");
        return false;
    default:
        // A retry still pending from an earlier attempt must not start a
        // second connection.
        cancelRetry();
        resetRetryRemains();
        return doTurnOn();
    }
}

bool HalvexSessionController::doTurnOn() {
    const auto port = validPort(ssh_port);
    const auto proxyPort = validPort(proxy_command_port);
    const bool proxy = proxy_command.value_or(false);
    if (!port || (proxy && !proxyPort)) {
        Error error =
            !port ? invalidPortError("server", ssh_port) : invalidPortError("proxy", proxy_command_port);
        setLastError(error);
        logError(error.localizedDescription);
        if (statusCode() != HalvexSessionStatusIdle) setStatusCode(HalvexSessionStatusIdle);
        return false;
    }

    setLastError(std::nullopt);
    setStatusCode(HalvexSessionStatusConnecting);

    auto attempt = std::make_shared<Attempt>();
    attempt->host = ssh_host.value_or("");
    attempt->port = *port;
    attempt->user = ssh_user.value_or("");
    attempt->proxy = proxy;
    attempt->checkHostIP = shouldCheckHostIP();
    attempt->checkHostKey = shouldCheckHostKey();
    if (auto methods = auth_methods())
        for (const auto& m : *methods)
            if (m) attempt->methods.push_back({m->method_name().value_or(""), m->methodType()});
    if (auto key = privateKey()) attempt->key = std::static_pointer_cast<HalvexPrivateKeyModel>(key->copy());

    if (session_) session_->disconnect(); // a replaced attempt ends; its late calls are ignored
    auto transport = transportFactory_(weak_from_this());
    attempt->transport = transport.get();
    {
        std::lock_guard lock(mutex_);
        attempt_ = attempt;
    }
    session_ = transport;

    if (proxy) {
        const auto type = proxy_command_type.value_or(0);
        if (proxy_command_auth.value_or(false))
            transport->enableProxy(type, proxy_command_host.value_or(""), *proxyPort,
                                   proxy_command_username.value_or(""), proxy_command_password.value_or(""));
        else
            transport->enableProxy(type, proxy_command_host.value_or(""), *proxyPort);
        logInfo(fmt::format("Connecting to {} port {} through {} proxy ({}:{})", attempt->host, *port,
                            proxyTypeName(*this, type), proxy_command_host.value_or(""), *proxyPort));
    } else {
        logInfo(fmt::format("Connecting to {} port {}", attempt->host, *port));
    }
    logInfo(std::string("Command: ").append(description()));

    transport->setEnableCompression(compression.value_or(false));
    if (ciphers && !ciphers->empty()) transport->setCiphers(*ciphers);
    if (hostkey_algorithms && !hostkey_algorithms->empty())
        transport->setHostKeyAlgorithms(*hostkey_algorithms);
    if (key_exchange_algorithms && !key_exchange_algorithms->empty())
        transport->setKeyExchangeAlgorithms(*key_exchange_algorithms);
    const auto family = address_familly.value_or(2);
    transport->setEnableIPv4(family != 1);
    transport->setEnableIPv6(family != 0);
    transport->setServerAliveCountMax(static_cast<long>(server_alive_count_max.value_or(3)));

    std::weak_ptr<HalvexSessionController> weak = weak_from_this();
    auto sink = [weak](int level) {
        return [weak, level](const std::string& message) {
            if (auto self = weak.lock()) self->logger_->logWithLevel(level, std::string_view(message));
        };
    };
    transport->setLogDebug(sink(VyMMLogLevelDebug));
    transport->setLogInfo(sink(VyMMLogLevelInfo));
    transport->setLogWarn(sink(VyMMLogLevelWarn));
    transport->setLogError(sink(VyMMLogLevelError));
    transport->setLogFatal(sink(VyMMLogLevelFatal));

    // The automatic choice names no interface to bind to.
    std::string interface = connect_interface.value_or("");
    if (interface == AutomaticNetworkInterface) interface.clear();
    if (!interface.empty()) logInfo(std::string("Via network interface ").append(interface));
    transport->connectToHost(attempt->host, *port, interface, attempt->user,
                             static_cast<double>(connection_timeout.value_or(15)));
    return true;
}

void HalvexSessionController::doTurnOff() {
    setStatusCode(HalvexSessionStatusDisconnecting);
    logInfo("Disconnecting…");
    std::shared_ptr<Attempt> attempt;
    {
        std::lock_guard lock(mutex_);
        attempt = attempt_;
    }
    if (attempt) attempt->stopping.store(true);
    if (session_) session_->disconnect();
    // A prompt of this attempt that is open would keep its I/O thread waiting.
    if (promptsOpen_ > 0)
        if (auto prompter = secretPrompter()) prompter->cancelPrompt();
}

bool HalvexSessionController::turnOff() {
    switch (statusCode()) {
    case HalvexSessionStatusConnecting:
    case HalvexSessionStatusConnected:
    case HalvexSessionStatusAuthenticating:
    case HalvexSessionStatusAuthenticated:
    case HalvexSessionStatusConnectedReserved:
        retryRemains_.store(0);
        doTurnOff();
        return true;
    case HalvexSessionStatusWaitingToRetry:
        setStatusCode(HalvexSessionStatusIdle);
        retryRemains_.store(-1);
        cancelRetry();
        return true;
    case HalvexSessionStatusScheduled:
        setStatusCode(HalvexSessionStatusIdle);
        setLastError(std::nullopt);
        return true;
    default:
        return false;
    }
}

bool HalvexSessionController::turnOffWithError(const Error& error) {
    bool result = false;
    syncOnMain([&] {
        if (statusCode() == HalvexSessionStatusDisconnecting) return;
        setLastError(error);
        result = turnOff();
    });
    return result;
}

void HalvexSessionController::reactivate() {
    const auto status = statusCode();
    if (status == HalvexSessionStatusIdle || status == HalvexSessionStatusIdleReserved) {
        resetRetryRemains();
        doTurnOn();
    } else if (status >= HalvexSessionStatusConnecting && status <= HalvexSessionStatusDisconnecting) {
        reconectAfterDisconnected_ = true;
        retryRemains_.store(connection_attempts.value_or(0) + 1);
        doTurnOff();
    }
}

bool HalvexSessionController::schedule() {
    const auto status = statusCode();
    if (status != HalvexSessionStatusIdle && status != HalvexSessionStatusIdleReserved) return false;
    setStatusCode(HalvexSessionStatusScheduled);
    setLastError(std::nullopt);
    return true;
}

void HalvexSessionController::scheduleRetry() {
    cancelRetry();
    auto main = MainQueue::main();
    if (!main) return;
    std::weak_ptr<HalvexSessionController> weak = weak_from_this();
    retry_ = main->asyncAfter(RetryDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->retryRemains() >= 0 && self->statusCode() == HalvexSessionStatusWaitingToRetry)
            self->doTurnOn();
    });
}

void HalvexSessionController::cancelRetry() {
    retry_.cancel();
    retry_ = DelayedWork();
}

// --- transport callbacks

std::shared_ptr<HalvexSessionController::Attempt>
HalvexSessionController::attemptFor(const HalvexSessionTransport& session) const {
    std::lock_guard lock(mutex_);
    if (attempt_ && attempt_->transport == &session) return attempt_;
    return nullptr;
}

bool HalvexSessionController::isCurrentSession(const HalvexSessionTransport& session) const {
    return attemptFor(session) != nullptr;
}

bool HalvexSessionController::shouldConnectWithHostKey(HalvexSessionTransport& session,
                                                       const std::shared_ptr<HalvexHostKeyParser>& key) {
    auto attempt = attemptFor(session);
    if (!attempt || !key) return false;
    auto& prefs = preferences();
    auto known = prefs.getKnownHost(attempt->host, attempt->port);
    if (known) {
        const std::string ip = session.hostIP();
        if (!known->tryUpdateHostIP(ip, attempt->checkHostIP)) {
            logError(fmt::format("Failed to renew the '{}' IP address to '{}'", known->description(), ip));
            return false;
        }
        if (!known->tryUpdateHostKey(*key, attempt->checkHostKey)) {
            logError(fmt::format("Failed to renew the {} host key '{}' for '{}'", key->typeName(),
                                 key->fingerprint(), known->description()));
            return false;
        }
        syncOnMain([&] {
            willChangeValueForKey("sshHostNotation");
            willChangeValueForKey("knownHost");
            prefs.updateKnownHost(*known);
            didChangeValueForKey("knownHost");
            didChangeValueForKey("sshHostNotation");
        });
        return true;
    }
    HalvexKnownHostModel host(session.host(), session.port(), session.hostIP());
    if (!host.shouldAcceptHostKey(*key)) {
        logError(fmt::format("Failed to add the {} host key for '{}' to the list of known hosts",
                             key->typeName(), host.description()));
        return false;
    }
    syncOnMain([&] {
        willChangeValueForKey("sshHostNotation");
        willChangeValueForKey("knownHost");
        prefs.addKnownHost(host);
        didChangeValueForKey("knownHost");
        didChangeValueForKey("sshHostNotation");
    });
    logWarn(fmt::format("Permanently added the {} host key '{}' for '{}' to the list of known hosts",
                        key->typeName(), key->fingerprint(), host.description()));
    return true;
}

void HalvexSessionController::didConnectToHost(HalvexSessionTransport& session, const std::string&,
                                               uint16_t) {
    if (!isCurrentSession(session)) return;
    logInfo("Connection established");
    syncOnMain([&] {
        if (!isCurrentSession(session)) return;
        setLastError(std::nullopt);
        setStatusCode(HalvexSessionStatusConnected);
    });
}

void HalvexSessionController::didReceiveIssueBanner(HalvexSessionTransport& session,
                                                    const std::string& banner) {
    if (!isCurrentSession(session)) return;
    logInfo(std::string("Issue banner:\n").append(banner));
}

std::optional<Error> HalvexSessionController::authenticateWithAllowedMethods(
    HalvexSessionTransport& session, const std::vector<std::string>& methods, bool partialSuccess) {
    auto attempt = attemptFor(session);
    if (!attempt)
        return Error(HalvexCoreErrorDomain, InvalidSettingsError, "The connection attempt was replaced");
    syncOnMain([&] {
        if (!isCurrentSession(session)) return;
        setLastError(std::nullopt);
        setStatusCode(HalvexSessionStatusAuthenticating);
    });

    if (partialSuccess)
        logInfo(
            std::string("Partial success. Authentication that can continue: ").append(joined(methods, ", ")));
    else
        logInfo(std::string("Authentication that can continue: ").append(joined(methods, ", ")));
    // The step that a kept secret served succeeded only when the server says
    // so; asked again without a partial success, it failed.
    if (partialSuccess)
        commitPendingSecrets(*attempt);
    else
        attempt->pending.clear();

    const Attempt::Method* chosen = nullptr;
    for (const auto& m : attempt->methods)
        if (std::find(methods.begin(), methods.end(), m.name) != methods.end()) {
            chosen = &m;
            break;
        }
    if (!chosen)
        return Error(HalvexCoreErrorDomain, NoMatchAuthenticationMethodError,
                     "No match authentication method found");
    logInfo(fmt::format("Authenticating with \u201C{}\u201D method", chosen->name));

    std::weak_ptr<HalvexSessionController> weak = weak_from_this();
    switch (chosen->type) {
    case HalvexAuthMethodTypePassword:
        session.authenticateByPasswordHandler([weak, attempt]() -> std::string {
            auto self = weak.lock();
            return self ? self->askPassword(*attempt) : std::string();
        });
        return std::nullopt;
    case HalvexAuthMethodTypeInteractive:
        session.authenticateByInteractiveHandler(
            [weak, attempt](long index, const std::string& name, const std::string& instruction,
                            const std::vector<HalvexInteractivePrompt>& prompts) -> std::vector<std::string> {
                auto self = weak.lock();
                // A round without prompts is answered without asking anyone.
                if (!self || prompts.empty()) return {};
                std::string text;
                for (const auto& p : prompts)
                    text.append("\n").append(p.prompt);
                self->logInfo(std::string("Remote host prompts following information:").append(text));
                return self->askInfo(*attempt, index, name, instruction, prompts);
            });
        return std::nullopt;
    case HalvexAuthMethodTypePublicKey: {
        if (!attempt->key)
            return Error(HalvexCoreErrorDomain, InvalidSettingsError,
                         "No private key is chosen for this server, or it is no longer in the key store");
        // The key reader may ask twice for one load (once per format it
        // tries); the user is asked once.
        auto asked = std::make_shared<std::optional<std::string>>();
        PemvinPassphraseHandler handler = [weak, attempt, asked]() -> std::string {
            if (*asked) return **asked;
            auto self = weak.lock();
            *asked = self ? self->askPassphrase(*attempt) : std::string();
            return **asked;
        };
        Error error;
        auto parser = HalvexReadPrivateKey(attempt->key->absolutePath(), handler, &error);
        if (!parser) {
            attempt->pending.clear(); // a passphrase that did not open the key is not kept
            if (error.domain.empty() && error.localizedDescription.empty())
                error =
                    Error(HalvexCoreErrorDomain, InvalidSettingsError, "The private key could not be read");
            return error;
        }
        if (!parser->base64().empty())
            session.authenticateByPrivateKeyBase64(parser->base64());
        else if (parser->libsshParser())
            session.authenticateByPrivateKeyParser(parser->libsshParser());
        else
            return Error(HalvexCoreErrorDomain, InvalidSettingsError, "The private key could not be read");
        return std::nullopt;
    }
    }
    return Error(HalvexCoreErrorDomain, NoMatchAuthenticationMethodError, "Invalid authentication method");
}

void HalvexSessionController::didAuthenticateUser(HalvexSessionTransport& session, const std::string&) {
    auto attempt = attemptFor(session);
    if (!attempt) return;
    if (attempt->proxy)
        logInfo(fmt::format("Authenticated to {} (via proxy)", session.host()));
    else
        logInfo(
            fmt::format("Authenticated to {} ([{}]:{})", session.host(), session.hostIP(), session.port()));
    commitPendingSecrets(*attempt);
    syncOnMain([&] {
        if (!isCurrentSession(session)) return;
        setLastError(std::nullopt);
        setStatusCode(HalvexSessionStatusAuthenticated);
    });
}

void HalvexSessionController::didDisconnectWithError(HalvexSessionTransport& session,
                                                     const std::optional<Error>& error) {
    auto attempt = attemptFor(session);
    if (!attempt) return;
    attempt->pending.clear(); // their step never succeeded
    syncOnMain([&] {
        if (!isCurrentSession(session)) return;
        setStatusCode(HalvexSessionStatusIdle);
        if (error) {
            setLastError(error);
            logError(error->localizedDescription);
        }
        logInfo("Disconnected from server");
        {
            std::lock_guard lock(mutex_);
            attempt_.reset();
        }
        auto ended = std::move(session_); // released after this block
        session_.reset();

        const long code = error ? error->code : 0;
        if (isStopCode(code)) {
            // A stop ends a pending reconnect too, so that a later, unrelated
            // disconnect does not reconnect by itself.
            reconectAfterDisconnected_ = false;
            return;
        }
        if (reconectAfterDisconnected_) {
            reconectAfterDisconnected_ = false;
            std::weak_ptr<HalvexSessionController> weak = weak_from_this();
            WendleDispatchAsyncOnMainQueue([weak] {
                auto self = weak.lock();
                if (self && self->statusCode() == HalvexSessionStatusIdle) self->doTurnOn();
            });
            return;
        }
        if (decreaseRetryRemains()) {
            setStatusCode(HalvexSessionStatusWaitingToRetry);
            logInfo("Connection failed, retry after 3 seconds…");
            scheduleRetry();
        }
    });
}

// --- secrets

namespace {

template <class Ask>
bool askOnMain(Ask&& ask) {
    return WendleDispatchSyncOnMainQueue(std::forward<Ask>(ask));
}

} // namespace

std::string HalvexSessionController::askPassword(Attempt& attempt) {
    auto item = HalvexAuthHelper::makeWithServer(attempt.host, attempt.port, attempt.user);
    std::string token = item ? item->token() : std::string();
    if (!token.empty()) {
        logInfo(fmt::format("Password for remote host is found in {}", kKeychain));
        return token;
    }
    logInfo(fmt::format("Could not find password in {}", kKeychain));
    std::string answer;
    bool save = false;
    auto prompter = secretPrompter();
    if (prompter && !attempt.stopping.load()) {
        if (!askOnMain([&] {
                if (attempt.stopping.load()) return;
                ++promptsOpen_;
                answer =
                    prompter->promptForPasswordWithSaving(attempt.user, attempt.host, attempt.port, &save);
                --promptsOpen_;
            })) {
            answer.clear();
            save = false;
        }
    }
    if (save && item && !answer.empty()) {
        attempt.pending.push_back({[item, answer] { return item->setToken(answer); },
                                   fmt::format("Password was remembered to {}", kKeychain),
                                   fmt::format("Failed to save password to {}", kKeychain)});
    }
    return answer;
}

std::string HalvexSessionController::askPassphrase(Attempt& attempt) {
    const std::string keyName = attempt.key ? attempt.key->key_name() : std::string();
    auto item = attempt.key ? HalvexAuthHelper::makeWithPrivateKey(*attempt.key) : std::nullopt;
    std::string token = item ? item->token() : std::string();
    if (!token.empty()) {
        logInfo(fmt::format("Passphrase for private key ({}) is found in {}", keyName, kKeychain));
        return token;
    }
    logInfo(fmt::format("Could not find passphrase for private key ({}) in {}", keyName, kKeychain));
    std::string answer;
    bool save = false;
    auto prompter = secretPrompter();
    if (prompter && !attempt.stopping.load()) {
        if (!askOnMain([&] {
                if (attempt.stopping.load()) return;
                ++promptsOpen_;
                answer = prompter->promptForPassphraseWithSaving(keyName, &save);
                --promptsOpen_;
            })) {
            answer.clear();
            save = false;
        }
    }
    if (save && item && !answer.empty()) {
        attempt.pending.push_back(
            {[item, answer] { return item->setToken(answer); },
             fmt::format("Passphrase for private key ({}) was remembered to {}", keyName, kKeychain),
             fmt::format("Failed to save passphrase for private key ({}) to {}", keyName, kKeychain)});
    }
    return answer;
}

std::vector<std::string>
HalvexSessionController::askInfo(Attempt& attempt, long index, const std::string& name,
                                 const std::string& instruction,
                                 const std::vector<HalvexInteractivePrompt>& prompts) {
    auto item = HalvexAuthHelper::makeWithServer(attempt.host, attempt.port, attempt.user, true);
    const auto slot = static_cast<std::size_t>(std::max(0L, index));
    if (item) {
        auto stored = item->answersAtIndex(slot);
        // Answers kept for a round with other prompts cannot answer this one.
        if (stored && !stored->empty() && stored->size() == prompts.size()) {
            logInfo(fmt::format("Interactive information [{}] was found in {}", index, kKeychain));
            return *stored;
        }
    }
    logInfo(fmt::format("Could not find interactive information [{}] in {}", index, kKeychain));
    std::vector<std::string> answers;
    bool save = false;
    auto prompter = secretPrompter();
    if (prompter && !attempt.stopping.load()) {
        if (!askOnMain([&] {
                if (attempt.stopping.load()) return;
                ++promptsOpen_;
                answers = prompter->promptForInteractiveName(attempt.host, attempt.port, attempt.user, name,
                                                             instruction, prompts, &save);
                --promptsOpen_;
            })) {
            answers.clear();
            save = false;
        }
    }
    if (save && item && !answers.empty()) {
        attempt.pending.push_back(
            {[item, answers, slot] { return item->addAnswers(answers, slot); },
             fmt::format("Interactive information [{}] was remembered to {}", index, kKeychain),
             fmt::format("Failed to save interactive information [{}] to {}", index, kKeychain)});
    }
    return answers;
}

void HalvexSessionController::commitPendingSecrets(Attempt& attempt) {
    auto pending = std::move(attempt.pending);
    attempt.pending.clear();
    for (auto& secret : pending)
        logInfo(secret.store() ? secret.rememberedText : secret.failedText);
}
