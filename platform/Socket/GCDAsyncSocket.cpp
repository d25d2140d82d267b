#include "Socket/GCDAsyncSocket.h"

#include "Foundation/Log.h"
#include "Wendle/VyNetworkInterface.h"

#include <asio.hpp>

#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <net/if.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Most bytes taken from a descriptor at once.
constexpr size_t kChunk = 65536;

// The I/O thread that every socket shares. It lives as long as the process:
// its thread and its two descriptors (epoll and its wake-up) are made once,
// on first use, and never closed.
class SocketService {
public:
    static SocketService& shared() {
        static SocketService* service = new SocketService();
        return *service;
    }

    asio::io_context io;

    bool onThread() const { return std::this_thread::get_id() == id_; }
    template <class F>
    void post(F&& f) {
        asio::post(io, std::forward<F>(f));
    }
    // Runs f on the I/O thread and returns when it has run. The I/O thread
    // never waits for another thread, so this cannot deadlock.
    template <class F>
    void sync(F&& f) {
        if (onThread()) {
            f();
            return;
        }
        std::promise<void> done;
        auto finished = done.get_future();
        asio::post(io, [&] {
            f();
            done.set_value();
        });
        finished.wait();
    }

private:
    SocketService() : guard_(asio::make_work_guard(io)) {
        std::thread thread([this] {
            pthread_setname_np(pthread_self(), "GCDAsyncSocket");
            io.run();
        });
        id_ = thread.get_id();
        thread.detach();
    }

    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread::id id_;
};

Error socketError(long code, std::string text) {
    return Error(GCDAsyncSocketErrorDomain, code, std::move(text));
}

Error closedError() {
    return socketError(GCDAsyncSocketClosedError, "Socket closed by remote peer");
}

Error errorFrom(const asio::error_code& ec) {
    if (ec == asio::error::eof) return closedError();
    if (ec.category() == asio::system_category())
        return Error("NSPOSIXErrorDomain", ec.value(), ec.message());
    if (ec.category() == asio::error::get_netdb_category() ||
        ec.category() == asio::error::get_addrinfo_category())
        return Error(GCDAsyncSocketResolverErrorDomain, ec.value(), ec.message());
    return socketError(GCDAsyncSocketOtherError, ec.message());
}

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct ReadOp {
    enum class Kind { Available, Length, Delimiter };
    Kind kind = Kind::Available;
    size_t length = 0; // Length: the bytes wanted; the others: the most (0: no limit)
    std::string delimiter;
    double timeout = 0;
    long tag = 0;
    std::string data;
    uint64_t id = 0; // 0 until the read is the current one
    Clock::time_point startedAt;
};

struct WriteOp {
    std::string data;
    size_t done = 0;
    double timeout = 0;
    long tag = 0;
    uint64_t id = 0;
    Clock::time_point startedAt;
};

} // namespace

using Event = std::function<void(GCDAsyncSocketDelegate&, GCDAsyncSocket&)>;

struct GCDAsyncSocketCore : std::enable_shared_from_this<GCDAsyncSocketCore> {
    enum class State { Idle, Connecting, Connected, Accepting, Closed };

    explicit GCDAsyncSocketCore(asio::io_context& io)
        : socket(io), resolver(io), connectTimer(io), readTimer(io), writeTimer(io) {}

    // Read from any thread.
    mutable std::mutex mutex;
    std::weak_ptr<GCDAsyncSocket> owner;
    std::weak_ptr<GCDAsyncSocketDelegate> delegate;
    // Not kept alive by the socket: a queue goes with its owner, and events
    // for a queue that has gone are dropped.
    std::weak_ptr<DispatchQueue> delegateQueue;
    bool ipv4 = true, ipv6 = true, noDelay = false, autoDisconnect = true;
    State state = State::Idle;
    bool started = false; // connecting, connected or listening: the delegate hears the end
    uint16_t localPort = 0, connectedPort = 0;
    std::string connectedHost;

