#include "HalvexCore/HalvexSessionCore.h"

#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexForwardChannel.h"
#include "HalvexCore/HalvexHostKeyParser.h"
#include "HalvexCore/HalvexPrivateKeyParser.h"
#include "HalvexCore/HalvexShellChannel.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Keep-alive: probes start after this long without traffic and repeat at the
// same pace; the profile's count of unanswered probes ends the connection.
constexpr int kKeepAliveSeconds = 15;

Error makeError(long code, std::string text) {
    return Error(HalvexCoreErrorDomain, code, std::move(text));
}

std::string libsshError(ssh_session s) {
    const char* e = s ? ssh_get_error(s) : nullptr;
    return e && *e ? e : "unknown error";
}

std::vector<std::string> methodNames(int bits) {
    std::vector<std::string> names;
    if (bits & SSH_AUTH_METHOD_PUBLICKEY) names.emplace_back("publickey");
    if (bits & SSH_AUTH_METHOD_PASSWORD) names.emplace_back("password");
    if (bits & SSH_AUTH_METHOD_INTERACTIVE) names.emplace_back("keyboard-interactive");
    if (bits & SSH_AUTH_METHOD_HOSTBASED) names.emplace_back("hostbased");
    if (bits & SSH_AUTH_METHOD_GSSAPI_MIC) names.emplace_back("gssapi-with-mic");
    return names;
}

void wipe(std::string& s) {
    volatile char* p = s.data();
    for (size_t i = 0; i < s.size(); ++i)
        p[i] = 0;
    s.clear();
}

} // namespace

HalvexSessionCore::HalvexSessionCore() {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

HalvexSessionCore::~HalvexSessionCore() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void HalvexSessionCore::wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void HalvexSessionCore::requestDisconnect() {
    disconnectRequested_.store(true);
    wake();
}

void HalvexSessionCore::post(Command command) {
    {
        std::lock_guard lock(mutex);
        if (!ended_) {
            commands_.push_back(std::move(command));
            wake();
            return;
        }
    }
    // The attempt is over: the request fails, reported off the caller's stack.
    auto self = shared_from_this();
    std::thread([self, c = std::move(command)]() mutable { self->reject(c, true); }).detach();
}

void HalvexSessionCore::start() {
    auto self = shared_from_this();
    try {
        std::thread([self] { self->run(); }).detach();
    } catch (const std::exception& e) {
        {
            std::lock_guard lock(mutex);
            ended_ = true;
        }
        withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) {
            d.didDisconnectWithError(s,
                                     makeError(HalvexCoreErrorConnect,
                                               std::string("Could not start the connection: ") + e.what()));
        });
    }
}

template <class F>
void HalvexSessionCore::withDelegate(F&& f) {
    std::shared_ptr<HalvexSession> session = owner.lock();
    std::shared_ptr<HalvexSessionDelegate> d;
    {
        std::lock_guard lock(mutex);
        d = delegate.lock();
    }
    if (session && d) f(*d, *session);
}

template <class F>
void HalvexSessionCore::withChannelDelegate(HalvexChannel& channel, F&& f) {
    if (auto d = channel.delegate()) f(*d);
}

void HalvexSessionCore::log(int level, const std::string& message) {
    const HalvexLogSink* sink = nullptr;
    switch (level) {
    case 0:
        sink = &cfg_.logDebug;
        break;
    case 1:
        sink = &cfg_.logInfo;
        break;
    case 2:
        sink = &cfg_.logWarn;
        break;
    case 3:
        sink = &cfg_.logError;
        break;
    default:
        sink = &cfg_.logFatal;
        break;
    }
    if (*sink) (*sink)(message);
}

void HalvexSessionCore::onLibsshLog(int priority, const char* function, const char* message, void* userdata) {
    auto* core = static_cast<HalvexSessionCore*>(userdata);
    if (!core || !message) return;
    // Host keys are checked by the delegate, never against libssh's known-hosts
    // files: what libssh says about those files is noise here.
    std::string_view from = function ? function : "";
    if (from.rfind("ssh_known_hosts", 0) == 0 || from == "ssh_strict_fopen") return;
    // libssh: 1 warnings and rare events, 2 protocol progress, above that detail.
    core->log(priority <= SSH_LOG_WARN ? 2 : 0, message);
}

int HalvexSessionCore::onWake(socket_t fd, int, void*) {
    uint64_t v;
    while (::read(fd, &v, sizeof v) > 0) {
    }
    return 0;
}

void HalvexSessionCore::run() {
    {
        std::lock_guard lock(mutex);
        cfg_ = config;
    }
    // libssh's log callback and level are per thread: this thread's are ours.
    ssh_set_log_userdata(this);
    ssh_set_log_callback(&HalvexSessionCore::onLibsshLog);
    ssh_set_log_level(cfg_.logDebug ? SSH_LOG_PROTOCOL : SSH_LOG_WARN);

    std::optional<Error> error = attempt();
    if (disconnectRequested_.load()) error.reset();
    if (error) log(0, "Connection ended: " + error->localizedDescription);
    teardown(error);
    withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) { d.didDisconnectWithError(s, error); });
    ssh_set_log_callback(nullptr);
    ssh_set_log_userdata(nullptr);
}

