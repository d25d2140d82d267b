// The session controller's state machine, host-key check, method choice and
// secrets against a scripted transport, with the main queue on a manual clock.
// Most cases deliver the transport's events on the main thread; the last ones
// deliver them from a worker thread that waits on the main thread, as the SSH
// thread does.

#include "../SessionControllerTestSupport.h"

#include "Dispatch/ManualClock.h"
#include "Halvex/HalvexAuthHelper.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "HalvexCore/HalvexHostKeyParser.h"
#include "Keychain/MemoryKeychainBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <thread>

using namespace controller_test;
using namespace std::chrono_literals;

namespace {

std::shared_ptr<HalvexHostKeyParser> makeHostKey(const char* base64) {
    Error error;
    auto key = HalvexHostKeyParser::parserFromBase64(base64, 0, &error);
    EXPECT_TRUE(key) << error.localizedDescription;
    return key;
}
const char* const kKeyA = "AAAAC3NzaC1lZDI1NTE5AAAAIP3/WV2P2yHvE04ndtW4IUZT034vH7Gn3rIBWZ2QJZFU";
const char* const kKeyB = "AAAAC3NzaC1lZDI1NTE5AAAAIEgxSDfkyvRPoFwMYZmmeG/nc/c6VL+0rI55fBdgxPmk";
const char* const kFingerprintA = "SHA256:w0a++hweW1Bj/3rIpSn1qSpKiMS/Osy/JSTEtUGX5ro";
const char* const kFingerprintB = "SHA256:ZBpmZBNxcOLS4gRxcaQbGU5ft/9CoXah6kko5OtySp4";

class ScriptedTransport : public HalvexSessionTransport {
public:
    enum class Choice { None, Password, KeyText, KeyParser, Interactive };
    struct Proxy {
        long type = 0;
        std::string host;
        uint16_t port = 0;
        bool auth = false;
        std::string user, password;
    };

    explicit ScriptedTransport(std::weak_ptr<HalvexSessionTransportDelegate> d) : delegate(std::move(d)) {}

    void enableProxy(long type, const std::string& host, uint16_t port) override {
        proxy = Proxy{type, host, port, false, {}, {}};
    }
    void enableProxy(long type, const std::string& host, uint16_t port, const std::string& user,
                     const std::string& password) override {
        proxy = Proxy{type, host, port, true, user, password};
    }
    void setEnableCompression(bool e) override { compression = e; }
    void setEnableIPv4(bool e) override { ipv4 = e; }
    void setEnableIPv6(bool e) override { ipv6 = e; }
    void setCiphers(const std::string& c) override { ciphers = c; }
    void setHostKeyAlgorithms(const std::string& a) override { hostKeyAlgorithms = a; }
    void setKeyExchangeAlgorithms(const std::string& a) override { kex = a; }
    void setServerAliveCountMax(long c) override { aliveMax = c; }
    void setLogDebug(HalvexLogSink s) override { sinks[0] = std::move(s); }
    void setLogInfo(HalvexLogSink s) override { sinks[1] = std::move(s); }
    void setLogWarn(HalvexLogSink s) override { sinks[2] = std::move(s); }
    void setLogError(HalvexLogSink s) override { sinks[3] = std::move(s); }
    void setLogFatal(HalvexLogSink s) override { sinks[4] = std::move(s); }
    void connectToHost(const std::string& h, uint16_t p, const std::string& i, const std::string& u,
                       double t) override {
        host_ = h, port_ = p, interface_ = i, user_ = u, timeout = t;
        ++connects;
    }
    void disconnect() override { ++disconnects; }
    std::string host() const override { return host_; }
    uint16_t port() const override { return port_; }
    std::string hostIP() const override { return ip; }
    void authenticateByPasswordHandler(HalvexPasswordHandler h) override {
        choice = Choice::Password;
        password = std::move(h);
    }
    void authenticateByPrivateKeyBase64(const std::string& k) override {
        choice = Choice::KeyText;
        keyText = k;
    }
    void authenticateByPrivateKeyParser(std::shared_ptr<HalvexPrivateKeyParser>) override {
        choice = Choice::KeyParser;
    }
    void authenticateByInteractiveHandler(HalvexInteractiveHandler h) override {
        choice = Choice::Interactive;
        interactive = std::move(h);
    }

    // Events, on the calling thread.
    std::shared_ptr<HalvexSessionTransportDelegate> d() { return delegate.lock(); }
    bool hostKey(const char* base64) { return d()->shouldConnectWithHostKey(*this, makeHostKey(base64)); }
    void connected() { d()->didConnectToHost(*this, host_, port_); }
    std::optional<Error> methods(std::vector<std::string> m, bool partial = false) {
        choice = Choice::None;
        return d()->authenticateWithAllowedMethods(*this, m, partial);
    }
    void authenticated() { d()->didAuthenticateUser(*this, user_); }
    void disconnected(std::optional<Error> e = std::nullopt) { d()->didDisconnectWithError(*this, e); }
    // Up and authenticated by password.
    void login() {
        connected();
        methods({"password"});
        authenticated();
    }