    // The I/O thread's own.
    tcp::socket socket;
    std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
    tcp::resolver resolver;
    asio::steady_timer connectTimer, readTimer, writeTimer;
    std::vector<tcp::endpoint> candidates;
    size_t nextCandidate = 0;
    std::optional<Error> lastConnectError;
    std::deque<ReadOp> reads;
    std::deque<WriteOp> writes;
    std::string prebuffer; // bytes read and not yet taken by a read
    std::string chunk;
    bool readInFlight = false, writeInFlight = false;
    bool readEOF = false, writeClosed = false, closeWriteAfterWrites = false;
    bool forbidIO = false, closeAfterReads = false, closeAfterWrites = false;
    uint64_t serial = 0;

    State currentState() const {
        std::lock_guard lock(mutex);
        return state;
    }
    void setState(State s) {
        std::lock_guard lock(mutex);
        state = s;
        if (s != State::Idle && s != State::Closed) started = true;
    }

    // --- delegate events

    void notify(Event event) {
        std::shared_ptr<DispatchQueue> queue;
        {
            std::lock_guard lock(mutex);
            queue = delegateQueue.lock();
        }
        if (queue) deliverOn(queue, std::make_shared<Event>(std::move(event)));
    }

    // Runs on the delegate queue, for the delegate of that moment; an event
    // that finds the socket moved to another queue follows it there.
    void deliverOn(const std::shared_ptr<DispatchQueue>& queue, std::shared_ptr<Event> event) {
        std::weak_ptr<GCDAsyncSocketCore> weakCore = shared_from_this();
        DispatchQueue* target = queue.get();
        queue->async([weakCore, target, event] {
            auto core = weakCore.lock();
            if (!core) return;
            std::shared_ptr<GCDAsyncSocket> socket;
            std::shared_ptr<GCDAsyncSocketDelegate> d;
            std::shared_ptr<DispatchQueue> now;
            {
                std::lock_guard lock(core->mutex);
                socket = core->owner.lock();
                d = core->delegate.lock();
                now = core->delegateQueue.lock();
            }
            if (!socket || !d || !now) return;
            if (now.get() != target) {
                core->deliverOn(now, event);
                return;
            }
            (*event)(*d, *socket);
        });
    }

    // --- ending

    // graceful: the end this side asked for once its reads or writes were
    // done. What the peer sent that no one read is taken first, so that the
    // close is an orderly one rather than a reset that could overtake the
    // last bytes written.
    void closeWithError(const std::optional<Error>& error, bool tell = true, bool graceful = false) {
        bool wasStarted;
        {
            std::lock_guard lock(mutex);
            if (state == State::Closed) return;
            wasStarted = started;
            state = State::Closed;
        }
        asio::error_code ignored;
        resolver.cancel();
        connectTimer.cancel();
        readTimer.cancel();
        writeTimer.cancel();
        for (auto& a : acceptors)
            a->close(ignored);
        acceptors.clear();
        if (graceful && socket.is_open()) {
            socket.shutdown(tcp::socket::shutdown_send, ignored);
            if (chunk.size() < kChunk) chunk.resize(kChunk);
            for (int i = 0; i < 16; ++i)
                if (::recv(socket.native_handle(), chunk.data(), chunk.size(), MSG_DONTWAIT) <= 0) break;
        }
        socket.close(ignored);
        reads.clear();
        writes.clear();
        prebuffer.clear();
        prebuffer.shrink_to_fit();
        if (tell && wasStarted)
            notify(
                [error](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.socketDidDisconnect(s, error); });
    }

    // The socket ends when both directions are over, or when a
    // disconnect-after asked for it and what it waits for is done.
    void finishIfDone() {
        if (currentState() != State::Connected) return;
        if (readEOF && writeClosed) {
            closeWithError(closedError());
            return;
        }
        if (!closeAfterReads && !closeAfterWrites) return;
        bool readsDone = reads.empty();
        bool writesDone = writes.empty() && !writeInFlight;
        if ((!closeAfterReads || readsDone) && (!closeAfterWrites || writesDone))
            closeWithError(std::nullopt, true, true);
    }

    // --- connecting

    void applyNoDelay() {
        bool on;
        {
            std::lock_guard lock(mutex);
            on = noDelay;
        }
        asio::error_code ignored;
        if (on && socket.is_open()) socket.set_option(tcp::no_delay(true), ignored);
    }

