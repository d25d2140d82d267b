// Port forwardings over a real session to OpenSSH's sshd on loopback, with
// curl as the client and an origin HTTP server inside this binary: local,
// remote and dynamic forwardings (SOCKS5 by address and by name, IPv6, plain
// HTTP and CONNECT, through a channel and directly), every refusal of the
// proxy endpoint byte for byte from a scripted client, half-closes, a slow
// client, and the ways a forwarding ends.

#include "Halvex/HalvexDynamicBridgeConnection.h"
#include "Halvex/HalvexPortForwarding.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "SessionRecorder.h"
#include "TestServers.h"

#include <gtest/gtest.h>

#include <future>
#include <set>

using namespace std::chrono_literals;

namespace {

constexpr size_t kBody = 1 << 20;

class ForwardingRecorder : public HalvexPortForwardingDelegate, public peers::Recorder {
public:
    struct TargetBreak {
        Error error;
        long mode;
        std::string host;
        uint16_t port;
    };

    void portForwardingDidEstablish(HalvexPortForwarding&) override {
        change([&] { ++established; });
    }
    void establishFailedWithError(HalvexPortForwarding&, const Error& e) override {
        change([&] { failures.push_back(e); });
    }
    void didBridgeConnection(HalvexPortForwarding& f,
                             const std::shared_ptr<HalvexBridgeConnection>& bridge) override {
        change([&] {
            ++bridges;
            made.push_back(bridge);
        });
        if (onBridge) onBridge(f);
    }
    long bridgeModeOfHost(HalvexPortForwarding&, const std::string& host) override {
        change([&] { askedHosts.push_back(host); });
        return mode.load();
    }
    void didTargetBreakWithError(HalvexPortForwarding&, const Error& e, long m, const std::string& host,
                                 uint16_t port) override {
        change([&] { targetBreaks.push_back({e, m, host, port}); });
    }

    int calls() {
        std::lock_guard lock(mutex);
        return established + static_cast<int>(failures.size()) + bridges +
               static_cast<int>(targetBreaks.size());
    }

    std::atomic<long> mode{HalvexBridgeModeChannel};
    std::function<void(HalvexPortForwarding&)> onBridge; // set before the forwarding runs

    int established = 0;
    int bridges = 0;
    std::vector<std::shared_ptr<HalvexBridgeConnection>> made;
    std::vector<Error> failures;
    std::vector<std::string> askedHosts;
    std::vector<TargetBreak> targetBreaks;
};

// The remote forwarding that takes the session's forwarded channels.
// (A forwarding of another type offered the channel first must refuse it.)
struct ForwardSlot {
    std::mutex mutex;
    std::weak_ptr<HalvexPortForwarding> forwarding;
    std::weak_ptr<HalvexPortForwarding> offeredFirst;
    std::atomic<int> refusals{0};
    void set(const std::shared_ptr<HalvexPortForwarding>& f) {
        std::lock_guard lock(mutex);
        forwarding = f;
    }
};

std::shared_ptr<HalvexPortForwarding> makeForwarding(long type, std::optional<int64_t> port,
                                                     const std::string& host = "127.0.0.1",
                                                     std::optional<int64_t> hostport = std::nullopt,
                                                     std::optional<std::string> bind = std::nullopt) {
    auto f = HalvexPortForwarding::make();
    f->setType(type);
    f->port = port;
    f->host = host;
    f->hostport = hostport;
    f->bind_address = bind;
    return f;
}

std::string socksConnectByName(const std::string& name, uint16_t port) {
    std::string s("\x05\x01\x00\x05\x01\x00\x03", 7);
    s += static_cast<char>(name.size());
    s += name;
    s += static_cast<char>(port >> 8);
    s += static_cast<char>(port & 0xff);
    return s;
}

const std::string kSocksMethodReply("\x05\x00", 2);
const std::string kSocksSuccess("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
const std::string kBadGateway =
    "HTTP/1.1 502 Bad Gateway\r\nProxy-agent: Brimble Proxy 2.0\r\nContent-Length: "
    "11\r\nConnection: Close\r\n\r\nBad Gateway";

// The addresses sockets of this process listen on at a port.
std::set<std::string> listeningAddresses(uint16_t port) {
    std::set<std::string> found;
    for (int fd = 0; fd < 1024; ++fd) {
        int listening = 0;
        socklen_t len = sizeof listening;
        if (getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) != 0 || !listening) continue;
        sockaddr_storage a{};
        len = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&a);
            if (ntohs(in->sin_port) != port) continue;
            inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        } else if (a.ss_family == AF_INET6) {
            auto* in = reinterpret_cast<sockaddr_in6*>(&a);
            if (ntohs(in->sin6_port) != port) continue;
            inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
        }
        if (*text) found.insert(text);
    }
    return found;
}