bool HalvexSessionCore::pollOnce(int timeoutMs) {
    int rc = ssh_event_dopoll(event_, timeoutMs);
    return rc != SSH_ERROR || errno == EINTR;
}

// One wait of the handshake: false when it must stop (error set, or a
// disconnect was asked for, error left empty).
bool HalvexSessionCore::waitStep(std::optional<Clock::time_point> deadline, std::optional<Error>& error,
                                 const char* what) {
    if (disconnectRequested_.load()) return false;
    int timeout = 1000;
    if (deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
        if (left <= 0) {
            error = makeError(HalvexCoreErrorConnect, std::string("Connection timed out ") + what);
            return false;
        }
        timeout = static_cast<int>(std::min<long long>(left, 1000));
    }
    pollOnce(timeout);
    if (disconnectRequested_.load()) return false;
    // libssh keeps answering "again" on a session whose socket has gone.
    if (ssh_get_status(session_) & (SSH_CLOSED | SSH_CLOSED_ERROR)) {
        lastReason_ = closedReason();
        error = makeError(HalvexCoreErrorProtocol, "Connection to " + cfg_.host + " closed: " + lastReason_);
        return false;
    }
    return true;
}

std::optional<Error> HalvexSessionCore::attempt() {
    const Config& c = cfg_;
    std::optional<Clock::time_point> deadline;
    if (c.timeout > 0)
        deadline = Clock::now() +
                   std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(c.timeout));
    if (c.host.empty()) return makeError(HalvexCoreErrorConfiguration, "No host name is given");
    if (c.host.find('@') != std::string::npos)
        return makeError(HalvexCoreErrorConfiguration, "The host name “" + c.host + "” is not valid");

    session_ = ssh_new();
    if (!session_) return makeError(HalvexCoreErrorProtocol, "Could not create an SSH session");
    int no = 0, yes = 1;
    unsigned int port = c.port;
    int verbosity = c.logDebug ? SSH_LOG_PROTOCOL : SSH_LOG_WARN;
    // Only the settings given here count: no configuration files.
    ssh_options_set(session_, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(session_, SSH_OPTIONS_LOG_VERBOSITY, &verbosity);
    if (ssh_options_set(session_, SSH_OPTIONS_HOST, c.host.c_str()) < 0)
        return makeError(HalvexCoreErrorConfiguration, "The host name “" + c.host + "” is not valid");
    if (!c.user.empty() && ssh_options_set(session_, SSH_OPTIONS_USER, c.user.c_str()) < 0)
        return makeError(HalvexCoreErrorConfiguration, "The user name “" + c.user + "” is not valid");
    ssh_options_set(session_, SSH_OPTIONS_PORT, &port);
    ssh_options_set(session_, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
    ssh_options_set(session_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    ssh_options_set(session_, SSH_OPTIONS_NODELAY, &yes);
    ssh_options_set(session_, SSH_OPTIONS_COMPRESSION, c.compression ? "yes" : "no");
    auto list = [&](const std::string& value, std::initializer_list<ssh_options_e> opts,
                    const char* what) -> std::optional<Error> {
        if (value.empty()) return std::nullopt;
        for (auto o : opts)
            if (ssh_options_set(session_, o, value.c_str()) < 0)
                return makeError(HalvexCoreErrorConfiguration,
                                 std::string("The ") + what + " list “" + value +
                                     "” cannot be used: " + libsshError(session_));
        return std::nullopt;
    };
    if (auto e = list(c.ciphers, {SSH_OPTIONS_CIPHERS_C_S, SSH_OPTIONS_CIPHERS_S_C}, "cipher")) return e;
    if (auto e = list(c.hostKeyAlgorithms, {SSH_OPTIONS_HOSTKEYS}, "host key algorithm")) return e;
    if (auto e = list(c.keyExchangeAlgorithms, {SSH_OPTIONS_KEY_EXCHANGE}, "key exchange algorithm"))
        return e;

    // Our own socket (and proxy), then libssh over it.
    HalvexConnectRequest request;
    request.host = c.host;
    request.port = c.port;
    request.interfaceName = c.interfaceName;
    request.ipv4 = c.ipv4;
    request.ipv6 = c.ipv6;
    request.deadline = deadline;
    request.proxyEnabled = c.proxyEnabled;
    request.proxyType = c.proxyType;
    request.proxyHost = c.proxyHost;
    request.proxyPort = c.proxyPort;
    request.proxyAuth = c.proxyAuth;
    request.proxyUser = c.proxyUser;
    request.proxyPassword = c.proxyPassword;
    HalvexSocketConnector connector(
        wakeFd_, [this] { return disconnectRequested_.load(); },
        [this](int level, const std::string& m) { log(level, m); });
    Error connectError;
    if (!connector.connect(request, socket_, &connectError)) return connectError;
    {
        std::lock_guard lock(mutex);
        hostIP = socket_.hostIP;
    }
    if (c.proxyEnabled)
        log(0, "Connected to the proxy " + c.proxyHost + " port " + std::to_string(c.proxyPort));
    if (c.serverAliveCountMax > 0) {
        int idle = kKeepAliveSeconds, count = static_cast<int>(std::min<long>(c.serverAliveCountMax, 1000));
        unsigned userTimeout = static_cast<unsigned>(kKeepAliveSeconds * 1000 * (count + 1));
        setsockopt(socket_.tcpFd, SOL_SOCKET, SO_KEEPALIVE, &yes, sizeof yes);
        setsockopt(socket_.tcpFd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        setsockopt(socket_.tcpFd, IPPROTO_TCP, TCP_KEEPINTVL, &idle, sizeof idle);
        setsockopt(socket_.tcpFd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
        setsockopt(socket_.tcpFd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
    }
    socket_t fd = socket_.fd;
    ssh_options_set(session_, SSH_OPTIONS_FD, &fd);
    ssh_set_blocking(session_, 0);

    event_ = ssh_event_new();
    if (!event_ || ssh_event_add_fd(event_, wakeFd_, POLLIN, &HalvexSessionCore::onWake, this) != SSH_OK)
        return makeError(HalvexCoreErrorProtocol, "Could not set up the connection's event loop");

    std::optional<Error> error;
    fdGivenToLibssh_ = true;
    int rc = ssh_connect(session_);
    while (rc == SSH_AGAIN) {
        if (!sessionInEvent_) {
            ssh_event_add_session(event_, session_);
            sessionInEvent_ = true;
        }
        if (!waitStep(deadline, error, "during the SSH handshake")) {
            if (error && error->code == HalvexCoreErrorProtocol) return handshakeFailure(lastReason_);
            return error;
        }
        rc = ssh_connect(session_);
    }
    if (rc != SSH_OK) return handshakeFailure(closedReason());
    if (!sessionInEvent_) {
        ssh_event_add_session(event_, session_);
        sessionInEvent_ = true;
    }
    if (const char* banner = ssh_get_serverbanner(session_))
        log(1, std::string("Remote software version ") + banner);
    if (const char* cipher = ssh_get_cipher_out(session_)) log(1, std::string("Cipher ") + cipher);

    // The host key, offered before anything else is sent.
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_, &key) != SSH_OK || !key)
        return makeError(HalvexCoreErrorProtocol, "The server sent no host key");
    Error keyError;
    auto parser = HalvexHostKeyParser::parserFromKey(key, &keyError);
    ssh_key_free(key);
    if (!parser) return makeError(HalvexCoreErrorProtocol, keyError.localizedDescription);
    bool accepted = true;
    withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) {
        accepted = d.shouldConnectWithHostKey(s, parser);
    });
    if (disconnectRequested_.load()) return std::nullopt;
    if (!accepted)
        return makeError(HalvexCoreErrorHostKeyRefused,
                         "Host key verification failed: the " + parser->typeName() + " host key " +
                             parser->fingerprint() + " of " + c.host + " was refused");
    withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) { d.didConnectToHost(s, c.host, c.port); });
    if (disconnectRequested_.load()) return std::nullopt;

    if (auto e = authenticate()) return e;
    if (disconnectRequested_.load()) return std::nullopt;
    authenticated_ = true;
    withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) { d.didAuthenticateUser(s, c.user); });
    return mainLoop();
}

