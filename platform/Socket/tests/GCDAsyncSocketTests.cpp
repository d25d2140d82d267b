// The socket against itself and against plain blocking sockets on loopback:
// listening, connecting, tagged reads and writes, time-outs, the ways a
// socket ends, and the descriptors it leaves behind.

#include "Dispatch/SerialQueue.h"
#include "Socket/GCDAsyncSocket.h"
#include "TestServers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Records every event; waits are bounded.
class Recorder : public GCDAsyncSocketDelegate, public peers::Recorder {
public:
    struct Read {
        std::string data;
        long tag;
    };

    void didAcceptNewSocket(GCDAsyncSocket&, const std::shared_ptr<GCDAsyncSocket>& s) override {
        change([&] { accepted.push_back(s); });
    }
    void didConnectToHost(GCDAsyncSocket&, const std::string& host, uint16_t port) override {
        change([&] { connects.push_back(host + ":" + std::to_string(port)); });
    }
    void didReadData(GCDAsyncSocket&, std::string data, long tag) override {
        change([&] { reads.push_back({std::move(data), tag}); });
    }
    void didWriteDataWithTag(GCDAsyncSocket&, long tag) override {
        change([&] { writes.push_back(tag); });
    }
    double shouldTimeoutReadWithTag(GCDAsyncSocket&, long tag, double, size_t bytesDone) override {
        double more = 0;
        change([&] {
            timeouts.push_back({std::to_string(bytesDone), tag});
            if (!extensions.empty()) {
                more = extensions.front();
                extensions.erase(extensions.begin());
            }
        });
        return more;
    }
    void socketDidCloseReadStream(GCDAsyncSocket&) override {
        change([&] { ++readStreamClosed; });
    }
    void socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& e) override {
        change([&] {
            ++disconnects;
            error = e;
        });
    }

    std::vector<std::shared_ptr<GCDAsyncSocket>> accepted;
    std::vector<std::string> connects;
    std::vector<Read> reads;
    std::vector<long> writes;
    std::vector<Read> timeouts; // (bytes done, tag)
    std::vector<double> extensions;
    int readStreamClosed = 0;
    int disconnects = 0;
    std::optional<Error> error;
};

// The process's descriptor whose local port is `port`, or -1.
int descriptorWithLocalPort(uint16_t port) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.ss_family != AF_INET) continue;
        if (ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port) == port) return fd;
    }
    return -1;
}

// A listener on loopback with one accepted socket under its own recorder.
struct Pair {
    std::shared_ptr<SerialQueue> queue = std::make_shared<SerialQueue>("test.socket");
    std::shared_ptr<Recorder> listenRec = std::make_shared<Recorder>();
    std::shared_ptr<Recorder> rec = std::make_shared<Recorder>();
    std::shared_ptr<GCDAsyncSocket> listener = GCDAsyncSocket::make(listenRec, queue);
    std::shared_ptr<GCDAsyncSocket> accepted;
    int client = -1;

    bool open(bool halfClose = false) {
        Error e;
        if (!listener->acceptOnInterface("localhost", 0, &e)) return false;
        client = peers::connectLoopbackWithTimeout(listener->localPort());
        if (client < 0 || !listenRec->waitFor([&] { return !listenRec->accepted.empty(); })) return false;
        accepted = listenRec->accepted.front();
        accepted->setDelegate(rec, queue);
        accepted->setAutoDisconnectOnClosedReadStream(!halfClose);
        return true;
    }
    ~Pair() {
        if (client >= 0) ::close(client);
    }
};