// Waits (bounded) for a condition that other threads bring about.
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class ForwardingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // curl must take the proxies it is given, and no others.
        for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                              "ALL_PROXY", "no_proxy", "NO_PROXY"})
            unsetenv(v);
        sshd = new peers::SSHD();
        if (!sshd->start()) {
            delete sshd;
            sshd = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete sshd;
        sshd = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(sshd, nullptr) << "sshd did not start";
        rec = std::make_shared<SessionRecorder>();
        rec->chooser = SessionRecorder::keyFile(sshd->dir.path + "/id_ed25519");
        auto route = slot;
        rec->onForward = [route](const std::shared_ptr<HalvexForwardChannel>& channel) {
            std::shared_ptr<HalvexPortForwarding> f, other;
            {
                std::lock_guard lock(route->mutex);
                f = route->forwarding.lock();
                other = route->offeredFirst.lock();
            }
            if (other && !other->acceptNewForwardChannel(channel)) ++route->refusals;
            if (f) {
                EXPECT_TRUE(f->acceptNewForwardChannel(channel));
            }
        };
        session = HalvexSession::make(rec);
        session->connectToHost("127.0.0.1", sshd->port, "root", 10);
        ASSERT_TRUE(rec->waitAuthenticated()) << sshd->log();
    }
    void TearDown() override {
        if (!session) return;
        session->disconnect();
        EXPECT_TRUE(rec->waitDisconnect());
    }

    // Establishes and waits for the delegate to hear it.
    ::testing::AssertionResult establish(const std::shared_ptr<HalvexPortForwarding>& f,
                                         const std::shared_ptr<ForwardingRecorder>& fr) {
        f->setDelegate(fr);
        if (f->type() == 1) slot->set(f);
        if (auto e = f->establishWithSession(session))
            return ::testing::AssertionFailure() << e->localizedDescription;
        if (!fr->waitFor([&] { return fr->established == 1 || !fr->failures.empty(); }) ||
            fr->established != 1)
            return ::testing::AssertionFailure() << "not established";
        return ::testing::AssertionSuccess();
    }

    // curl's exit status, its output in *body.
    static int curl(std::vector<std::string> args, std::string* body) {
        args.insert(args.begin(), {"curl", "-sS", "--fail", "--max-time", "60"});
        return peers::runProgram(args, {}, body);
    }

    // 1 MiB down and 1 MiB up through one way of reaching the origin, each
    // compared byte for byte.
    void downAndUp(const std::vector<std::string>& how, const std::string& base, peers::HTTPOrigin& origin) {
        std::string down;
        ASSERT_EQ(curl(concat(how, {base + "/bytes/" + std::to_string(kBody)}), &down), 0) << base;
        ASSERT_EQ(down.size(), kBody) << base;
        EXPECT_TRUE(down == peers::pattern(0, kBody)) << base << ": the body differs";

        std::string upload = peers::pattern(12345, kBody);
        peers::writeFile(scratch.path + "/upload", upload);
        std::string echoed;
        size_t before = origin.bodies().size();
        ASSERT_EQ(curl(concat(how, {"-T", scratch.path + "/upload", base + "/upload"}), &echoed), 0) << base;
        auto bodies = origin.bodies();
        ASSERT_GT(bodies.size(), before);
        EXPECT_TRUE(bodies.back() == upload) << base << ": the origin got other bytes";
        EXPECT_TRUE(echoed == upload) << base << ": the answer differs";
    }

    static std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    static peers::SSHD* sshd;
    std::shared_ptr<SessionRecorder> rec;
    std::shared_ptr<HalvexSession> session;
    std::shared_ptr<ForwardSlot> slot = std::make_shared<ForwardSlot>();
    peers::TempDir scratch;
};
peers::SSHD* ForwardingTest::sshd = nullptr;