    std::weak_ptr<HalvexSessionTransportDelegate> delegate;
    std::optional<Proxy> proxy;
    bool compression = false, ipv4 = false, ipv6 = false;
    std::string ciphers, hostKeyAlgorithms, kex;
    long aliveMax = -1;
    HalvexLogSink sinks[5];
    std::string host_, interface_, user_;
    uint16_t port_ = 0;
    double timeout = 0;
    int connects = 0;
    std::atomic<int> disconnects{0};
    std::string ip = "192.0.2.10";
    Choice choice = Choice::None;
    HalvexPasswordHandler password;
    HalvexInteractiveHandler interactive;
    std::string keyText;
};

Error coreError(long code, std::string text = "The connection failed") {
    return Error(HalvexCoreErrorDomain, code, std::move(text));
}

class SessionController : public ::testing::Test {
protected:
    void SetUp() override {
        clock = std::make_shared<ManualClock>();
        main = std::make_shared<DrivableMainQueue>(clock);
        MainQueue::setMain(main);
        keychain = std::make_shared<MemoryKeychainBackend>();
        KeychainBackend::setShared(keychain);
        presenter = std::make_shared<ScriptedAlertPresenter>();
        HalvexAlertPresenter::setSharedPresenter(presenter);
        prefs = scratchPreferences(dir, "defaults");
        prompter = std::make_shared<ScriptedPrompter>(main);
        controller = std::make_shared<HalvexSessionController>();
        controller->setSsh_host("server.test");
        controller->setSsh_port(2222);
        controller->ssh_user = "alice";
        controller->setPreferences(prefs);
        controller->setSecretPrompter(prompter);
        controller->setTransportFactory([this](std::weak_ptr<HalvexSessionTransportDelegate> d) {
            auto t = std::make_shared<ScriptedTransport>(std::move(d));
            transports.push_back(t);
            return t;
        });
    }
    void TearDown() override {
        controller.reset();
        transports.clear();
        HalvexAlertPresenter::setSharedPresenter(nullptr);
        KeychainBackend::setShared(nullptr);
        MainQueue::setMain(nullptr);
    }

    ScriptedTransport& last() { return *transports.back(); }
    void advance(std::chrono::nanoseconds by) {
        clock->advance(by);
        main->runUntilIdle();
    }
    // Lines written since the mark.
    std::vector<std::string> linesSince(std::size_t mark) {
        auto all = sessionLines(*controller);
        return {all.begin() + static_cast<long>(std::min(mark, all.size())), all.end()};
    }
    std::size_t mark() { return sessionLines(*controller).size(); }
    void useMethods(std::vector<std::shared_ptr<HalvexAuthMethodModel>> methods) {
        controller->setAuth_methods(std::move(methods));
    }
    std::string passwordItem() {
        auto item = HalvexAuthHelper::makeWithServer("server.test", 2222, "alice");
        return item ? item->token() : "?";
    }