// Why the session closed: the server's disconnect message, else libssh's
// error. (Asking libssh for the message replaces its error text, so the error
// is read first.)
std::string HalvexSessionCore::closedReason() {
    std::string why = libsshError(session_);
    if (ssh_get_status(session_) & (SSH_CLOSED | SSH_CLOSED_ERROR)) {
        const char* message = ssh_get_disconnect_message(session_);
        if (message && *message) return message;
    }
    return why;
}

Error HalvexSessionCore::handshakeFailure(const std::string& reason) {
    // Algorithms that the server and the settings have no name in common for
    // will not match on a retry either; the server may say so first.
    for (const char* text : {"no match for method", "kex error", "Unable to negotiate", "no matching"})
        if (reason.find(text) != std::string::npos)
            return makeError(HalvexCoreErrorConfiguration, "SSH algorithm negotiation failed: " + reason);
    return makeError(HalvexCoreErrorProtocol, "SSH connection to " + cfg_.host + " failed: " + reason);
}

void HalvexSessionCore::reportBanner() {
    if (bannerReported_) return;
    char* banner = ssh_get_issue_banner(session_);
    if (!banner) return;
    bannerReported_ = true;
    std::string text = banner;
    ssh_string_free_char(banner);
    withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) { d.didReceiveIssueBanner(s, text); });
}