TEST_F(ForwardingTest, LocalForwardingCarriesBodiesBothWaysAndListensWhereTheBindAddressSays) {
    peers::HTTPOrigin origin;
    auto fr = std::make_shared<ForwardingRecorder>();
    uint16_t port = peers::freePort();
    auto f = makeForwarding(0, port, "127.0.0.1", origin.port);
    ASSERT_TRUE(establish(f, fr));
    EXPECT_TRUE(f->isEstablished());
    EXPECT_EQ(f->session(), session);
    downAndUp({}, "http://127.0.0.1:" + std::to_string(port), origin);
    ASSERT_TRUE(fr->waitFor([&] { return fr->bridges == 2; }));
    EXPECT_TRUE(eventually([&] { return f->connections().empty(); })) << "ended bridges leave the list";
    EXPECT_TRUE(fr->targetBreaks.empty());
    f->destroy();
    EXPECT_FALSE(f->isEstablished());
    EXPECT_TRUE(listeningAddresses(port).empty());

    // Where it listens: an empty bind address means loopback only.
    bool six = peers::hasIPv6Loopback();
    struct Case {
        std::optional<std::string> bind;
        std::set<std::string> addresses;
    };
    std::vector<Case> cases = {
        {std::nullopt, six ? std::set<std::string>{"127.0.0.1", "::1"} : std::set<std::string>{"127.0.0.1"}},
        {"", six ? std::set<std::string>{"127.0.0.1", "::1"} : std::set<std::string>{"127.0.0.1"}},
        {"*", {"0.0.0.0", "::"}},
        {"0.0.0.0", {"0.0.0.0", "::"}},
        {"::", {"0.0.0.0", "::"}},
        {"127.0.0.1", {"127.0.0.1"}},
        {"lo", six ? std::set<std::string>{"127.0.0.1", "::1"} : std::set<std::string>{"127.0.0.1"}},
    };
    for (auto& c : cases) {
        uint16_t p = peers::freePort();
        auto g = makeForwarding(0, p, "127.0.0.1", origin.port, c.bind);
        auto gr = std::make_shared<ForwardingRecorder>();
        ASSERT_TRUE(establish(g, gr)) << c.bind.value_or("(none)");
        EXPECT_EQ(listeningAddresses(p), c.addresses) << c.bind.value_or("(none)");
        g->destroy();
    }
    // The address families as the call says.
    uint16_t p = peers::freePort();
    auto g = makeForwarding(0, p, "127.0.0.1", origin.port, "*");
    EXPECT_FALSE(g->establishWithIPv4Enabled(true, false));
    EXPECT_EQ(listeningAddresses(p), std::set<std::string>{"0.0.0.0"});
    g->destroy();
}

TEST_F(ForwardingTest, EstablishmentRefusesBadRulesAndReportsListenFailures) {
    struct Case {
        long type;
        std::optional<int64_t> port, hostport;
        long code;
        std::string text;
    };
    std::vector<Case> cases = {
        {3, 8080, 80, HalvexPortForwardingUnknownTypeError, "Unknown port forwarding type: 3"},
        {0, 0, 80, HalvexPortForwardingInvalidPortError, "Invalid port forwarding port: 0"},
        {0, 65536 + 8080, 80, HalvexPortForwardingInvalidPortError, "Invalid port forwarding port: 73616"},
        {2, std::nullopt, 80, HalvexPortForwardingInvalidPortError, "Invalid port forwarding port: (null)"},
        {0, 8080, 0, HalvexPortForwardingInvalidPortError, "Invalid port forwarding host port: 0"},
        {1, -1, 80, HalvexPortForwardingInvalidPortError, "Invalid port forwarding port: -1"},
        {1, 8080, 65536 + 22, HalvexPortForwardingInvalidPortError,
         "Invalid port forwarding host port: 65558"},
    };
    for (auto& c : cases) {
        auto f = makeForwarding(c.type, c.port, "127.0.0.1", c.hostport);
        auto fr = std::make_shared<ForwardingRecorder>();
        f->setDelegate(fr);
        auto e = f->establishWithSession(session);
        ASSERT_TRUE(e) << c.text;
        EXPECT_EQ(e->domain, "Halvex.Core");
        EXPECT_EQ(e->code, c.code);
        EXPECT_EQ(e->localizedDescription, c.text);
        ASSERT_EQ(fr->failures.size(), 1u) << c.text;
        EXPECT_EQ(fr->failures[0], *e);
        EXPECT_FALSE(f->isEstablished());
        EXPECT_TRUE(listeningAddresses(static_cast<uint16_t>(c.port.value_or(0) & 0xffff)).empty()) << c.text;
    }
    // A port that is taken.
    peers::EchoServer busy;
    auto f = makeForwarding(0, busy.port, "127.0.0.1", 80, "127.0.0.1");
    auto fr = std::make_shared<ForwardingRecorder>();
    f->setDelegate(fr);
    auto e = f->establishWithSession(session);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(e->code, EADDRINUSE);
    EXPECT_EQ(fr->failures.size(), 1u);
    EXPECT_FALSE(f->isEstablished());
}