    ScratchDir dir;
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<DrivableMainQueue> main;
    std::shared_ptr<MemoryKeychainBackend> keychain;
    std::shared_ptr<ScriptedAlertPresenter> presenter;
    std::shared_ptr<HalvexPreferences> prefs;
    std::shared_ptr<ScriptedPrompter> prompter;
    std::shared_ptr<HalvexSessionController> controller;
    std::vector<std::shared_ptr<ScriptedTransport>> transports;
};

// "#Start-Date: dd-MMM-yyyy HH:mm:ss" with an English month name.
bool isStartDate(const std::string& line) {
    const std::string prefix = "#Start-Date: ";
    if (line.rfind(prefix, 0) != 0) return false;
    const std::string date = line.substr(prefix.size());
    const std::string shape = "99-MMM-9999 99:99:99";
    if (date.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == '9' && !std::isdigit(static_cast<unsigned char>(date[i]))) return false;
        if (shape[i] != '9' && shape[i] != 'M' && shape[i] != date[i]) return false;
    }
    const std::string month = date.substr(3, 3);
    for (const char* m : {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"})
        if (month == m) return true;
    return false;
}

const std::string kRetry = "info: Connection failed, retry after 3 seconds…";

TEST_F(SessionController, StartsIdleWithTheLogHeader) {
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_TRUE(controller->canTurnOn());
    EXPECT_FALSE(controller->canTurnOff());
    auto lines = controller->logsAttributedString();
    ASSERT_EQ(lines.size(), 4u);
    for (auto& l : lines)
        EXPECT_TRUE(l.plain);
    EXPECT_EQ(lines[0].message, "#Version:    1.0");
    // The application's name as users know it, whatever the program file is called.
    EXPECT_EQ(lines[1].message, "#Software:   Orvik");
    EXPECT_TRUE(isStartDate(lines[2].message)) << lines[2].message;
    EXPECT_EQ(lines[3].message, "#Fields:     time x-comment\n");
    EXPECT_NE(controller->logId(), HalvexSessionController().logId());
}

TEST_F(SessionController, StatusTableAndChangeNotices) {
    const bool on[] = {true, false, false, false, false, false, false, false, false, true, false};
    const bool off[] = {false, true, true, true, true, true, true, false, true, false, false};
    for (int s = 0; s <= 10; ++s) {
        EXPECT_EQ(HalvexSessionController::canTurnOn(s), on[s]) << s;
        EXPECT_EQ(HalvexSessionController::canTurnOff(s), off[s]) << s;
    }
    EXPECT_FALSE(HalvexSessionController::canTurnOn(-1));
    EXPECT_FALSE(HalvexSessionController::canTurnOff(-1));

    std::vector<std::string> notices;
    auto token = controller->addObserver(
        "",
        [&](const std::string& key, bool prior) {
            if (key == "canTurnOn" || key == "canTurnOff")
                notices.push_back((prior ? "will " : "did ") + key);
        },
        true);
    controller->setStatusCode(HalvexSessionStatusScheduled);
    EXPECT_EQ(notices, (std::vector<std::string>{"will canTurnOn", "will canTurnOff", "did canTurnOn",
                                                 "did canTurnOff"}));
}

TEST_F(SessionController, ConnectsWithTheProfilesSettingsAndLogsTheCommand) {
    controller->compression = true;
    controller->ciphers = "aes256-ctr";
    controller->key_exchange_algorithms = "";
    controller->address_familly = 1;
    controller->connect_interface = "lo";
    controller->connection_timeout = 7;
    controller->server_alive_count_max = 5;
    ASSERT_TRUE(controller->turnOn());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnecting);
    ASSERT_EQ(transports.size(), 1u);
    auto& t = last();
    EXPECT_EQ(t.connects, 1);
    EXPECT_EQ(t.host_, "server.test");
    EXPECT_EQ(t.port_, 2222);
    EXPECT_EQ(t.user_, "alice");
    EXPECT_EQ(t.interface_, "lo");
    EXPECT_DOUBLE_EQ(t.timeout, 7.0);
    EXPECT_TRUE(t.compression);
    EXPECT_EQ(t.ciphers, "aes256-ctr");
    EXPECT_EQ(t.kex, "");
    EXPECT_FALSE(t.ipv4);
    EXPECT_TRUE(t.ipv6);
    EXPECT_EQ(t.aliveMax, 5);
    EXPECT_FALSE(t.proxy);
    EXPECT_EQ(sessionLines(*controller),
              (std::vector<std::string>{"info: Connecting to server.test port 2222",
                                        "info: Command: " + controller->description(),
                                        "info: Via network interface lo"}));

    // The transport's own messages land at their levels.
    t.sinks[0]("d"), t.sinks[1]("i"), t.sinks[2]("w"), t.sinks[3]("e"), t.sinks[4]("f");
    auto lines = sessionLines(*controller);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{"debug: d", "info: i", "warn: w", "error: e", "fatal: f"}));
}

TEST_F(SessionController, ConnectsThroughAProxyIncludingTheTLSKind) {
    controller->proxy_command = true;
    controller->proxy_command_type = 0;
    controller->proxy_command_host = "proxy.test";
    controller->proxy_command_port = 1080;
    controller->proxy_command_auth = true;
    controller->proxy_command_username = "pu";
    controller->proxy_command_password = "pp";
    controller->connect_interface = HalvexSessionModel::AutomaticNetworkInterface;
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(last().proxy);
    EXPECT_EQ(last().proxy->port, 1080);
    EXPECT_TRUE(last().proxy->auth);
    EXPECT_EQ(last().proxy->user, "pu");
    EXPECT_EQ(last().interface_, "") << "the automatic choice binds to no interface";
    EXPECT_EQ(sessionLines(*controller)[0],
              "info: Connecting to server.test port 2222 through SOCKS5 proxy (proxy.test:1080)");

    last().disconnected(coreError(1008));
    controller->proxy_command_type = 4;
    controller->proxy_command_auth = false;
    auto m = mark();
    ASSERT_TRUE(controller->turnOn());
    EXPECT_FALSE(last().proxy->auth);
    EXPECT_EQ(linesSince(m)[0],
              "info: Connecting to server.test port 2222 through HTTPS over TLS proxy (proxy.test:1080)");
    last().connected();
    last().methods({"password"});
    auto before = mark();
    last().authenticated();
    EXPECT_EQ(linesSince(before),
              (std::vector<std::string>{"info: Authenticated to server.test (via proxy)"}));
}

TEST_F(SessionController, TurnOnIsRefusedWhileBusyWithOneWarning) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {2, "Could not open connection, the session is in connecting state"},
        {3, "Could not open connection, connection already established"},
        {4, "Could not open connection, the session is in authenticating state"},
        {5, "Could not open connection, the session is already connected"},
        {6, "Could not open connection, the session is already connected"},
        {7, "Could not open connection, the session is in disconnecting state"},
    };
    for (auto& [status, text] : cases) {
        controller->setStatusCode(status);
        auto m = mark();
        EXPECT_FALSE(controller->turnOn()) << status;
        EXPECT_EQ(linesSince(m), (std::vector<std::string>{std::string("warn: ") + text}));
        EXPECT_EQ(controller->statusCode(), status);
    }
    EXPECT_TRUE(transports.empty());
}