std::optional<Error> HalvexSessionCore::authenticate() {
    std::optional<Error> error;
    int rc = ssh_userauth_none(session_, nullptr);
    while (rc == SSH_AUTH_AGAIN) {
        if (!waitStep(std::nullopt, error, "")) return error;
        rc = ssh_userauth_none(session_, nullptr);
    }
    reportBanner();
    bool partial = false;
    while (true) {
        if (rc == SSH_AUTH_SUCCESS) return std::nullopt;
        if (rc == SSH_AUTH_ERROR)
            return makeError(HalvexCoreErrorProtocol, "Authentication broke off: " + libsshError(session_));
        std::vector<std::string> methods = methodNames(ssh_userauth_list(session_, nullptr));
        {
            std::lock_guard lock(mutex);
            authChoice = AuthChoice{};
        }
        std::optional<Error> chosenError;
        withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) {
            chosenError = d.authenticateWithAllowedMethods(s, methods, partial);
        });
        if (disconnectRequested_.load()) return std::nullopt;
        if (chosenError) return chosenError;
        AuthChoice choice;
        {
            std::lock_guard lock(mutex);
            choice = std::move(authChoice);
            authChoice = AuthChoice{};
        }
        if (choice.kind == AuthChoice::Kind::None)
            return makeError(HalvexCoreErrorAuthentication, "No authentication method was chosen");
        if (auto e = runAuthChoice(choice, rc)) return e;
        if (disconnectRequested_.load()) return std::nullopt;
        reportBanner();
        if (rc == SSH_AUTH_PARTIAL) {
            partial = true;
            continue;
        }
        if (rc == SSH_AUTH_DENIED) {
            const char* what = choice.kind == AuthChoice::Kind::Password      ? "password"
                               : choice.kind == AuthChoice::Kind::Interactive ? "keyboard-interactive"
                                                                              : "public key";
            return makeError(HalvexCoreErrorAuthentication,
                             std::string("Authentication failed: the server denied the ") + what +
                                 " login of “" + cfg_.user + "”");
        }
    }
}

std::optional<Error> HalvexSessionCore::runAuthChoice(AuthChoice& choice, int& rc) {
    std::optional<Error> error;
    auto repeat = [&](auto call) {
        rc = call();
        while (rc == SSH_AUTH_AGAIN) {
            if (!waitStep(std::nullopt, error, "")) return false;
            rc = call();
        }
        return true;
    };
    switch (choice.kind) {
    case AuthChoice::Kind::Password: {
        std::string password = choice.password ? choice.password() : std::string();
        if (disconnectRequested_.load()) return std::nullopt;
        bool ok = repeat([&] { return ssh_userauth_password(session_, nullptr, password.c_str()); });
        wipe(password);
        if (!ok) return error;
        break;
    }
    case AuthChoice::Kind::KeyText: {
        ssh_key key = nullptr;
        int irc = ssh_pki_import_privkey_base64(choice.keyText.c_str(), nullptr, nullptr, nullptr, &key);
        wipe(choice.keyText);
        if (irc != SSH_OK || !key)
            return makeError(HalvexCoreErrorConfiguration, "The private key could not be read");
        bool ok = repeat([&] { return ssh_userauth_publickey(session_, nullptr, key); });
        ssh_key_free(key);
        if (!ok) return error;
        break;
    }
    case AuthChoice::Kind::KeyParser: {
        if (!choice.keyParser || !choice.keyParser->key() || !ssh_key_is_private(choice.keyParser->key()))
            return makeError(HalvexCoreErrorConfiguration, "The private key could not be read");
        if (!repeat([&] { return ssh_userauth_publickey(session_, nullptr, choice.keyParser->key()); }))
            return error;
        break;
    }
    case AuthChoice::Kind::Interactive: {
        if (!repeat([&] { return ssh_userauth_kbdint(session_, nullptr, nullptr); })) return error;
        long index = 0;
        int rounds = 0;
        while (rc == SSH_AUTH_INFO) {
            if (++rounds > 64)
                return makeError(HalvexCoreErrorAuthentication, "Too many keyboard-interactive rounds");
            HalvexInteractiveRequest req;
            const char* name = ssh_userauth_kbdint_getname(session_);
            const char* instruction = ssh_userauth_kbdint_getinstruction(session_);
            req.name = name ? name : "";
            req.instruction = instruction ? instruction : "";
            int n = ssh_userauth_kbdint_getnprompts(session_);
            for (int i = 0; i < n; ++i) {
                char echo = 0;
                const char* p = ssh_userauth_kbdint_getprompt(session_, static_cast<unsigned>(i), &echo);
                req.prompts.push_back({p ? p : "", echo != 0});
            }
            // A round without prompts is answered at once; only rounds with
            // prompts reach the user and count as requests.
            if (n > 0) {
                req.index = index++;
                withDelegate([&](HalvexSessionDelegate& d, HalvexSession& s) {
                    d.keyboardInteractiveRequest(s, req);
                });
                std::vector<std::string> answers;
                if (choice.interactive)
                    answers = choice.interactive(req.index, req.name, req.instruction, req.prompts);
                if (disconnectRequested_.load()) return std::nullopt;
                for (int i = 0; i < n; ++i) {
                    std::string a =
                        static_cast<size_t>(i) < answers.size() ? answers[static_cast<size_t>(i)] : "";
                    ssh_userauth_kbdint_setanswer(session_, static_cast<unsigned>(i), a.c_str());
                    wipe(a);
                }
                for (auto& a : answers)
                    wipe(a);
            }
            if (!repeat([&] { return ssh_userauth_kbdint(session_, nullptr, nullptr); })) return error;
        }
        break;
    }
    case AuthChoice::Kind::None:
        break;
    }
    return std::nullopt;
}