TEST_F(ForwardingTest, RemoteForwardingOnAServerChosenPortCarriesBodiesAndDestroyCancelsTheListener) {
    peers::HTTPOrigin origin;
    auto fr = std::make_shared<ForwardingRecorder>();
    auto f = makeForwarding(1, 0, "127.0.0.1", origin.port, "127.0.0.1");
    auto dynamic = makeForwarding(2, peers::freePort());
    auto dr = std::make_shared<ForwardingRecorder>();
    ASSERT_TRUE(establish(dynamic, dr));
    {
        std::lock_guard lock(slot->mutex);
        slot->offeredFirst = dynamic;
    }
    ASSERT_TRUE(establish(f, fr));
    uint16_t bound = f->boundPort();
    EXPECT_GE(bound, 49152);
    EXPECT_TRUE(f->isEstablished());
    downAndUp({}, "http://127.0.0.1:" + std::to_string(bound), origin);
    EXPECT_TRUE(fr->waitFor([&] { return fr->bridges == 2; }));
    EXPECT_TRUE(eventually([&] { return f->connections().empty(); }));
    EXPECT_EQ(slot->refusals, 2) << "a dynamic forwarding refuses forwarded channels";
    EXPECT_EQ(dr->bridges, 0);
    EXPECT_TRUE(dynamic->connections().empty());

    f->destroy();
    EXPECT_FALSE(f->isEstablished());
    EXPECT_TRUE(eventually([&] {
        int s = peers::connectLoopback(bound);
        if (s >= 0) ::close(s);
        return s < 0;
    })) << "the server stopped listening";
}

TEST_F(ForwardingTest, ARemoteForwardingReleasedBeforeTheAnswerNeverTellsItsDelegateAndLeavesNoListener) {
    auto fr = std::make_shared<ForwardingRecorder>();
    uint16_t port = peers::freePort();
    {
        auto f = makeForwarding(1, port, "127.0.0.1", 9);
        f->setDelegate(fr);
        EXPECT_FALSE(f->establishWithSession(session));
    }
    // Requests run in order: once a later request and its cancel are done,
    // so is the answer to the released forwarding's request and its cancel.
    uint16_t marker = peers::freePort();
    std::promise<void> done;
    session->enqueueForwardRequest("127.0.0.1", marker, [&](bool, uint16_t, const std::optional<Error>&) {
        session->cancelForwardRequest("127.0.0.1", marker,
                                      [&](bool, uint16_t, const std::optional<Error>&) { done.set_value(); });
    });
    ASSERT_EQ(done.get_future().wait_for(20s), std::future_status::ready);
    EXPECT_EQ(fr->calls(), 0);
    int s = peers::connectLoopback(port);
    EXPECT_LT(s, 0) << "the listener granted after the release was cancelled";
    if (s >= 0) ::close(s);
}

TEST_F(ForwardingTest, DynamicEndpointServesCurlThroughChannelsAndDirectly) {
    peers::HTTPOrigin origin(true);
    for (long mode : {long(HalvexBridgeModeChannel), long(HalvexBridgeModeDirect)}) {
        SCOPED_TRACE(mode == HalvexBridgeModeChannel ? "channel mode" : "direct mode");
        auto fr = std::make_shared<ForwardingRecorder>();
        fr->mode = mode;
        uint16_t port = peers::freePort();
        auto f = makeForwarding(2, port);
        ASSERT_TRUE(establish(f, fr));
        std::string proxy = "127.0.0.1:" + std::to_string(port);
        std::string byAddress = "http://127.0.0.1:" + std::to_string(origin.port);
        std::string byName = "http://localhost:" + std::to_string(origin.port);
        downAndUp({"--socks5", proxy}, byAddress, origin);
        downAndUp({"--socks5-hostname", proxy}, byName, origin);
        if (origin.port6) {
            std::string down;
            ASSERT_EQ(
                curl({"--socks5", proxy, "-g",
                      "http://[::1]:" + std::to_string(origin.port6) + "/bytes/" + std::to_string(kBody)},
                     &down),
                0);
            EXPECT_TRUE(down == peers::pattern(0, kBody)) << "IPv6 target";
        }
        size_t headsBefore = origin.heads().size();
        downAndUp({"-x", "http://" + proxy, "-U", "someone:secret"}, byAddress, origin);
        auto heads = origin.heads();
        ASSERT_EQ(heads.size(), headsBefore + 2);
        for (size_t i = headsBefore; i < heads.size(); ++i) {
            EXPECT_NE(heads[i].find("\r\nConnection: Close\r\n"), std::string::npos) << heads[i];
            EXPECT_EQ(heads[i].find("Proxy-Authorization"), std::string::npos) << heads[i];
            EXPECT_EQ(heads[i].find("Proxy-Connection"), std::string::npos) << heads[i];
        }
        downAndUp({"-p", "-x", "http://" + proxy}, byAddress, origin);

        std::lock_guard lock(fr->mutex);
        EXPECT_TRUE(fr->targetBreaks.empty()) << "targets that close after answering are no failure";
        EXPECT_NE(std::find(fr->askedHosts.begin(), fr->askedHosts.end(), "localhost"), fr->askedHosts.end());
    }
}