TEST_F(SessionController, RetriesThreeSecondsApartUntilTheAttemptsAreUsed) {
    controller->connection_attempts = 2;
    ASSERT_TRUE(controller->turnOn());
    EXPECT_EQ(controller->retryRemains(), 2);
    for (int failure = 1; failure <= 3; ++failure) {
        ASSERT_EQ(transports.size(), static_cast<size_t>(failure));
        auto m = mark();
        last().disconnected(coreError(1001, "Connection refused"));
        EXPECT_EQ(controller->lastError()->code, 1001);
        if (failure == 3) {
            EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: Connection refused",
                                                               "info: Disconnected from server"}));
            break;
        }
        EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: Connection refused",
                                                           "info: Disconnected from server", kRetry}));
        EXPECT_EQ(controller->statusCode(), HalvexSessionStatusWaitingToRetry);
        EXPECT_TRUE(controller->canTurnOff());
        advance(2999ms);
        EXPECT_EQ(transports.size(), static_cast<size_t>(failure)) << "not before 3 s";
        advance(1ms);
        ASSERT_EQ(transports.size(), static_cast<size_t>(failure + 1));
        EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnecting);
        EXPECT_FALSE(controller->lastError()) << "a new attempt clears the error";
    }
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_EQ(controller->retryRemains(), 0);
    advance(10s);
    EXPECT_EQ(transports.size(), 3u) << "N attempts allow N + 1 connections";
}

TEST_F(SessionController, NoRetryWithZeroAttemptsAndADisconnectWithoutErrorIsRetried) {
    controller->connection_attempts = 0;
    controller->turnOn();
    last().disconnected(coreError(1003));
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    advance(5s);
    EXPECT_EQ(transports.size(), 1u);

    controller->connection_attempts = 1;
    controller->turnOn();
    auto m = mark();
    last().disconnected();
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{"info: Disconnected from server", kRetry}));
    EXPECT_FALSE(controller->lastError());
    advance(3s);
    EXPECT_EQ(transports.size(), 3u);
}

TEST_F(SessionController, StopCodesEndWithoutRetry) {
    for (long code : {1L, 1006L, 1007L, 1008L, 1009L}) {
        ASSERT_TRUE(controller->turnOn());
        last().connected();
        last().disconnected(coreError(code, "stop " + std::to_string(code)));
        EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle) << code;
        EXPECT_EQ(controller->lastError()->code, code);
        EXPECT_EQ(controller->retryRemains(), 999) << "retries were left";
        EXPECT_EQ(sessionLines(*controller).back(), "info: Disconnected from server");
        advance(4s);
    }
    EXPECT_EQ(transports.size(), 5u);
    for (long code : {1005L, 1010L}) {
        controller->turnOn();
        last().disconnected(coreError(code));
        EXPECT_EQ(controller->statusCode(), HalvexSessionStatusWaitingToRetry) << code;
        controller->turnOff();
    }
}

TEST_F(SessionController, TurnOffByStatus) {
    // While waiting to retry: the pending retry does nothing.
    controller->turnOn();
    last().disconnected(coreError(1001));
    ASSERT_EQ(controller->statusCode(), HalvexSessionStatusWaitingToRetry);
    EXPECT_TRUE(controller->turnOff());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_EQ(controller->retryRemains(), -1);
    advance(10s);
    EXPECT_EQ(transports.size(), 1u);

    // Idle: nothing to do.
    auto m = mark();
    EXPECT_FALSE(controller->turnOff());
    EXPECT_EQ(linesSince(m).size(), 0u);

    // Connected: disconnect, and the disconnect that follows is not retried.
    controller->turnOn();
    last().login();
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusAuthenticated);
    m = mark();
    EXPECT_TRUE(controller->turnOff());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusDisconnecting);
    EXPECT_EQ(last().disconnects.load(), 1);
    EXPECT_FALSE(controller->turnOff()) << "nothing more while disconnecting";
    EXPECT_FALSE(controller->canTurnOn());
    EXPECT_EQ(last().disconnects.load(), 1);
    last().disconnected();
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{"info: Disconnecting…", "info: Disconnected from server"}));
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_FALSE(controller->session());
    advance(10s);
    EXPECT_EQ(transports.size(), 2u);

    // Scheduled.
    EXPECT_TRUE(controller->schedule());
    EXPECT_FALSE(controller->schedule());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusScheduled);
    EXPECT_TRUE(controller->turnOff());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    controller->schedule();
    EXPECT_TRUE(controller->turnOn());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnecting);
    EXPECT_FALSE(controller->schedule());
}

TEST_F(SessionController, TurnOffWithErrorKeepsTheError) {
    controller->turnOn();
    last().connected();
    EXPECT_TRUE(controller->turnOffWithError(coreError(42, "The shell ended")));
    EXPECT_EQ(controller->lastError()->localizedDescription, "The shell ended");
    EXPECT_FALSE(controller->turnOffWithError(coreError(43))) << "already disconnecting";
    EXPECT_EQ(controller->lastError()->code, 42);
    last().disconnected();
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_EQ(controller->lastError()->code, 42);
    advance(5s);
    EXPECT_EQ(transports.size(), 1u);
}