std::optional<Error> HalvexSessionCore::mainLoop() {
    while (true) {
        std::deque<Command> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(commands_);
        }
        for (auto& command : batch)
            execute(command);
        if (disconnectRequested_.load()) return std::nullopt;
        serviceForwards();
        if (forwardsActive_) acceptForwardChannels();
        for (size_t i = 0; i < channels_.size(); ++i)
            serviceChannel(channels_[i]);
        std::erase_if(channels_, [](const std::shared_ptr<HalvexChannel>& ch) {
            return ch->io_->phase == HalvexChannelIO::Phase::Closed;
        });
        int status = ssh_get_status(session_);
        if (!ssh_is_connected(session_) || (status & (SSH_CLOSED | SSH_CLOSED_ERROR))) {
            return makeError(HalvexCoreErrorProtocol,
                             "Connection to " + cfg_.host + " closed: " + closedReason());
        }
        pollOnce(1000);
        // libssh takes at most 4 KiB from the socket per poll: while more is
        // waiting, take it before the next round over the channels.
        for (int i = 0; i < 15 && ssh_event_dopoll(event_, 0) == SSH_OK; ++i) {
        }
    }
}

void HalvexSessionCore::execute(Command& command) {
    auto& ch = command.channel;
    switch (command.type) {
    case Command::Type::Open:
        channels_.push_back(ch);
        break;
    case Command::Type::Close:
        if (ch->io_->phase != HalvexChannelIO::Phase::Closed) ch->io_->closing = true;
        break;
    case Command::Type::Resize:
        ch->io_->pendingResize = std::make_pair(command.columns, command.rows);
        break;
    case Command::Type::Deliver:
        // A new delegate or resumed reading: serviceChannel hands over what
        // was kept.
        break;
    case Command::Type::Forward:
    case Command::Type::CancelForward:
        forwards_.push_back(std::move(command));
        break;
    }
}

// A request that can no longer be carried out: channels close with an error
// (none when the client ended the session), forward requests fail.
void HalvexSessionCore::reject(Command& command, bool ended) {
    bool forward = command.type == Command::Type::Forward || command.type == Command::Type::CancelForward;
    std::optional<Error> why;
    if (!disconnectRequested_.load() || forward)
        why = makeError(forward ? HalvexCoreErrorForward : HalvexCoreErrorChannel,
                        ended ? "The session has ended"
                              : "The session ended before the request was carried out");
    if (forward) {
        if (command.completion) command.completion(false, 0, why);
        return;
    }
    if (command.type != Command::Type::Open) return;
    auto& ch = command.channel;
    ch->open_.store(false);
    ch->finished_.store(true);
    if (ch->io_->phase == HalvexChannelIO::Phase::Closed) return;
    ch->io_->phase = HalvexChannelIO::Phase::Closed;
    withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) { d.channelDidClose(*ch, why); });
}

void HalvexSessionCore::attachCallbacks(HalvexChannel* channel) {
    auto& io = *channel->io_;
    io.callbacks = {};
    io.callbacks.userdata = channel;
    io.callbacks.channel_data_function = &HalvexSessionCore::onChannelData;
    io.callbacks.channel_close_function = &HalvexSessionCore::onChannelClose;
    io.callbacks.channel_eof_function = &HalvexSessionCore::onChannelEOF;
    ssh_callbacks_init(&io.callbacks);
    ssh_add_channel_callbacks(io.channel, &io.callbacks);
}

// libssh hands over everything buffered for the stream (what was kept before
// included) and keeps what is not taken; only what is taken frees window.
int HalvexSessionCore::onChannelData(ssh_session, ssh_channel, void* data, uint32_t len, int isStderr,
                                     void* userdata) {
    auto* channel = static_cast<HalvexChannel*>(userdata);
    auto& held = channel->io_->held[isStderr ? 1 : 0];
    held = 0;
    if (channel->closeRequested_.load()) return static_cast<int>(len); // the owner has let go of it
    // Bytes that come with the open confirmation wait for channelDidOpen.
    bool open = channel->io_->phase == HalvexChannelIO::Phase::Open;
    auto d = channel->readingPaused_.load() || !open ? nullptr : channel->delegate();
    if (!d) {
        held = len;
        return 0;
    }
    std::string_view bytes(static_cast<const char*>(data), len);
    if (isStderr)
        d->didReadStderrData(*channel, bytes);
    else
        d->didReadStdoutData(*channel, bytes);
    return static_cast<int>(len);
}