    void startConnect(const std::string& host, uint16_t port, double timeout) {
        if (currentState() != State::Connecting) return;
        auto self = shared_from_this();
        if (timeout > 0) {
            connectTimer.expires_after(seconds(timeout));
            connectTimer.async_wait([self](const asio::error_code& ec) {
                if (ec || self->currentState() != State::Connecting) return;
                self->closeWithError(
                    socketError(GCDAsyncSocketConnectTimeoutError, "Attempt to connect to host timed out"));
            });
        }
        resolver.async_resolve(
            host, std::to_string(port), tcp::resolver::numeric_service,
            [self](const asio::error_code& ec, const tcp::resolver::results_type& results) {
                if (ec == asio::error::operation_aborted || self->currentState() != State::Connecting) return;
                if (ec) {
                    self->closeWithError(errorFrom(ec));
                    return;
                }
                bool v4, v6;
                {
                    std::lock_guard lock(self->mutex);
                    v4 = self->ipv4;
                    v6 = self->ipv6;
                }
                std::vector<tcp::endpoint> four, six;
                for (const auto& entry : results) {
                    auto ep = entry.endpoint();
                    if (ep.address().is_v4() && v4) four.push_back(ep);
                    if (ep.address().is_v6() && v6) six.push_back(ep);
                }
                self->candidates = four;
                self->candidates.insert(self->candidates.end(), six.begin(), six.end());
                self->nextCandidate = 0;
                if (self->candidates.empty()) {
                    self->closeWithError(
                        socketError(GCDAsyncSocketBadConfigError,
                                    std::string("The host has no address of an enabled protocol (") +
                                        (v4 ? (v6 ? "IPv4 or IPv6" : "IPv4") : "IPv6") + ")"));
                    return;
                }
                self->tryNextCandidate();
            });
    }

    void tryNextCandidate() {
        if (nextCandidate >= candidates.size()) {
            closeWithError(lastConnectError ? *lastConnectError
                                            : socketError(GCDAsyncSocketOtherError, "Could not connect"));
            return;
        }
        tcp::endpoint ep = candidates[nextCandidate++];
        asio::error_code ec;
        socket.close(ec);
        socket.open(ep.protocol(), ec);
        if (ec) {
            lastConnectError = errorFrom(ec);
            tryNextCandidate();
            return;
        }
        applyNoDelay();
        auto self = shared_from_this();
        socket.async_connect(ep, [self](const asio::error_code& error) {
            if (error == asio::error::operation_aborted || self->currentState() != State::Connecting) return;
            if (error) {
                self->lastConnectError = errorFrom(error);
                self->tryNextCandidate();
                return;
            }
            self->connected();
        });
    }

    void recordEndpoints() {
        asio::error_code e1, e2;
        auto local = socket.local_endpoint(e1);
        auto remote = socket.remote_endpoint(e2);
        std::lock_guard lock(mutex);
        if (!e1) localPort = local.port();
        if (!e2) {
            connectedHost = remote.address().to_string();
            connectedPort = remote.port();
        }
    }

    void connected() {
        connectTimer.cancel();
        candidates.clear();
        recordEndpoints();
        setState(State::Connected);
        std::string host;
        uint16_t port;
        {
            std::lock_guard lock(mutex);
            host = connectedHost;
            port = connectedPort;
        }
        notify([host, port](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) {
            d.didConnectToHost(s, host, port);
        });
        pumpReads();
        pumpWrites();
    }

    // --- listening