TEST_F(SessionController, ReactivateWhileConnectedReconnectsAtOnce) {
    controller->connection_attempts = 4;
    controller->turnOn();
    last().login();
    auto m = mark();
    controller->reactivate();
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusDisconnecting);
    EXPECT_TRUE(controller->reconectAfterDisconnected());
    EXPECT_EQ(controller->retryRemains(), 5);
    EXPECT_EQ(last().disconnects.load(), 1);
    last().disconnected();
    main->runUntilIdle(); // no time passes
    ASSERT_EQ(transports.size(), 2u);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnecting);
    EXPECT_FALSE(controller->reconectAfterDisconnected());
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{"info: Disconnecting…", "info: Disconnected from server",
                                        "info: Connecting to server.test port 2222",
                                        "info: Command: " + controller->description()}));

    // Idle: connects; scheduled or waiting: nothing.
    last().disconnected(coreError(1008));
    controller->reactivate();
    EXPECT_EQ(transports.size(), 3u);
    last().disconnected(coreError(1001));
    ASSERT_EQ(controller->statusCode(), HalvexSessionStatusWaitingToRetry);
    controller->reactivate();
    EXPECT_EQ(transports.size(), 3u);
}

TEST_F(SessionController, AStopCodeClearsTheReconnectOfReactivate) {
    controller->turnOn();
    last().login();
    controller->reactivate();
    last().disconnected(coreError(1006, "Authentication failed"));
    main->runUntilIdle();
    EXPECT_EQ(transports.size(), 1u);
    EXPECT_FALSE(controller->reconectAfterDisconnected());
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);

    // A later, unrelated failure follows the retry rule, not a reconnect.
    controller->connection_attempts = 0;
    controller->turnOn();
    last().disconnected(coreError(1003));
    main->runUntilIdle();
    advance(5s);
    EXPECT_EQ(transports.size(), 2u);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
}

TEST_F(SessionController, TurnOnWhileARetryWaitsStartsOneConnection) {
    controller->turnOn();
    last().disconnected(coreError(1001));
    ASSERT_TRUE(controller->turnOn());
    EXPECT_EQ(transports.size(), 2u);
    advance(5s);
    EXPECT_EQ(transports.size(), 2u);
    EXPECT_EQ(controller->session().get(), &last());
}

TEST_F(SessionController, APortOutsideTheRangeIsRefused) {
    for (std::int64_t port : {0L, -22L, 65536L, 65536L + 22L}) {
        controller->setSsh_port(port);
        auto m = mark();
        EXPECT_FALSE(controller->turnOn()) << port;
        ASSERT_TRUE(controller->lastError());
        EXPECT_EQ(controller->lastError()->code, HalvexSessionController::InvalidSettingsError);
        const std::string text =
            "The server port (" + std::to_string(port) + ") is not a port number from 1 to 65535";
        EXPECT_EQ(controller->lastError()->localizedDescription, text);
        EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: " + text}));
        EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
        EXPECT_FALSE(controller->knownHost());
    }
    controller->setSsh_port(65536L + 22L);
    EXPECT_EQ(controller->sshHostNotation(), "server.test:65558");
    EXPECT_TRUE(transports.empty());

    controller->setSsh_port(22);
    controller->proxy_command = true;
    controller->proxy_command_port = 70000;
    EXPECT_FALSE(controller->turnOn());
    EXPECT_EQ(controller->lastError()->localizedDescription,
              "The proxy port (70000) is not a port number from 1 to 65535");
    EXPECT_TRUE(transports.empty());
}

TEST_F(SessionController, LateCallbacksOfAReplacedSessionAreIgnored) {
    controller->turnOn();
    auto first = transports.back();
    controller->turnOff();
    first->disconnected();
    controller->turnOn();
    auto second = transports.back();
    ASSERT_NE(first, second);
    auto m = mark();
    first->connected();
    EXPECT_FALSE(first->hostKey(kKeyA));
    EXPECT_TRUE(first->methods({"password"}).has_value());
    EXPECT_EQ(first->choice, ScriptedTransport::Choice::None);
    first->authenticated();
    first->disconnected(coreError(1001));
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnecting);
    EXPECT_EQ(controller->session(), second);
    EXPECT_FALSE(controller->lastError());
    EXPECT_EQ(linesSince(m).size(), 0u);
    EXPECT_TRUE(presenter->taken().empty());
    advance(5s);
    EXPECT_EQ(transports.size(), 2u);
}