TEST_F(ForwardingTest, TheProxyEndpointRefusesByteForByteAndAnswersScriptedClients) {
    peers::HTTPOrigin origin(true);
    auto fr = std::make_shared<ForwardingRecorder>();
    uint16_t port = peers::freePort();
    auto f = makeForwarding(2, port);
    ASSERT_TRUE(establish(f, fr));
    auto socks = [](std::initializer_list<int> bytes) {
        std::string s;
        for (int b : bytes)
            s += static_cast<char>(b);
        return s;
    };
    std::string greeting = socks({5, 1, 0});
    std::string longHead = "GET http://127.0.0.1/ HTTP/1.1\r\nX: " + std::string(17000, 'a');
    struct Case {
        std::string name;
        std::string send;
        std::string expect;
    };
    std::vector<Case> cases = {
        {"SOCKS4", socks({4, 1, 0, 80, 127, 0, 0, 1, 0}), socks({5, 5, 0})},
        {"version 6", socks({6, 1, 0}), socks({5, 5, 0})},
        {"no methods", socks({5, 0}), socks({5, 5, 0})},
        {"only username/password", socks({5, 1, 2}), socks({5, 5, 0})},
        {"request of version 4", greeting + socks({4, 1, 0, 1, 127, 0, 0, 1, 0, 80}),
         kSocksMethodReply + socks({5, 5, 0})},
        {"BIND", greeting + socks({5, 2, 0, 1, 127, 0, 0, 1, 0, 80}), kSocksMethodReply + socks({5, 7, 0})},
        {"UDP ASSOCIATE", greeting + socks({5, 3, 0, 1, 127, 0, 0, 1, 0, 80}),
         kSocksMethodReply + socks({5, 7, 0})},
        {"address type 2", greeting + socks({5, 1, 0, 2}), kSocksMethodReply + socks({5, 8, 0})},
        {"empty name", greeting + socks({5, 1, 0, 3, 0}), kSocksMethodReply + socks({5, 5, 0})},
        {"name with NUL", greeting + socks({5, 1, 0, 3, 3, 'a', 0, 'b', 0, 80}),
         kSocksMethodReply + socks({5, 5, 0})},
        {"name not UTF-8", greeting + socks({5, 1, 0, 3, 2, 0xC0, 0xAF, 0, 80}),
         kSocksMethodReply + socks({5, 5, 0})},
        {"CONNECT to port 70000", "CONNECT 127.0.0.1:70000 HTTP/1.1\r\nHost: x\r\n\r\n", kBadGateway},
        {"CONNECT without host", "CONNECT / HTTP/1.1\r\n\r\n", kBadGateway},
        {"plain HTTP without host", "GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n", kBadGateway},
        {"plain HTTP to port 99999", "GET http://127.0.0.1:99999/ HTTP/1.1\r\n\r\n", kBadGateway},
        {"plain HTTP to port 0", "GET http://127.0.0.1:0/ HTTP/1.1\r\n\r\n", kBadGateway},
        {"head over 16 KiB", longHead, kBadGateway},
    };
    for (auto& c : cases) {
        int s = peers::connectLoopbackWithTimeout(port);
        ASSERT_GE(s, 0);
        // The client stays connected: the answer and the end come from the
        // endpoint, nothing waits for more.
        ASSERT_TRUE(peers::sendAll(s, c.send));
        EXPECT_EQ(peers::readToEnd(s), c.expect) << c.name;
        ::close(s);
    }
    EXPECT_TRUE(fr->targetBreaks.empty());

    // The successful handshakes, byte for byte, then a request through them.
    std::string get = "GET /bytes/5000 HTTP/1.1\r\nHost: x\r\n\r\n";
    auto answerOf = [](const std::string& all) { return all.substr(all.find("\r\n\r\n") + 4); };
    std::vector<Case> good = {
        {"SOCKS5 IPv4",
         greeting + socks({5, 1, 0, 1, 127, 0, 0, 1, origin.port >> 8, origin.port & 0xff}) + get,
         kSocksMethodReply + kSocksSuccess},
        {"SOCKS5 name", socksConnectByName("localhost", origin.port) + get,
         kSocksMethodReply + kSocksSuccess},
        {"CONNECT", "CONNECT 127.0.0.1:" + std::to_string(origin.port) + " HTTP/1.1\r\n\r\n" + get,
         "HTTP/1.1 200 Connection established\r\nProxy-agent: Brimble Proxy 2.0\r\n\r\n"},
        {"plain HTTP", "GET http://127.0.0.1:" + std::to_string(origin.port) + "/bytes/5000 HTTP/1.1\r\n\r\n",
         ""},
    };
    if (origin.port6) {
        std::string v6 = greeting + socks({5, 1, 0, 4});
        v6 += std::string(15, '\0') + '\1';
        v6 += socks({origin.port6 >> 8, origin.port6 & 0xff});
        good.push_back({"SOCKS5 IPv6", v6 + get, kSocksMethodReply + kSocksSuccess});
    }
    for (auto& c : good) {
        int s = peers::connectLoopbackWithTimeout(port);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(peers::sendAll(s, c.send));
        std::string all = peers::readToEnd(s);
        ::close(s);
        EXPECT_EQ(all.substr(0, c.expect.size()), c.expect) << c.name;
        std::string http = all.substr(c.expect.size());
        EXPECT_EQ(http.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << c.name;
        EXPECT_TRUE(answerOf(http) == peers::pattern(0, 5000)) << c.name;
    }
}

TEST_F(ForwardingTest, TargetsThatCannotBeReachedAreReportedWithTheModeHostAndPort) {
    uint16_t closed = peers::freePort();
    for (long mode : {long(HalvexBridgeModeChannel), long(HalvexBridgeModeDirect)}) {
        auto fr = std::make_shared<ForwardingRecorder>();
        fr->mode = mode;
        uint16_t port = peers::freePort();
        auto f = makeForwarding(2, port);
        ASSERT_TRUE(establish(f, fr));
        int s = peers::connectLoopbackWithTimeout(port);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(peers::sendAll(
            s, std::string("\x05\x01\x00", 3) + std::string("\x05\x01\x00\x01\x7f\x00\x00\x01", 8) +
                   std::string{static_cast<char>(closed >> 8), static_cast<char>(closed)}));
        // The reply goes before the target is tried; the end follows.
        EXPECT_EQ(peers::readToEnd(s), kSocksMethodReply + kSocksSuccess);
        ::close(s);
        ASSERT_TRUE(fr->waitFor([&] { return fr->targetBreaks.size() == 1; }));
        auto& b = fr->targetBreaks[0];
        EXPECT_EQ(b.mode, mode);
        EXPECT_EQ(b.host, "127.0.0.1");
        EXPECT_EQ(b.port, closed);
        if (mode == HalvexBridgeModeChannel) {
            EXPECT_EQ(b.error.domain, "Halvex.Core");
            EXPECT_EQ(b.error.code, HalvexCoreErrorChannel);
        } else {
            EXPECT_EQ(b.error.domain, "NSPOSIXErrorDomain");
            EXPECT_EQ(b.error.code, ECONNREFUSED);
        }
        EXPECT_TRUE(eventually([&] { return f->connections().empty(); }));
    }

    // Where the requests point: CONNECT names its port, a URL without one
    // means 80.
    auto fr = std::make_shared<ForwardingRecorder>();
    fr->mode = HalvexBridgeModeDirect;
    uint16_t port = peers::freePort();
    auto f = makeForwarding(2, port);
    ASSERT_TRUE(establish(f, fr));
    std::vector<std::pair<std::string, std::pair<std::string, uint16_t>>> requests = {
        {"CONNECT localhost:443 HTTP/1.1\r\n\r\n", {"localhost", 443}},
        {"GET http://127.0.0.1/x HTTP/1.1\r\n\r\n", {"127.0.0.1", 80}},
        {"CONNECT [::1]:8443 HTTP/1.1\r\n\r\n", {"::1", 8443}},
    };
    for (size_t i = 0; i < requests.size(); ++i) {
        int s = peers::connectLoopbackWithTimeout(port);
        ASSERT_GE(s, 0);
        ASSERT_TRUE(peers::sendAll(s, requests[i].first));
        ASSERT_TRUE(fr->waitFor([&] { return fr->askedHosts.size() == i + 1; }));
        std::shared_ptr<HalvexDynamicBridgeConnection> bridge;
        {
            std::lock_guard lock(fr->mutex);
            bridge = std::dynamic_pointer_cast<HalvexDynamicBridgeConnection>(fr->made.at(i));
        }
        ASSERT_TRUE(bridge);
        EXPECT_EQ(bridge->targetHost(), requests[i].second.first);
        EXPECT_EQ(bridge->targetPort(), requests[i].second.second);
        ::close(s);
    }
}

TEST_F(ForwardingTest, HalfClosedClientsStillGetTheWholeAnswerThroughEveryKind) {
    peers::ReplyAfterEndServer replier;
    std::string sent = peers::pattern(777, kBody);
    auto roundTrip = [&](uint16_t port, const std::string& handshake, const std::string& handshakeReply) {
        int s = peers::connectLoopbackWithTimeout(port);
        if (s < 0) return std::string("no connection");
        peers::sendAll(s, handshake + sent);
        ::shutdown(s, SHUT_WR);
        std::string all = peers::readToEnd(s);
        ::close(s);
        if (all.substr(0, handshakeReply.size()) != handshakeReply)
            return "bad handshake, " + std::to_string(all.size()) + " bytes back";
        return all.substr(handshakeReply.size());
    };

    auto local = makeForwarding(0, peers::freePort(), "127.0.0.1", replier.port);
    auto lr = std::make_shared<ForwardingRecorder>();
    ASSERT_TRUE(establish(local, lr));
    auto same = [&](const std::string& back, const std::string& what) {
        EXPECT_TRUE(back == sent) << what << ": " << back.size() << " bytes back"
                                  << (back.size() < 100 ? ": " + back : std::string());
    };
    same(roundTrip(static_cast<uint16_t>(*local->port), "", ""), "local");

    auto remote = makeForwarding(1, peers::freePort(), "127.0.0.1", replier.port);
    auto rr = std::make_shared<ForwardingRecorder>();
    ASSERT_TRUE(establish(remote, rr));
    same(roundTrip(remote->boundPort(), "", ""), "remote");

    for (long mode : {long(HalvexBridgeModeChannel), long(HalvexBridgeModeDirect)}) {
        auto dynamic = makeForwarding(2, peers::freePort());
        auto dr = std::make_shared<ForwardingRecorder>();
        dr->mode = mode;
        ASSERT_TRUE(establish(dynamic, dr));
        std::string back =
            roundTrip(static_cast<uint16_t>(*dynamic->port), socksConnectByName("127.0.0.1", replier.port),
                      kSocksMethodReply + kSocksSuccess);
        same(back, "dynamic, mode " + std::to_string(mode));
    }
}

TEST_F(ForwardingTest, ASlowClientHoldsTheChannelBackInsteadOfFillingMemory) {
    constexpr size_t kTotal = size_t(128) << 20;
    peers::PatternSource source(kTotal);
    auto f = makeForwarding(0, peers::freePort(), "127.0.0.1", source.port);
    auto fr = std::make_shared<ForwardingRecorder>();
    ASSERT_TRUE(establish(f, fr));
    int s = peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*f->port));
    ASSERT_GE(s, 0);
    // Nothing is read: the source stalls once the buffers on the way and the
    // channel's window are full.
    size_t stalled = peers::waitUntilStalled(source.sent);
    EXPECT_GT(stalled, 0u) << "the source never stalled";
    EXPECT_LT(stalled, kTotal / 2) << "the bridge took " << stalled
                                   << " bytes for a client that reads nothing";
    // Reading resumes the flow, and every byte arrives in order.
    std::string all = peers::readToEnd(s);
    ::close(s);
    ASSERT_EQ(all.size(), kTotal);
    EXPECT_TRUE(std::string_view(all).substr(kTotal - 4096) == peers::patternView(kTotal - 4096, 4096));
    bool same = true;
    for (size_t off = 0; off < kTotal && same; off += 1 << 20)
        same = std::string_view(all).substr(off, 1 << 20) == peers::patternView(off, 1 << 20);
    EXPECT_TRUE(same);
}