void HalvexSessionCore::onChannelClose(ssh_session, ssh_channel, void* userdata) {
    auto& io = *static_cast<HalvexChannel*>(userdata)->io_;
    io.remoteClosed = true;
    io.remoteEOF = true; // a close without EOF ends the data all the same
}

void HalvexSessionCore::onChannelEOF(ssh_session, ssh_channel, void* userdata) {
    static_cast<HalvexChannel*>(userdata)->io_->remoteEOF = true;
}

bool HalvexSessionCore::canDeliver(HalvexChannel& channel) {
    return channel.io_->phase == HalvexChannelIO::Phase::Open && !channel.closeRequested_.load() &&
           !channel.readingPaused_.load() && channel.delegate() != nullptr;
}

// Hands over the bytes kept in libssh's buffers, as far as the delegate lets
// (it may pause again while it reads).
void HalvexSessionCore::drainHeld(const std::shared_ptr<HalvexChannel>& ch) {
    auto& io = *ch->io_;
    if (readBuffer_.size() < 65536) readBuffer_.resize(65536);
    for (int stream = 0; stream < 2; ++stream) {
        while (io.held[stream] > 0 && io.channel && canDeliver(*ch)) {
            uint32_t want = std::min<uint32_t>(io.held[stream], static_cast<uint32_t>(readBuffer_.size()));
            // The bytes are in the buffer already: this returns at once.
            int n = ssh_channel_read_nonblocking(io.channel, readBuffer_.data(), want, stream);
            if (n <= 0) {
                io.held[stream] = 0;
                break;
            }
            io.held[stream] -= std::min<uint32_t>(io.held[stream], static_cast<uint32_t>(n));
            std::string_view bytes(readBuffer_.data(), static_cast<size_t>(n));
            withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) {
                if (stream)
                    d.didReadStderrData(*ch, bytes);
                else
                    d.didReadStdoutData(*ch, bytes);
            });
        }
    }
}

// The remote EOF reaches the delegate after the last bytes; its answer says
// whether the channel stays open for writing.
void HalvexSessionCore::reportEOF(const std::shared_ptr<HalvexChannel>& ch) {
    auto& io = *ch->io_;
    io.eofReported = true;
    if (ch->closeRequested_.load()) return;
    bool keep = false;
    withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) { keep = d.channelDidReceiveEOF(*ch); });
    io.halfOpen = keep;
}

void HalvexSessionCore::markOpen(const std::shared_ptr<HalvexChannel>& ch) {
    ch->io_->phase = HalvexChannelIO::Phase::Open;
    if (!ch->closeRequested_.load()) ch->open_.store(true);
    withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) { d.channelDidOpen(*ch); });
}

void HalvexSessionCore::failChannel(const std::shared_ptr<HalvexChannel>& ch,
                                    const std::optional<Error>& error) {
    auto& io = *ch->io_;
    if (io.phase == HalvexChannelIO::Phase::Closed) return;
    io.phase = HalvexChannelIO::Phase::Closed;
    ch->open_.store(false);
    ch->finished_.store(true);
    if (io.channel) {
        ssh_remove_channel_callbacks(io.channel, &io.callbacks);
        if (ssh_channel_is_open(io.channel)) ssh_channel_close(io.channel);
        ssh_channel_free(io.channel);
        io.channel = nullptr;
    }
    if (io.pendingResize && ch->delegate()) {
        auto size = *io.pendingResize;
        io.pendingResize.reset();
        if (auto* shell = dynamic_cast<HalvexShellChannel*>(ch.get()))
            if (auto d = std::dynamic_pointer_cast<HalvexShellChannelDelegate>(ch->delegate()))
                d->didChangePtySize(*shell, size.first, size.second,
                                    makeError(HalvexCoreErrorChannel, "The shell channel is closed"));
    }
    withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) { d.channelDidClose(*ch, error); });
}