TEST_F(SessionController, NewHostKeyIsAskedAndStored) {
    std::vector<std::string> notices;
    auto token =
        controller->addObserver("knownHost", [&](const std::string& k, bool) { notices.push_back(k); });
    controller->turnOn();
    presenter->answer({HalvexAlertPresenter::SecondButton});
    auto m = mark();
    EXPECT_TRUE(last().hostKey(kKeyA));
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{"warn: Permanently added the ssh-ed25519 host key "
                                                       "'" +
                                                       std::string(kFingerprintA) +
                                                       "' for 'server.test (192.0.2.10) "
                                                       "port 2222' to the list of known hosts"}));
    ASSERT_EQ(presenter->taken().size(), 1u);
    EXPECT_EQ(presenter->taken()[0].messageText,
              "Please verify the host key fingerprint for 'server.test (192.0.2.10) port 2222'");
    auto known = controller->knownHost();
    ASSERT_TRUE(known);
    EXPECT_EQ(known->host_key(), kKeyA);
    EXPECT_EQ(known->host_ip, "192.0.2.10");
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(controller->sshHostNotation(), "server.test:2222 (192.0.2.10)");
    EXPECT_EQ(controller->sshHostNotationWithoutPort(), "server.test (192.0.2.10)");

    // The same key again: no question.
    EXPECT_TRUE(last().hostKey(kKeyA));
    EXPECT_EQ(presenter->taken().size(), 1u);
    EXPECT_EQ(prefs->knownHosts().size(), 1u);
}

TEST_F(SessionController, RefusedNewHostIsNotStored) {
    controller->turnOn();
    auto m = mark();
    EXPECT_FALSE(last().hostKey(kKeyA)); // "No"
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: Failed to add the ssh-ed25519 host key for "
                                                       "'server.test (192.0.2.10) port 2222' to the list of "
                                                       "known hosts"}));
    EXPECT_FALSE(controller->knownHost());
}

TEST_F(SessionController, ChangedKeyAndAddressFollowTheStrictChecks) {
    HalvexKnownHostModel stored("server.test", 2222, "192.0.2.10");
    stored.setHost_key(kKeyA);
    stored.setHost_key_type(makeHostKey(kKeyA)->keyType());
    prefs->addKnownHost(stored);

    controller->turnOn();
    auto m = mark();
    EXPECT_FALSE(last().hostKey(kKeyB)); // strict: "No"
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: Failed to renew the ssh-ed25519 host key "
                                                       "'" +
                                                       std::string(kFingerprintB) +
                                                       "' for 'server.test (192.0.2.10) "
                                                       "port 2222'"}));
    EXPECT_EQ(presenter->taken().back().messageText, "REMOTE HOST KEY HAS CHANGED!");
    EXPECT_EQ(controller->knownHost()->host_key(), kKeyA);

    presenter->answer({HalvexAlertPresenter::SecondButton});
    EXPECT_TRUE(last().hostKey(kKeyB)); // "Accept"
    EXPECT_EQ(controller->knownHost()->host_key(), kKeyB);

    last().ip = "192.0.2.99";
    m = mark();
    EXPECT_FALSE(last().hostKey(kKeyB));
    EXPECT_EQ(presenter->taken().back().messageText, "POSSIBLE DNS SPOOFING DETECTED!");
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{"error: Failed to renew the 'server.test (192.0.2.10) "
                                                       "port 2222' IP address to '192.0.2.99'"}));

    // Without the checks a change is taken silently.
    controller->check_host_ip = false;
    controller->strict_hostkey_checking = false;
    last().disconnected(coreError(1008));
    controller->turnOn();
    last().ip = "192.0.2.99";
    auto asked = presenter->taken().size();
    EXPECT_TRUE(last().hostKey(kKeyA));
    EXPECT_EQ(presenter->taken().size(), asked);
    EXPECT_EQ(controller->knownHost()->host_key(), kKeyA);
    EXPECT_EQ(controller->knownHost()->host_ip, "192.0.2.99");
    EXPECT_EQ(prefs->knownHosts().size(), 1u);
}

TEST_F(SessionController, MethodsAreChosenInTheProfilesOrder) {
    useMethods({HalvexAuthMethodModel::sharedPasswordAutheMethod(),
                HalvexAuthMethodModel::sharedPublickeyAutheMethod()});
    controller->turnOn();
    last().connected();
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusConnected);
    auto m = mark();
    EXPECT_FALSE(last().methods({"publickey", "password"}));
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusAuthenticating);
    EXPECT_EQ(last().choice, ScriptedTransport::Choice::Password);
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{"info: Authentication that can continue: publickey, password",
                                        "info: Authenticating with “password” method"}));

    useMethods({HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    last().disconnected(coreError(1008));
    controller->turnOn();
    last().connected();
    auto error = last().methods({"password"});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "Halvex.Core");
    EXPECT_EQ(error->code, 1007);
    EXPECT_EQ(error->localizedDescription, "No match authentication method found");
    last().disconnected(error);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    EXPECT_EQ(sessionLines(*controller).back(), "info: Disconnected from server");

    // A public key without a stored key ends the attempt with a clear error.
    useMethods({HalvexAuthMethodModel::sharedPublickeyAutheMethod()});
    controller->turnOn();
    error = last().methods({"publickey"});
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, HalvexSessionController::InvalidSettingsError);
}

TEST_F(SessionController, PasswordFromTheKeychainIsNotAsked) {
    HalvexAuthHelper::makeWithServer("server.test", 2222, "alice")->setToken("stored-pw");
    controller->turnOn();
    last().connected();
    last().methods({"password"});
    auto m = mark();
    EXPECT_EQ(last().password(), "stored-pw");
    EXPECT_TRUE(prompter->requests.empty());
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{"info: Password for remote host is found in keychain"}));
}