TEST_F(ForwardingTest, DestroyEndsLiveBridgesClosesEveryDescriptorAndWorksFromItsOwnQueue) {
    peers::ReplyAfterEndServer replier;
    {
        // The sockets' shared I/O thread's own descriptors exist from here on.
        auto warmUp = makeForwarding(0, peers::freePort(), "127.0.0.1", replier.port);
        auto wr = std::make_shared<ForwardingRecorder>();
        ASSERT_TRUE(establish(warmUp, wr));
        int s = peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*warmUp->port));
        ::shutdown(s, SHUT_WR);
        peers::readToEnd(s);
        ::close(s);
        warmUp->destroy();
    }
    ASSERT_TRUE(eventually([&] { return replier.openConnections() == 0; }));
    int baseline = peers::descriptorCount();

    // Live bridges of both listening kinds: relaying, and one mid-handshake.
    auto local = makeForwarding(0, peers::freePort(), "127.0.0.1", replier.port);
    auto dynamic = makeForwarding(2, peers::freePort());
    auto lr = std::make_shared<ForwardingRecorder>();
    auto dr = std::make_shared<ForwardingRecorder>();
    ASSERT_TRUE(establish(local, lr));
    ASSERT_TRUE(establish(dynamic, dr));
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*local->port)));
        peers::sendAll(clients.back(), "partial request");
    }
    clients.push_back(peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*dynamic->port)));
    peers::sendAll(clients.back(), socksConnectByName("127.0.0.1", replier.port) + "some bytes");
    clients.push_back(peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*dynamic->port)));
    peers::sendAll(clients.back(), std::string("\x05", 1));
    ASSERT_TRUE(
        eventually([&] { return local->connections().size() == 3 && dynamic->connections().size() == 2; }));
    std::this_thread::sleep_for(200ms); // the relays are under way

    local->destroy();
    dynamic->destroy();
    EXPECT_TRUE(local->connections().empty());
    EXPECT_TRUE(dynamic->connections().empty());
    for (int c : clients) {
        std::string rest = peers::readToEnd(c);
        EXPECT_EQ(rest.find("partial request"), std::string::npos) << "no answer comes after destroy";
        ::close(c);
    }
    EXPECT_TRUE(eventually([&] {
        return replier.openConnections() == 0 && peers::descriptorCount() == baseline;
    })) << peers::descriptorCount()
        << " descriptors, " << baseline << " before";

    // destroy from the forwarding's own queue, inside its delegate's call.
    auto self = makeForwarding(0, peers::freePort(), "127.0.0.1", replier.port);
    auto sr = std::make_shared<ForwardingRecorder>();
    std::promise<bool> destroyedThere;
    sr->onBridge = [&](HalvexPortForwarding& f) {
        f.destroy();
        destroyedThere.set_value(f.connections().empty() && !f.isEstablished());
    };
    ASSERT_TRUE(establish(self, sr));
    uint16_t selfPort = static_cast<uint16_t>(*self->port);
    int c = peers::connectLoopbackWithTimeout(selfPort);
    ASSERT_GE(c, 0);
    auto there = destroyedThere.get_future();
    ASSERT_EQ(there.wait_for(20s), std::future_status::ready) << "destroy on its own queue deadlocked";
    EXPECT_TRUE(there.get());
    EXPECT_EQ(peers::readToEnd(c), "");
    ::close(c);
    EXPECT_LT(peers::connectLoopbackWithTimeout(selfPort), 0) << "nothing listens any more";

    // Releasing a forwarding with a live bridge ends it the same way.
    {
        auto released = makeForwarding(0, peers::freePort(), "127.0.0.1", replier.port);
        auto rr = std::make_shared<ForwardingRecorder>();
        ASSERT_TRUE(establish(released, rr));
        int r = peers::connectLoopbackWithTimeout(static_cast<uint16_t>(*released->port));
        peers::sendAll(r, "x");
        ASSERT_TRUE(eventually([&] { return released->connections().size() == 1; }));
        released.reset();
        EXPECT_EQ(peers::readToEnd(r), "");
        ::close(r);
    }
    self.reset();
    EXPECT_TRUE(eventually([&] {
        return replier.openConnections() == 0 && peers::descriptorCount() == baseline;
    })) << peers::descriptorCount()
        << " descriptors, " << baseline << " before";
}

} // namespace