    bool startAccept(const std::optional<std::string>& interface, uint16_t port, Error* error) {
        bool v4, v6;
        {
            std::lock_guard lock(mutex);
            v4 = ipv4;
            v6 = ipv6;
        }
        std::vector<asio::ip::address> addresses;
        auto add = [&](const asio::ip::address& a) {
            if ((a.is_v4() && v4) || (a.is_v6() && v6)) addresses.push_back(a);
        };
        if (!interface) {
            add(asio::ip::address_v4::any());
            add(asio::ip::address_v6::any());
        } else if (*interface == "localhost" || *interface == "loopback") {
            add(asio::ip::address_v4::loopback());
            add(asio::ip::address_v6::loopback());
        } else {
            asio::error_code ec;
            auto literal = asio::ip::make_address(*interface, ec);
            if (!ec) {
                add(literal);
            } else {
                for (const auto& i : VyNetworkInterface::allAvailableInterfaces()) {
                    if (i.BSDName() != *interface) continue;
                    if (!i.IPv4Address().empty()) add(asio::ip::make_address(i.IPv4Address(), ec));
                    if (!i.IPv6Address().empty()) {
                        auto a6 = asio::ip::make_address_v6(i.IPv6Address(), ec);
                        if (!ec && a6.is_link_local()) a6.scope_id(if_nametoindex(interface->c_str()));
                        if (!ec) add(a6);
                    }
                }
            }
        }
        if (addresses.empty()) {
            if (error) *error = socketError(GCDAsyncSocketBadParamError, "Unknown interface.");
            return false;
        }
        uint16_t chosen = port;
        std::optional<Error> skipped;
        for (const auto& address : addresses) {
            auto acceptor = std::make_unique<tcp::acceptor>(socket.get_executor());
            tcp::endpoint ep(address, chosen);
            asio::error_code ec;
            acceptor->open(ep.protocol(), ec);
            if (!ec && address.is_v6()) acceptor->set_option(asio::ip::v6_only(true), ec);
            if (!ec) acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
            if (!ec) acceptor->bind(ep, ec);
            if (!ec) acceptor->listen(1024, ec);
            if (ec) {
                // A family this host has no such address of is left out; any
                // other failure (a port in use) fails the whole listen.
                bool missing =
                    ec == std::errc::address_not_available || ec == std::errc::address_family_not_supported;
                if (missing && addresses.size() > 1) {
                    skipped = errorFrom(ec);
                    continue;
                }
                asio::error_code ignored;
                for (auto& a : acceptors)
                    a->close(ignored);
                acceptors.clear();
                if (error) *error = errorFrom(ec);
                return false;
            }
            if (chosen == 0) chosen = acceptor->local_endpoint(ec).port();
            acceptors.push_back(std::move(acceptor));
        }
        if (acceptors.empty()) {
            if (error) *error = *skipped;
            return false;
        }
        {
            std::lock_guard lock(mutex);
            localPort = chosen;
        }
        setState(State::Accepting);
        for (size_t i = 0; i < acceptors.size(); ++i)
            acceptNext(acceptors[i].get());
        return true;
    }

    void acceptNext(tcp::acceptor* acceptor) {
        auto self = shared_from_this();
        acceptor->async_accept([self, acceptor](const asio::error_code& ec, tcp::socket peer) {
            if (ec == asio::error::operation_aborted || self->currentState() != State::Accepting) return;
            if (ec) {
                // Out of descriptors or a connection that died in the queue:
                // try again a little later rather than spin.
                Log::warning("Accepting a connection failed: {}", ec.message());
                auto timer = std::make_shared<asio::steady_timer>(self->socket.get_executor());
                timer->expires_after(std::chrono::milliseconds(100));
                timer->async_wait([self, acceptor, timer](const asio::error_code& e) {
                    if (!e && self->currentState() == State::Accepting) self->acceptNext(acceptor);
                });
                return;
            }
            self->adopt(std::move(peer));
            self->acceptNext(acceptor);
        });
    }

    void adopt(tcp::socket peer) {
        auto accepted = GCDAsyncSocket::make();
        auto& core = *accepted->core_;
        {
            std::scoped_lock lock(mutex, core.mutex);
            core.delegate = delegate;
            core.delegateQueue = delegateQueue;
            core.ipv4 = ipv4;
            core.ipv6 = ipv6;
            core.noDelay = noDelay;
            core.autoDisconnect = autoDisconnect;
        }
        core.socket = std::move(peer);
        core.applyNoDelay();
        core.recordEndpoints();
        core.setState(State::Connected);
        notify(
            [accepted](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.didAcceptNewSocket(s, accepted); });
    }

    // --- reading

    void addRead(ReadOp op) {
        State s = currentState();
        if (s == State::Closed || s == State::Accepting || forbidIO || readEOF) return;
        reads.push_back(std::move(op));
        pumpReads();
    }