TEST_F(SessionController, ARememberedPasswordIsStoredOnlyAfterItsStepSucceeded) {
    controller->turnOn();
    last().connected();
    last().methods({"password"});
    prompter->responses.push_back(ScriptedPrompter::ok({"wrong-pw"}, true));
    auto m = mark();
    EXPECT_EQ(last().password(), "wrong-pw");
    ASSERT_EQ(prompter->requests.size(), 1u);
    EXPECT_EQ(prompter->requests[0], HalvexSecretPromptRequest::password("alice", "server.test", 2222));
    EXPECT_EQ(passwordItem(), "") << "not before the server accepted it";
    // The server asks again without a partial success: the password was wrong.
    last().methods({"password"});
    prompter->responses.push_back(ScriptedPrompter::ok({"right-pw"}, true));
    EXPECT_EQ(last().password(), "right-pw");
    EXPECT_EQ(passwordItem(), "");
    last().authenticated();
    EXPECT_EQ(passwordItem(), "right-pw");
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusAuthenticated);
    EXPECT_EQ(linesSince(m), (std::vector<std::string>{
                                 "info: Could not find password in keychain",
                                 "info: Authentication that can continue: password",
                                 "info: Authenticating with “password” method",
                                 "info: Could not find password in keychain",
                                 "info: Authenticated to server.test ([192.0.2.10]:2222)",
                                 "info: Password was remembered to keychain",
                             }));
}

TEST_F(SessionController, AWrongPasswordEndingTheAttemptIsNeverStored) {
    controller->turnOn();
    last().connected();
    last().methods({"password"});
    prompter->responses.push_back(ScriptedPrompter::ok({"wrong-pw"}, true));
    last().password();
    last().disconnected(coreError(1006, "Authentication failed"));
    EXPECT_EQ(passwordItem(), "");
    EXPECT_TRUE(keychain->items().empty());
}

TEST_F(SessionController, PartialSuccessStoresTheFirstFactorsSecret) {
    useMethods({HalvexAuthMethodModel::sharedPasswordAutheMethod(),
                HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    controller->turnOn();
    last().connected();
    last().methods({"password"});
    prompter->responses.push_back(ScriptedPrompter::ok({"first-factor"}, true));
    last().password();
    auto m = mark();
    last().methods({"keyboard-interactive"}, true);
    EXPECT_EQ(passwordItem(), "first-factor");
    EXPECT_EQ(last().choice, ScriptedTransport::Choice::Interactive);
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{
                  "info: Partial success. Authentication that can continue: keyboard-interactive",
                  "info: Password was remembered to keychain",
                  "info: Authenticating with “keyboard-interactive” method",
              }));
}

TEST_F(SessionController, AFailedStoreIsLoggedAsAFailure) {
    keychain->setFailWrites(true);
    controller->turnOn();
    last().methods({"password"});
    prompter->responses.push_back(ScriptedPrompter::ok({"pw"}, true));
    last().password();
    last().authenticated();
    auto lines = sessionLines(*controller);
    EXPECT_EQ(lines.back(), "info: Failed to save password to keychain");
    for (auto& l : lines)
        EXPECT_EQ(l.find("remembered"), std::string::npos) << l;
}

TEST_F(SessionController, CancelGivesTheEmptyAnswerAndStoresNothing) {
    controller->turnOn();
    last().methods({"password"});
    prompter->responses.push_back({false, {"typed"}, true}); // Cancel with the box ticked
    EXPECT_EQ(last().password(), "");
    last().authenticated();
    EXPECT_TRUE(keychain->items().empty());
}