TEST(GCDAsyncSocket, TaggedReadsTakeLengthsDelimitersAndWhatIsThereInOrder) {
    Pair p;
    ASSERT_TRUE(p.open());
    EXPECT_TRUE(p.accepted->isConnected());
    EXPECT_EQ(p.accepted->connectedHost(), "127.0.0.1");
    // Queued before the bytes come; each completes in turn, bytes past one
    // read's end wait for the next.
    p.accepted->readDataToLength(3, 0, 1);
    p.accepted->readDataToData("\r\n\r\n", 0, 0, 2);
    p.accepted->readDataWithTimeout(0, 4, 3);
    p.accepted->readDataToData("END", 0, 6, 4); // runs into its maximum first
    p.accepted->readDataToLength(0, 0, 5);
    p.accepted->readDataWithTimeout(0, 6);
    ASSERT_TRUE(peers::sendAll(p.client, "abcGET / HTTP/1.1\r"));
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(peers::sendAll(p.client, "\nHost: x\r\n\r\nrest"));
    ASSERT_TRUE(peers::sendAll(p.client, "123456789"));
    ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->reads.size() == 6; }));
    std::vector<std::pair<std::string, long>> got;
    for (auto& r : p.rec->reads)
        got.emplace_back(r.data, r.tag);
    std::vector<std::pair<std::string, long>> want = {{"abc", 1},  {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", 2},
                                                      {"rest", 3}, {"123456", 4},
                                                      {"", 5},     {"789", 6}};
    EXPECT_EQ(got, want);

    // Writes complete in order, with their tags.
    p.accepted->writeData("one ", 0, 10);
    p.accepted->writeData(std::string(1 << 20, 'x'), 0, 11);
    p.accepted->writeData("", 0, 12);
    p.accepted->disconnectAfterWriting();
    std::string echoed = peers::readToEnd(p.client);
    EXPECT_EQ(echoed.size(), 4u + (1u << 20));
    EXPECT_EQ(echoed.substr(0, 4), "one ");
    ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
    EXPECT_EQ(p.rec->writes, (std::vector<long>{10, 11, 12}));
    EXPECT_FALSE(p.rec->error) << "a disconnect asked for ends without an error";
}

TEST(GCDAsyncSocket, ThePeersCloseEndsTheSocketOrOnlyItsReadingWhenHalfClosesAreKept) {
    {
        Pair p;
        ASSERT_TRUE(p.open());
        p.accepted->readDataWithTimeout(0, 7);
        p.accepted->readDataWithTimeout(0, 8);
        ASSERT_TRUE(peers::sendAll(p.client, "last words"));
        ::shutdown(p.client, SHUT_WR);
        ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
        ASSERT_EQ(p.rec->reads.size(), 1u);
        EXPECT_EQ(p.rec->reads[0].data, "last words");
        ASSERT_TRUE(p.rec->error);
        EXPECT_EQ(p.rec->error->domain, GCDAsyncSocketErrorDomain);
        EXPECT_EQ(p.rec->error->code, GCDAsyncSocketClosedError);
    }
    {
        Pair p;
        ASSERT_TRUE(p.open(true));
        p.accepted->readDataWithTimeout(0, 7);
        ::shutdown(p.client, SHUT_WR);
        ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->readStreamClosed == 1; }));
        // Reading is over, writing is not: the reply still reaches the peer.
        p.accepted->writeData("the reply", 0, 8);
        p.accepted->closeWriteStreamAfterWriting();
        EXPECT_EQ(peers::readToEnd(p.client), "the reply");
        ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
        EXPECT_EQ(p.rec->writes, std::vector<long>{8});
        ASSERT_TRUE(p.rec->error);
        EXPECT_EQ(p.rec->error->code, GCDAsyncSocketClosedError);
        EXPECT_TRUE(p.rec->reads.empty()) << "the pending read is dropped, not completed empty";
    }
}

TEST(GCDAsyncSocket, ReadTimeOutsAskTheDelegateForMoreTimeBeforeEndingTheSocket) {
    Pair p;
    ASSERT_TRUE(p.open());
    p.rec->extensions = {0.05};
    p.accepted->readDataToLength(10, 0.05, 42);
    ASSERT_TRUE(peers::sendAll(p.client, "abc"));
    ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
    ASSERT_EQ(p.rec->timeouts.size(), 2u);
    EXPECT_EQ(p.rec->timeouts[0].tag, 42);
    EXPECT_EQ(p.rec->timeouts[1].data, "3") << "bytes done so far";
    ASSERT_TRUE(p.rec->error);
    EXPECT_EQ(p.rec->error->code, GCDAsyncSocketReadTimeoutError);
    EXPECT_TRUE(p.rec->reads.empty());
}