    // Moves buffered bytes into the read; true when it is complete.
    bool fill(ReadOp& r) {
        switch (r.kind) {
        case ReadOp::Kind::Available: {
            if (prebuffer.empty()) return false;
            size_t take = r.length ? std::min(r.length, prebuffer.size()) : prebuffer.size();
            if (take == prebuffer.size()) {
                r.data.swap(prebuffer);
                prebuffer.clear();
            } else {
                r.data.assign(prebuffer, 0, take);
                prebuffer.erase(0, take);
            }
            return true;
        }
        case ReadOp::Kind::Length: {
            size_t take = std::min(r.length - r.data.size(), prebuffer.size());
            r.data.append(prebuffer, 0, take);
            prebuffer.erase(0, take);
            return r.data.size() == r.length;
        }
        case ReadOp::Kind::Delimiter: {
            size_t had = r.data.size();
            size_t take = r.length ? std::min(r.length - had, prebuffer.size()) : prebuffer.size();
            r.data.append(prebuffer, 0, take);
            prebuffer.erase(0, take);
            size_t d = r.delimiter.size();
            size_t pos = r.data.find(r.delimiter, had >= d ? had - d + 1 : 0);
            if (pos != std::string::npos) {
                size_t end = pos + d;
                prebuffer.insert(0, r.data, end, std::string::npos);
                r.data.resize(end);
                return true;
            }
            return r.length && r.data.size() >= r.length;
        }
        }
        return false;
    }

    void pumpReads() {
        if (currentState() != State::Connected) return;
        while (!reads.empty()) {
            ReadOp& r = reads.front();
            if (r.id == 0) {
                r.id = ++serial;
                r.startedAt = Clock::now();
                if (r.timeout > 0) armReadTimer(r.timeout, r.id);
            }
            if (!fill(r)) break;
            ReadOp done = std::move(reads.front());
            reads.pop_front();
            readTimer.cancel();
            std::string data = std::move(done.data);
            long tag = done.tag;
            notify([data = std::move(data), tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) mutable {
                d.didReadData(s, std::move(data), tag);
            });
        }
        if (reads.empty()) {
            finishIfDone();
            return;
        }
        if (readInFlight || readEOF) return;
        const ReadOp& r = reads.front();
        size_t want = kChunk;
        if (r.kind == ReadOp::Kind::Available && r.length) want = std::min(r.length, kChunk);
        if (r.kind == ReadOp::Kind::Length) want = std::min(r.length - r.data.size(), kChunk);
        if (chunk.size() < kChunk) chunk.resize(kChunk);
        readInFlight = true;
        auto self = shared_from_this();
        socket.async_read_some(asio::buffer(chunk.data(), want),
                               [self](const asio::error_code& ec, size_t n) { self->didRead(ec, n); });
    }

    void didRead(const asio::error_code& ec, size_t n) {
        readInFlight = false;
        if (ec == asio::error::operation_aborted || currentState() != State::Connected) return;
        if (ec && ec != asio::error::eof) {
            closeWithError(errorFrom(ec));
            return;
        }
        if (ec == asio::error::eof || n == 0) {
            readStreamClosed();
            return;
        }
        prebuffer.append(chunk.data(), n);
        pumpReads();
    }

    void readStreamClosed() {
        readEOF = true;
        bool autoClose;
        {
            std::lock_guard lock(mutex);
            autoClose = autoDisconnect;
        }
        if (autoClose) {
            closeWithError(closedError());
            return;
        }
        reads.clear();
        readTimer.cancel();
        notify([](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.socketDidCloseReadStream(s); });
        finishIfDone();
    }

    // A time-out asks the delegate first, which may give more time.
    void armReadTimer(double timeout, uint64_t id) {
        auto self = shared_from_this();
        readTimer.expires_after(seconds(timeout));
        readTimer.async_wait([self, id](const asio::error_code& ec) {
            if (ec || self->reads.empty() || self->reads.front().id != id) return;
            const ReadOp& r = self->reads.front();
            double elapsed = since(r.startedAt);
            size_t done = r.data.size();
            long tag = r.tag;
            std::weak_ptr<GCDAsyncSocketCore> weak = self;
            self->notify([weak, id, tag, elapsed, done](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) {
                double more = d.shouldTimeoutReadWithTag(s, tag, elapsed, done);
                SocketService::shared().post([weak, id, more] {
                    auto core = weak.lock();
                    if (!core || core->reads.empty() || core->reads.front().id != id) return;
                    if (core->currentState() != State::Connected) return;
                    if (more > 0)
                        core->armReadTimer(more, id);
                    else
                        core->closeWithError(
                            socketError(GCDAsyncSocketReadTimeoutError, "Read operation timed out"));
                });
            });
        });
    }