TEST_F(SessionController, StoredAnswersForOtherPromptsAreNotSent) {
    useMethods({HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    HalvexAuthHelper::makeWithServer("server.test", 2222, "alice", true)->addAnswers({"old"}, 0);
    controller->turnOn();
    last().methods({"keyboard-interactive"});
    const std::vector<HalvexInteractivePrompt> prompts{{"Password: ", false}, {"Code: ", false}};
    prompter->responses.push_back(ScriptedPrompter::ok({"secret", "123456"}, true));
    EXPECT_EQ(last().interactive(0, "", "", prompts), (std::vector<std::string>{"secret", "123456"}));
    ASSERT_EQ(prompter->requests.size(), 1u) << "the user is asked instead";
    last().authenticated();
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("server.test", 2222, "alice", true)->answersAtIndex(0),
              (std::vector<std::string>{"secret", "123456"}));
}

TEST_F(SessionController, InteractiveRoundsUseStoredAnswersAndAskTheRest) {
    useMethods({HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    HalvexAuthHelper::makeWithServer("server.test", 2222, "alice", true)->addAnswers({"stored-0"}, 0);
    controller->turnOn();
    last().methods({"keyboard-interactive"});
    auto m = mark();
    EXPECT_EQ(last().interactive(0, "", "", {{"Code: ", false}}), std::vector<std::string>{"stored-0"});
    EXPECT_TRUE(prompter->requests.empty());

    const std::vector<HalvexInteractivePrompt> prompts{{"One-time code: ", false},
                                                       {"Favourite colour: ", true}};
    prompter->responses.push_back(ScriptedPrompter::ok({"424242", "blue"}, true));
    EXPECT_EQ(last().interactive(1, "Second factor", "Answer both.", prompts),
              (std::vector<std::string>{"424242", "blue"}));
    ASSERT_EQ(prompter->requests.size(), 1u);
    EXPECT_EQ(prompter->requests[0],
              HalvexSecretPromptRequest::interactive("server.test", 2222, "alice", "Second factor",
                                                     "Answer both.", prompts));
    // A round without prompts is answered without asking or logging.
    EXPECT_TRUE(last().interactive(2, "", "", {}).empty());
    EXPECT_EQ(prompter->requests.size(), 1u);
    auto item = HalvexAuthHelper::makeWithServer("server.test", 2222, "alice", true);
    EXPECT_FALSE(item->answersAtIndex(1)) << "not before the login succeeded";
    last().authenticated();
    EXPECT_EQ(item->answersAtIndex(1), (std::vector<std::string>{"424242", "blue"}));
    EXPECT_EQ(linesSince(m),
              (std::vector<std::string>{
                  "info: Remote host prompts following information:\nCode: ",
                  "info: Interactive information [0] was found in keychain",
                  "info: Remote host prompts following information:\nOne-time code: \nFavourite colour: ",
                  "info: Could not find interactive information [1] in keychain",
                  "info: Authenticated to server.test ([192.0.2.10]:2222)",
                  "info: Interactive information [1] was remembered to keychain",
              }));

    // A keychain that refuses: the answers are still used, the failure logged.
    keychain->setFailWrites(true);
    last().disconnected();
    controller->turnOff();
    controller->turnOn();
    last().methods({"keyboard-interactive"});
    prompter->responses.push_back(ScriptedPrompter::ok({"777"}, true));
    EXPECT_EQ(last().interactive(3, "", "", {{"PIN: ", false}}), std::vector<std::string>{"777"});
    last().authenticated();
    EXPECT_EQ(sessionLines(*controller).back(),
              "info: Failed to save interactive information [3] to keychain");
}

TEST_F(SessionController, HandlersOfAReleasedControllerGiveEmptyAnswers) {
    useMethods({HalvexAuthMethodModel::sharedPasswordAutheMethod(),
                HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    controller->turnOn();
    last().methods({"password"});
    auto password = last().password;
    last().methods({"keyboard-interactive"});
    auto interactive = last().interactive;
    auto transport = transports.back();
    prompter->responses.push_back(ScriptedPrompter::ok({"never"}, false));
    controller.reset();
    EXPECT_EQ(password(), "");
    EXPECT_TRUE(interactive(0, "", "", {{"Code: ", false}}).empty());
    EXPECT_TRUE(prompter->requests.empty());
}

// --- the transport's events from a worker thread, as the SSH thread sends them

TEST_F(SessionController, AWorkerThreadWaitsForThePromptOnTheMainThread) {
    useMethods({HalvexAuthMethodModel::sharedPasswordAutheMethod()});
    presenter->answer({HalvexAlertPresenter::SecondButton});
    prompter->responses.push_back(ScriptedPrompter::ok({"pw"}, true));
    controller->turnOn();
    auto t = transports.back();
    std::atomic<bool> done{false};
    std::string answer;
    std::thread io([&] {
        t->hostKey(kKeyA);
        t->connected();
        t->methods({"password"});
        answer = t->password();
        t->authenticated();
        done = true;
    });
    ASSERT_TRUE(main->runUntil([&] { return done.load(); }, 20s));
    io.join();
    EXPECT_EQ(answer, "pw");
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusAuthenticated);
    EXPECT_EQ(passwordItem(), "pw");
    EXPECT_TRUE(controller->knownHost());

    // A disconnect from the worker, then the retry on the main queue.
    std::thread io2([&] { t->disconnected(coreError(1003, "Connection lost")); });
    ASSERT_TRUE(
        main->runUntil([&] { return controller->statusCode() == HalvexSessionStatusWaitingToRetry; }, 20s));
    io2.join();
    advance(3s);
    EXPECT_EQ(transports.size(), 2u);
}

TEST_F(SessionController, TurningOffWhileAPromptIsOpenDoesNotDeadlock) {
    controller->connection_attempts = 3;
    prompter->holdOpen = true;
    prompter->onOpen = [&] { main->async([&] { EXPECT_TRUE(controller->turnOff()); }); };
    controller->turnOn();
    auto t = transports.back();
    std::atomic<bool> done{false};
    std::string answer = "unset";
    std::thread io([&] {
        t->connected();
        t->methods({"password"});
        answer = t->password();
        // The transport saw the disconnect request and ends the attempt.
        if (t->disconnects.load() > 0) t->disconnected();
        done = true;
    });
    ASSERT_TRUE(main->runUntil([&] { return done.load(); }, 20s));
    io.join();
    EXPECT_EQ(answer, "");
    EXPECT_EQ(prompter->cancels, 1);
    EXPECT_EQ(prompter->open, 0);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
    advance(5s);
    EXPECT_EQ(transports.size(), 1u) << "turned off: no retry";
    EXPECT_TRUE(keychain->items().empty());
}

} // namespace