TEST(GCDAsyncSocket, AWriteThePeerDoesNotTakeInTimeEndsTheSocket) {
    Pair p;
    ASSERT_TRUE(p.open());
    p.accepted->writeData("small", 0.2, 1);
    // More than every buffer on the way holds, to a peer that reads nothing.
    p.accepted->writeData(std::string(size_t(64) << 20, 'x'), 0.2, 2);
    ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
    EXPECT_EQ(p.rec->writes, std::vector<long>{1});
    ASSERT_TRUE(p.rec->error);
    EXPECT_EQ(p.rec->error->domain, GCDAsyncSocketErrorDomain);
    EXPECT_EQ(p.rec->error->code, GCDAsyncSocketWriteTimeoutError);
}

TEST(GCDAsyncSocket, ConnectsAndReportsWhatCannotStartOrFails) {
    auto queue = std::make_shared<SerialQueue>("test.connect");
    auto listenRec = std::make_shared<Recorder>();
    auto listener = GCDAsyncSocket::make(listenRec, queue);
    ASSERT_TRUE(listener->acceptOnPort(0));
    uint16_t port = listener->localPort();
    ASSERT_NE(port, 0);

    auto rec = std::make_shared<Recorder>();
    auto client = GCDAsyncSocket::make(rec, queue);
    client->setNoDelay(true);
    client->writeData("early", 0, 1); // waits for the connection
    ASSERT_TRUE(client->connectToHost("localhost", port, 5));
    ASSERT_TRUE(rec->waitFor([&] { return rec->connects.size() == 1 && rec->writes.size() == 1; }));
    EXPECT_EQ(rec->connects[0], "127.0.0.1:" + std::to_string(port)) << "IPv4 is tried first";
    int fd = descriptorWithLocalPort(client->localPort());
    ASSERT_GE(fd, 0);
    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &len), 0);
    EXPECT_EQ(nodelay, 1) << "set before the descriptor existed, applied once it did";
    ASSERT_TRUE(listenRec->waitFor([&] { return listenRec->accepted.size() == 1; }));

    Error e;
    EXPECT_FALSE(client->connectToHost("localhost", port, 5, &e)) << "already connected";
    EXPECT_EQ(e.code, GCDAsyncSocketBadConfigError);
    auto other = GCDAsyncSocket::make(rec, queue);
    EXPECT_FALSE(other->connectToHost("", port, 5, &e));
    EXPECT_EQ(e.code, GCDAsyncSocketBadParamError);
    other->setIPv4Enabled(false);
    other->setIPv6Enabled(false);
    EXPECT_FALSE(other->connectToHost("localhost", port, 5, &e));
    EXPECT_EQ(e.code, GCDAsyncSocketBadConfigError);
    EXPECT_FALSE(GCDAsyncSocket::make()->connectToHost("localhost", port, 5, &e)) << "no delegate";
    EXPECT_FALSE(listener->acceptOnPort(0, &e)) << "listening already";

    // Failures after the start arrive as the end of the socket.
    struct Case {
        std::string host;
        uint16_t port;
        bool ipv4;
        const char* domain;
        long code;
    };
    uint16_t closed = port;
    listener->disconnect();
    std::vector<Case> cases = {
        {"127.0.0.1", closed, true, "NSPOSIXErrorDomain", ECONNREFUSED},
        {"127.0.0.1", closed, false, GCDAsyncSocketErrorDomain, GCDAsyncSocketBadConfigError},
    };
    for (auto& c : cases) {
        auto r = std::make_shared<Recorder>();
        auto s = GCDAsyncSocket::make(r, queue);
        s->setIPv4Enabled(c.ipv4);
        ASSERT_TRUE(s->connectToHost(c.host, c.port, 5)) << c.host;
        ASSERT_TRUE(r->waitFor([&] { return r->disconnects == 1; })) << c.host;
        ASSERT_TRUE(r->error) << c.host;
        EXPECT_EQ(r->error->domain, c.domain) << c.host;
        EXPECT_EQ(r->error->code, c.code) << c.host;
        EXPECT_TRUE(r->connects.empty());
    }
}