    // --- writing

    void addWrite(WriteOp op) {
        State s = currentState();
        if (s == State::Closed || s == State::Accepting || forbidIO || closeWriteAfterWrites) return;
        writes.push_back(std::move(op));
        pumpWrites();
    }

    void pumpWrites() {
        if (currentState() != State::Connected || writeInFlight) return;
        while (!writes.empty() && writes.front().data.empty()) {
            long tag = writes.front().tag;
            writes.pop_front();
            notify([tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.didWriteDataWithTag(s, tag); });
        }
        if (writes.empty()) {
            if (closeWriteAfterWrites && !writeClosed) {
                asio::error_code ignored;
                socket.shutdown(tcp::socket::shutdown_send, ignored);
                writeClosed = true;
            }
            finishIfDone();
            return;
        }
        WriteOp& w = writes.front();
        if (w.id == 0) {
            w.id = ++serial;
            w.startedAt = Clock::now();
            if (w.timeout > 0) armWriteTimer(w.timeout, w.id);
        }
        writeInFlight = true;
        auto self = shared_from_this();
        socket.async_write_some(asio::buffer(w.data.data() + w.done, w.data.size() - w.done),
                                [self](const asio::error_code& ec, size_t n) { self->didWrite(ec, n); });
    }

    void didWrite(const asio::error_code& ec, size_t n) {
        writeInFlight = false;
        if (ec == asio::error::operation_aborted || currentState() != State::Connected) return;
        if (ec) {
            closeWithError(errorFrom(ec));
            return;
        }
        WriteOp& w = writes.front();
        w.done += n;
        if (w.done == w.data.size()) {
            long tag = w.tag;
            writes.pop_front();
            writeTimer.cancel();
            notify([tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.didWriteDataWithTag(s, tag); });
        }
        pumpWrites();
    }

    void armWriteTimer(double timeout, uint64_t id) {
        auto self = shared_from_this();
        writeTimer.expires_after(seconds(timeout));
        writeTimer.async_wait([self, id](const asio::error_code& ec) {
            if (ec || self->writes.empty() || self->writes.front().id != id) return;
            const WriteOp& w = self->writes.front();
            double elapsed = since(w.startedAt);
            size_t done = w.done;
            long tag = w.tag;
            std::weak_ptr<GCDAsyncSocketCore> weak = self;
            self->notify([weak, id, tag, elapsed, done](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) {
                double more = d.shouldTimeoutWriteWithTag(s, tag, elapsed, done);
                SocketService::shared().post([weak, id, more] {
                    auto core = weak.lock();
                    if (!core || core->writes.empty() || core->writes.front().id != id) return;
                    if (core->currentState() != State::Connected) return;
                    if (more > 0)
                        core->armWriteTimer(more, id);
                    else
                        core->closeWithError(
                            socketError(GCDAsyncSocketWriteTimeoutError, "Write operation timed out"));
                });
            });
        });
    }
};

// --- GCDAsyncSocket

GCDAsyncSocket::GCDAsyncSocket() : core_(std::make_shared<GCDAsyncSocketCore>(SocketService::shared().io)) {}

std::shared_ptr<GCDAsyncSocket> GCDAsyncSocket::make(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                                     std::shared_ptr<DispatchQueue> delegateQueue) {
    std::shared_ptr<GCDAsyncSocket> socket(new GCDAsyncSocket());
    std::lock_guard lock(socket->core_->mutex);
    socket->core_->owner = socket;
    socket->core_->delegate = std::move(delegate);
    socket->core_->delegateQueue = std::move(delegateQueue);
    return socket;
}