void HalvexSessionCore::serviceChannel(const std::shared_ptr<HalvexChannel>& ch) {
    auto& io = *ch->io_;
    using Phase = HalvexChannelIO::Phase;
    if (io.phase == Phase::Closed) return;
    // Closed before it opened. Once the open request is out the server may be
    // connecting already: the answer is awaited, so that an open channel is
    // closed on the server too rather than left there.
    if (io.closing && io.phase != Phase::Open && io.phase != Phase::Opening) {
        failChannel(ch, std::nullopt);
        return;
    }
    auto openFailure = [&](const std::string& what) {
        std::string text = what + ": " + libsshError(session_);
        log(2, text);
        failChannel(ch, makeError(HalvexCoreErrorChannel, text));
    };
    if (io.phase == Phase::Pending) {
        if (!authenticated_) return;
        io.channel = ssh_channel_new(session_);
        if (!io.channel) return openFailure("Could not create a channel");
        attachCallbacks(ch.get());
        io.phase = Phase::Opening;
    }
    if (io.phase == Phase::Opening) {
        int rc = io.kind == HalvexChannelIO::Kind::Direct
                     ? ssh_channel_open_forward(io.channel, io.host.c_str(), io.port, "127.0.0.1", 0)
                     : ssh_channel_open_session(io.channel);
        if (rc == SSH_AGAIN) return;
        if (io.closing) return failChannel(ch, std::nullopt);
        if (rc != SSH_OK)
            return openFailure(io.kind == HalvexChannelIO::Kind::Direct
                                   ? "Could not open a channel to " + io.host + " port " +
                                         std::to_string(io.port)
                                   : std::string("Could not open a session channel"));
        if (io.kind == HalvexChannelIO::Kind::Shell)
            io.phase = Phase::PtyRequest;
        else
            markOpen(ch);
    }
    if (io.phase == Phase::PtyRequest) {
        int rc = ssh_channel_request_pty_size(io.channel, io.terminalType.c_str(),
                                              static_cast<int>(io.columns), static_cast<int>(io.rows));
        if (rc == SSH_AGAIN) return;
        if (rc != SSH_OK) return openFailure("The server refused a pseudo-terminal");
        io.phase = Phase::ShellRequest;
    }
    if (io.phase == Phase::ShellRequest) {
        int rc = ssh_channel_request_shell(io.channel);
        if (rc == SSH_AGAIN) return;
        if (rc != SSH_OK) return openFailure("The server refused a shell");
        markOpen(ch);
    }
    if (io.phase != Phase::Open) return;

    if (io.pendingResize) {
        auto [cols, rows] = *io.pendingResize;
        io.pendingResize.reset();
        int rc = ssh_channel_change_pty_size(io.channel, static_cast<int>(cols), static_cast<int>(rows));
        std::optional<Error> error;
        if (rc != SSH_OK)
            error = makeError(HalvexCoreErrorChannel,
                              "Could not resize the pseudo-terminal: " + libsshError(session_));
        if (auto* shell = dynamic_cast<HalvexShellChannel*>(ch.get()))
            if (auto d = std::dynamic_pointer_cast<HalvexShellChannelDelegate>(ch->delegate()))
                d->didChangePtySize(*shell, cols, rows, error);
    }

    // Bytes kept for a delegate that has come, or for reading that resumed.
    if ((io.held[0] || io.held[1]) && canDeliver(*ch)) drainHeld(ch);

    // Writes: what callers queued, as far as the server's window allows. The
    // two buffers trade places instead of growing, so their memory is reused.
    bool wrote = false;
    // Read before the queue is looked at: every byte written before sendEOF
    // is then in the queue, and the EOF cannot overtake it.
    bool eofWanted = ch->eofRequested_.load();
    {
        std::lock_guard lock(ch->mutex_);
        ch->writeWakePosted_ = false;
    }
    while (!io.remoteClosed && !io.eofSent) {
        if (io.writeOffset == io.writeBuffer.size()) {
            io.writeBuffer.clear();
            io.writeOffset = 0;
            std::lock_guard lock(ch->mutex_);
            io.writeBuffer.swap(ch->pendingWrites_);
        }
        if (io.writeBuffer.empty()) break;
        uint32_t window = ssh_channel_window_size(io.channel);
        if (window == 0) break;
        size_t n = std::min<size_t>({io.writeBuffer.size() - io.writeOffset, window, 1u << 20});
        int written =
            ssh_channel_write(io.channel, io.writeBuffer.data() + io.writeOffset, static_cast<uint32_t>(n));
        if (written < 0) {
            failChannel(ch, makeError(HalvexCoreErrorChannel,
                                      "Could not write to the channel: " + libsshError(session_)));
            return;
        }
        if (written == 0) break;
        io.writeOffset += static_cast<size_t>(written);
        ch->queued_.fetch_sub(static_cast<size_t>(written), std::memory_order_release);
        wrote = true;
    }
    bool drained = io.writeOffset == io.writeBuffer.size();
    if (drained) {
        std::lock_guard lock(ch->mutex_);
        drained = ch->pendingWrites_.empty();
    }
    if (wrote && drained && !ch->closeRequested_.load())
        withChannelDelegate(*ch, [&](HalvexChannelDelegate& d) { d.channelDidWriteData(*ch); });

    // EOF goes out after every byte written before it.
    if (drained && eofWanted && !io.eofSent && !io.remoteClosed && !io.closing) {
        if (ssh_channel_send_eof(io.channel) == SSH_ERROR) {
            failChannel(ch, makeError(HalvexCoreErrorChannel,
                                      "Could not send EOF on the channel: " + libsshError(session_)));
            return;
        }
        io.eofSent = true;
    }

    bool kept = io.held[0] || io.held[1];
    if (io.remoteEOF && !io.eofReported && !kept) reportEOF(ch);
    if (io.remoteClosed) {
        // Kept bytes wait for their reader (a paused owner resumes, a late
        // delegate comes); with no one left to read them they go.
        if (!kept || ch->closeRequested_.load() || !ch->delegate()) failChannel(ch, std::nullopt);
        return;
    }
    // The other side has nothing more to send: once our queued bytes are out,
    // the channel closes, unless its delegate keeps it open for writing.
    if (drained && (io.closing || (io.eofReported && !io.halfOpen))) failChannel(ch, std::nullopt);
}