TEST(GCDAsyncSocket, ListensOnInterfacesByNameAddressOrLoopbackAndRefusesUnknownOnes) {
    auto queue = std::make_shared<SerialQueue>("test.listen");
    auto rec = std::make_shared<Recorder>();
    std::vector<std::shared_ptr<GCDAsyncSocket>> listeners; // a released socket reports nothing more
    for (std::string where : {"lo", "127.0.0.1", "loopback"}) {
        auto listener = listeners.emplace_back(GCDAsyncSocket::make(rec, queue));
        listener->setIPv6Enabled(where != "lo"); // "lo" by name: its IPv4 address
        Error e;
        ASSERT_TRUE(listener->acceptOnInterface(where, 0, &e)) << where << ": " << e.localizedDescription;
        int c = peers::connectLoopbackWithTimeout(listener->localPort());
        EXPECT_GE(c, 0) << where;
        if (c >= 0) ::close(c);
    }
    ASSERT_TRUE(rec->waitFor([&] { return rec->accepted.size() == 3; }));

    auto listener = GCDAsyncSocket::make(rec, queue);
    Error e;
    EXPECT_FALSE(listener->acceptOnInterface("nosuch0", 0, &e));
    EXPECT_EQ(e.domain, GCDAsyncSocketErrorDomain);
    EXPECT_EQ(e.code, GCDAsyncSocketBadParamError);
    auto first = GCDAsyncSocket::make(rec, queue);
    first->setIPv6Enabled(false);
    ASSERT_TRUE(first->acceptOnInterface("127.0.0.1", 0));
    auto second = GCDAsyncSocket::make(rec, queue);
    EXPECT_FALSE(second->acceptOnInterface("127.0.0.1", first->localPort(), &e));
    EXPECT_EQ(e.domain, "NSPOSIXErrorDomain");
    EXPECT_EQ(e.code, EADDRINUSE);
}

TEST(GCDAsyncSocket, DisconnectClosesTheDescriptorAtOnceAndAClearedDelegateHearsNothing) {
    Pair warmUp; // the shared I/O thread's own descriptors exist from here on
    ASSERT_TRUE(warmUp.open());
    int baseline = peers::descriptorCount();
    {
        Pair p;
        ASSERT_TRUE(p.open());
        p.accepted->readDataWithTimeout(0, 1);
        p.accepted->disconnect();
        ASSERT_TRUE(p.rec->waitFor([&] { return p.rec->disconnects == 1; }));
        EXPECT_FALSE(p.rec->error);
        EXPECT_EQ(peers::readToEnd(p.client), "") << "the peer sees the end";
        p.listener->disconnect();
        ASSERT_TRUE(p.listenRec->waitFor([&] { return p.listenRec->disconnects == 1; }));
    }
    EXPECT_EQ(peers::descriptorCount(), baseline);
    {
        Pair p;
        ASSERT_TRUE(p.open());
        p.accepted->readDataToLength(8, 0, 1);
        ASSERT_TRUE(peers::sendAll(p.client, "data"));
        p.accepted->setDelegate({});
        ASSERT_TRUE(peers::sendAll(p.client, "more"));
        p.accepted->disconnect();
        // A block on the queue after everything the socket could have sent.
        p.queue->sync([] {});
        EXPECT_EQ(p.rec->disconnects, 0);
        EXPECT_TRUE(p.rec->reads.empty());
        p.listener.reset(); // releasing closes too
        p.accepted.reset();
        p.listenRec->accepted.clear();
    }
    EXPECT_EQ(peers::descriptorCount(), baseline);
}

} // namespace