GCDAsyncSocket::~GCDAsyncSocket() {
    auto core = core_;
    SocketService::shared().sync([core] { core->closeWithError(std::nullopt, false); });
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate) {
    std::lock_guard lock(core_->mutex);
    core_->delegate = std::move(delegate);
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                 std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(core_->mutex);
    core_->delegate = std::move(delegate);
    core_->delegateQueue = std::move(queue);
}

std::shared_ptr<GCDAsyncSocketDelegate> GCDAsyncSocket::delegate() const {
    std::lock_guard lock(core_->mutex);
    return core_->delegate.lock();
}

std::shared_ptr<DispatchQueue> GCDAsyncSocket::delegateQueue() const {
    std::lock_guard lock(core_->mutex);
    return core_->delegateQueue.lock();
}

void GCDAsyncSocket::setIPv4Enabled(bool enabled) {
    std::lock_guard lock(core_->mutex);
    core_->ipv4 = enabled;
}

void GCDAsyncSocket::setIPv6Enabled(bool enabled) {
    std::lock_guard lock(core_->mutex);
    core_->ipv6 = enabled;
}

bool GCDAsyncSocket::isIPv4Enabled() const {
    std::lock_guard lock(core_->mutex);
    return core_->ipv4;
}

bool GCDAsyncSocket::isIPv6Enabled() const {
    std::lock_guard lock(core_->mutex);
    return core_->ipv6;
}

void GCDAsyncSocket::setNoDelay(bool enabled) {
    {
        std::lock_guard lock(core_->mutex);
        core_->noDelay = enabled;
    }
    auto core = core_;
    SocketService::shared().post([core] { core->applyNoDelay(); });
}

void GCDAsyncSocket::setAutoDisconnectOnClosedReadStream(bool enabled) {
    std::lock_guard lock(core_->mutex);
    core_->autoDisconnect = enabled;
}

namespace {
// Why a connect or listen cannot start, or nullopt.
std::optional<Error> startProblem(GCDAsyncSocketCore& core, bool listen) {
    std::lock_guard lock(core.mutex);
    if (core.delegate.expired())
        return socketError(GCDAsyncSocketBadConfigError,
                           "Attempting to use a socket without a delegate. Set a delegate first.");
    if (core.delegateQueue.expired())
        return socketError(
            GCDAsyncSocketBadConfigError,
            "Attempting to use a socket without a delegate queue. Set a delegate queue first.");
    if (!core.ipv4 && !core.ipv6)
        return socketError(GCDAsyncSocketBadConfigError,
                           "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    if (core.state != GCDAsyncSocketCore::State::Idle)
        return socketError(GCDAsyncSocketBadConfigError,
                           listen ? "Attempting to accept while connected or accepting connections. "
                                    "Disconnect first."
                                  : "Attempting to connect while connected or accepting connections. "
                                    "Disconnect first.");
    return std::nullopt;
}

bool fail(Error* error, Error e) {
    if (error) *error = std::move(e);
    return false;
}

bool startAccept(const std::shared_ptr<GCDAsyncSocketCore>& core, const std::optional<std::string>& interface,
                 uint16_t port, Error* error) {
    if (auto problem = startProblem(*core, true)) return fail(error, *problem);
    bool ok = false;
    Error why;
    SocketService::shared().sync([&] {
        if (core->currentState() != GCDAsyncSocketCore::State::Idle) {
            why = socketError(GCDAsyncSocketBadConfigError, "Attempting to accept while connected or "
                                                            "accepting connections. Disconnect first.");
            return;
        }
        ok = core->startAccept(interface, port, &why);
    });
    return ok || fail(error, why);
}
} // namespace

bool GCDAsyncSocket::acceptOnPort(uint16_t port, Error* error) {
    return startAccept(core_, std::nullopt, port, error);
}

bool GCDAsyncSocket::acceptOnInterface(const std::string& interface, uint16_t port, Error* error) {
    if (interface.empty()) return acceptOnPort(port, error);
    return startAccept(core_, interface, port, error);
}

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, double timeout, Error* error) {
    if (host.empty())
        return fail(error, socketError(GCDAsyncSocketBadParamError, "Invalid host parameter (nil or \"\")."));
    if (auto problem = startProblem(*core_, false)) return fail(error, *problem);
    {
        std::lock_guard lock(core_->mutex);
        if (core_->state != GCDAsyncSocketCore::State::Idle)
            return fail(error, socketError(GCDAsyncSocketBadConfigError,
                                           "Attempting to connect while connected or accepting connections. "
                                           "Disconnect first."));
        core_->state = GCDAsyncSocketCore::State::Connecting;
        core_->started = true;
    }
    auto core = core_;
    SocketService::shared().post([core, host, port, timeout] { core->startConnect(host, port, timeout); });
    return true;
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, long tag) {
    readDataWithTimeout(timeout, 0, tag);
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, size_t maxLength, long tag) {
    ReadOp op;
    op.kind = ReadOp::Kind::Available;
    op.length = maxLength ? maxLength : kChunk;
    op.timeout = timeout;
    op.tag = tag;
    auto core = core_;
    SocketService::shared().post([core, op = std::move(op)]() mutable { core->addRead(std::move(op)); });
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, long tag) {
    ReadOp op;
    op.kind = ReadOp::Kind::Length;
    op.length = length;
    op.timeout = timeout;
    op.tag = tag;
    auto core = core_;
    SocketService::shared().post([core, op = std::move(op)]() mutable { core->addRead(std::move(op)); });
}