// Global requests run one at a time: libssh keeps the pending one's state and
// is called again with the same arguments until it answers.
//
// Port 0 is not passed on: libssh reads the server's chosen port from
// whatever packet came last, which is not always the answer. A free port of
// the dynamic range is asked for instead, and another after a refusal.
void HalvexSessionCore::serviceForwards() {
    constexpr int kPortAttempts = 16;
    static thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> dynamicPorts(49152, 65535);
    while (!forwards_.empty()) {
        auto& f = forwards_.front();
        bool cancel = f.type == Command::Type::CancelForward;
        const char* address = f.listenHost ? f.listenHost->c_str() : nullptr;
        if (!cancel && f.listenPort == 0 && f.candidatePort == 0)
            f.candidatePort = static_cast<uint16_t>(dynamicPorts(random));
        uint16_t port = f.listenPort ? f.listenPort : f.candidatePort;
        int rc = cancel ? ssh_channel_cancel_forward(session_, address, port)
                        : ssh_channel_listen_forward(session_, address, port, nullptr);
        if (rc == SSH_AGAIN) {
            forwardInFlight_ = true;
            return;
        }
        forwardInFlight_ = false;
        if (rc != SSH_OK && !cancel && f.listenPort == 0 && ++f.attempts < kPortAttempts &&
            ssh_get_error_code(session_) == SSH_REQUEST_DENIED && ssh_is_connected(session_)) {
            f.candidatePort = static_cast<uint16_t>(dynamicPorts(random));
            continue;
        }
        Command done = std::move(f);
        forwards_.pop_front();
        if (rc == SSH_OK) {
            if (!cancel) forwardsActive_ = true;
            if (done.completion) done.completion(true, port, std::nullopt);
            continue;
        }
        std::string where = (done.listenHost ? *done.listenHost : std::string("*")) + " port " +
                            std::to_string(done.listenPort);
        std::string what =
            cancel ? "The server did not stop listening on " : "The server refused to listen on ";
        if (done.completion)
            done.completion(false, 0,
                            makeError(HalvexCoreErrorForward, what + where + ": " + libsshError(session_)));
    }
}

void HalvexSessionCore::acceptForwardChannels() {
    for (int i = 0; i < 64; ++i) {
        int destinationPort = 0, originatorPort = 0;
        char* originator = nullptr;
        ssh_channel channel =
            ssh_channel_open_forward_port(session_, 0, &destinationPort, &originator, &originatorPort);
        if (originator) ssh_string_free_char(originator);
        if (!channel) return;
        auto owner_ = owner;
        std::shared_ptr<HalvexForwardChannel> forward(
            new HalvexForwardChannel(shared_from_this(), owner_, std::weak_ptr<HalvexChannelDelegate>()));
        forward->io_->kind = HalvexChannelIO::Kind::Forward;
        forward->io_->channel = channel;
        forward->io_->phase = HalvexChannelIO::Phase::Open;
        forward->io_->port = static_cast<uint16_t>(destinationPort);
        attachCallbacks(forward.get());
        forward->open_.store(true);
        channels_.push_back(forward);
        withDelegate(
            [&](HalvexSessionDelegate& d, HalvexSession& s) { d.didOpenForwardChannel(s, forward); });
    }
}

void HalvexSessionCore::teardown(const std::optional<Error>& error) {
    std::deque<Command> left;
    {
        std::lock_guard lock(mutex);
        ended_ = true;
        left.swap(commands_);
    }
    std::optional<Error> channelError;
    if (error)
        channelError =
            makeError(HalvexCoreErrorChannel, "The connection ended: " + error->localizedDescription);
    for (auto& ch : channels_) {
        if (ch->io_->phase == HalvexChannelIO::Phase::Pending && !disconnectRequested_.load()) {
            failChannel(ch, makeError(HalvexCoreErrorChannel, "The session ended before the channel opened"));
        } else {
            failChannel(ch, channelError);
        }
    }
    channels_.clear();
    for (auto& f : forwards_)
        reject(f, false);
    forwards_.clear();
    for (auto& command : left) {
        if (command.type == Command::Type::Open || command.type == Command::Type::Forward ||
            command.type == Command::Type::CancelForward)
            reject(command, false);
    }
    if (session_) {
        if (event_ && sessionInEvent_) ssh_event_remove_session(event_, session_);
        if (fdGivenToLibssh_) ssh_disconnect(session_);
        ssh_free(session_);
        session_ = nullptr;
    }
    if (event_) {
        ssh_event_remove_fd(event_, wakeFd_);
        ssh_event_free(event_);
        event_ = nullptr;
    }
    if (!fdGivenToLibssh_ && socket_.fd >= 0) ::close(socket_.fd);
    socket_.relay.reset();
    {
        std::lock_guard lock(mutex);
        authChoice = AuthChoice{};
    }
}