void GCDAsyncSocket::readDataToData(std::string delimiter, double timeout, size_t maxLength, long tag) {
    ReadOp op;
    op.kind = delimiter.empty() ? ReadOp::Kind::Available : ReadOp::Kind::Delimiter;
    op.delimiter = std::move(delimiter);
    op.length = maxLength;
    op.timeout = timeout;
    op.tag = tag;
    auto core = core_;
    SocketService::shared().post([core, op = std::move(op)]() mutable { core->addRead(std::move(op)); });
}

void GCDAsyncSocket::writeData(std::string data, double timeout, long tag) {
    WriteOp op;
    op.data = std::move(data);
    op.timeout = timeout;
    op.tag = tag;
    auto core = core_;
    SocketService::shared().post([core, op = std::move(op)]() mutable { core->addWrite(std::move(op)); });
}

void GCDAsyncSocket::disconnect() {
    auto core = core_;
    SocketService::shared().sync([core] { core->closeWithError(std::nullopt); });
}

namespace {
void closeAfter(const std::shared_ptr<GCDAsyncSocketCore>& core, bool reads, bool writes) {
    SocketService::shared().post([core, reads, writes] {
        core->forbidIO = true;
        core->closeAfterReads = core->closeAfterReads || reads;
        core->closeAfterWrites = core->closeAfterWrites || writes;
        auto state = core->currentState();
        if (state == GCDAsyncSocketCore::State::Accepting ||
            (state == GCDAsyncSocketCore::State::Idle && core->reads.empty() && core->writes.empty()))
            core->closeWithError(std::nullopt);
        else
            core->finishIfDone();
    });
}
} // namespace

void GCDAsyncSocket::disconnectAfterReading() {
    closeAfter(core_, true, false);
}

void GCDAsyncSocket::disconnectAfterWriting() {
    closeAfter(core_, false, true);
}

void GCDAsyncSocket::disconnectAfterReadingAndWriting() {
    closeAfter(core_, true, true);
}

void GCDAsyncSocket::closeWriteStreamAfterWriting() {
    auto core = core_;
    SocketService::shared().post([core] {
        core->closeWriteAfterWrites = true;
        core->pumpWrites();
    });
}

bool GCDAsyncSocket::isConnected() const {
    return core_->currentState() == GCDAsyncSocketCore::State::Connected;
}

bool GCDAsyncSocket::isDisconnected() const {
    auto s = core_->currentState();
    return s == GCDAsyncSocketCore::State::Idle || s == GCDAsyncSocketCore::State::Closed;
}

uint16_t GCDAsyncSocket::localPort() const {
    std::lock_guard lock(core_->mutex);
    return core_->localPort;
}

std::string GCDAsyncSocket::connectedHost() const {
    std::lock_guard lock(core_->mutex);
    return core_->connectedHost;
}

uint16_t GCDAsyncSocket::connectedPort() const {
    std::lock_guard lock(core_->mutex);
    return core_->connectedPort;
}
