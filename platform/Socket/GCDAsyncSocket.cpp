#include "Socket/GCDAsyncSocket.h"

#include "Foundation/Log.h"
#include "Wendle/VyNetworkInterface.h"

#include <asio.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <net/if.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Most bytes taken from a descriptor at once.
constexpr size_t kChunk = 65536;
// Most writes given to one system call.
constexpr size_t kGather = 64;
// Bytes read ahead of the reads asked for.
constexpr size_t kReadAhead = 256 * 1024;

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
    std::string chunk; // what the read in flight fills
    bool closeAfterReads = false, closeAfterWrites = false;
    uint64_t serial = 0;
    uint64_t timedRead = 0; // the read whose time-out is armed

    // Reading, shared with the threads that ask for reads (guarded by mutex):
    // the I/O thread reads ahead into the prebuffer, and a read that the
    // prebuffer can satisfy completes on the asking thread, without a hop
    // through the I/O thread.
    std::deque<ReadOp> reads;
    std::string prebuffer; // bytes read and not yet taken by a read
    bool readingStarted = false, readInFlight = false, readEOF = false, eofHandled = false;
    bool forbidReads = false; // a disconnect-after: no further reads
    uint64_t readSerial = 0;

    // Writing, likewise (guarded by mutex).
    int fd = -1; // the connection's descriptor while connected
    std::deque<WriteOp> writes;
    bool writeInFlight = false; // the I/O thread is writing
    bool writeClosed = false, closeWriteAfterWrites = false;
    bool forbidWrites = false; // a disconnect-after: no further writes

    State currentState() const {
        std::lock_guard lock(mutex);
        return state;
    }
    // I/O thread.
    void setState(State s) {
        std::lock_guard lock(mutex);
        state = s;
        if (s != State::Idle && s != State::Closed) started = true;
        if (s == State::Connected) fd = socket.native_handle();
    }

    // --- delegate events

    void notify(Event event) {
        std::lock_guard lock(mutex);
        notifyLocked(std::move(event));
    }
    // With mutex held: events posted under it keep their order across threads.
    void notifyLocked(Event event) {
        if (auto queue = delegateQueue.lock()) deliverOn(queue, std::make_shared<Event>(std::move(event)));
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
            fd = -1;
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
        {
            std::lock_guard lock(mutex);
            writes.clear();
            reads.clear();
            prebuffer.clear();
            prebuffer.shrink_to_fit();
        }
        if (tell && wasStarted)
            notify(
                [error](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.socketDidDisconnect(s, error); });
    }

    // The socket ends when both directions are over, or when a
    // disconnect-after asked for it and what it waits for is done.
    void finishIfDone() {
        bool readsDone, readOver, writesDone, writeOver;
        {
            std::lock_guard lock(mutex);
            if (state != State::Connected) return;
            readsDone = reads.empty();
            readOver = readEOF && eofHandled;
            writesDone = writes.empty() && !writeInFlight;
            writeOver = writeClosed;
        }
        if (readOver && writeOver) {
            closeWithError(closedError());
            return;
        }
        if (!closeAfterReads && !closeAfterWrites) return;
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
        readMore();
        flushWrites();
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

    // What the end of the peer's data asks for once every byte before it has
    // been read.
    enum class EOFAction { None, Close, ReadStreamClosed };

    // Any thread.
    void addRead(ReadOp op) {
        EOFAction action;
        bool issue, timed;
        {
            std::lock_guard lock(mutex);
            if (state == State::Closed || state == State::Accepting || forbidReads || eofHandled) return;
            reads.push_back(std::move(op));
            readingStarted = true;
            action = serveReadsLocked();
            issue = claimReadLocked();
            timed = !reads.empty() && reads.front().timeout > 0;
        }
        if (issue || timed || action != EOFAction::None)
            SocketService::shared().post([self = shared_from_this(), issue, action] {
                if (issue) self->startRead();
                self->afterEOF(action);
                self->armReadTimerIfNeeded();
            });
    }

    // With mutex held: moves buffered bytes into the read; true when it is
    // complete.
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

    // With mutex held: completes the reads the prebuffer satisfies, in order,
    // with their callbacks posted together.
    EOFAction serveReadsLocked() {
        if (state != State::Connected) return EOFAction::None;
        std::vector<std::pair<std::string, long>> done;
        while (!reads.empty()) {
            ReadOp& r = reads.front();
            if (r.id == 0) {
                r.id = ++readSerial;
                r.startedAt = Clock::now();
            }
            if (!fill(r)) break;
            done.emplace_back(std::move(r.data), r.tag);
            reads.pop_front();
        }
        if (!done.empty())
            notifyLocked([done = std::move(done)](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) mutable {
                for (auto& [data, tag] : done)
                    d.didReadData(s, std::move(data), tag);
            });
        if (!readEOF || eofHandled || !prebuffer.empty()) return EOFAction::None;
        eofHandled = true;
        if (autoDisconnect) return EOFAction::Close;
        reads.clear();
        notifyLocked([](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) { d.socketDidCloseReadStream(s); });
        return EOFAction::ReadStreamClosed;
    }

    // With mutex held: whether a read from the descriptor should start now
    // (marked as started). Reading runs ahead of the reads asked for, up to
    // kReadAhead bytes, once the first read has been asked for.
    bool claimReadLocked() {
        if (state != State::Connected || readInFlight || readEOF || !readingStarted) return false;
        if (reads.empty() && prebuffer.size() >= kReadAhead) return false;
        readInFlight = true;
        return true;
    }

    // I/O thread, from here on.
    void readMore() {
        bool issue;
        {
            std::lock_guard lock(mutex);
            issue = claimReadLocked();
        }
        if (issue) startRead();
    }

    void startRead() {
        if (chunk.size() < kChunk) chunk.resize(kChunk);
        auto self = shared_from_this();
        socket.async_read_some(asio::buffer(chunk.data(), kChunk),
                               [self](const asio::error_code& ec, size_t n) { self->didRead(ec, n); });
    }

    void didRead(const asio::error_code& ec, size_t n) {
        if (ec && ec != asio::error::eof) {
            {
                std::lock_guard lock(mutex);
                readInFlight = false;
            }
            if (ec != asio::error::operation_aborted) closeWithError(errorFrom(ec));
            return;
        }
        EOFAction action;
        bool issue;
        {
            std::lock_guard lock(mutex);
            readInFlight = false;
            if (state != State::Connected) return;
            if (ec == asio::error::eof || n == 0)
                readEOF = true;
            else
                prebuffer.append(chunk.data(), n);
            action = serveReadsLocked();
            issue = claimReadLocked();
        }
        if (issue) startRead();
        afterEOF(action);
        armReadTimerIfNeeded();
    }

    void afterEOF(EOFAction action) {
        switch (action) {
        case EOFAction::None:
            return;
        case EOFAction::Close:
            closeWithError(closedError());
            return;
        case EOFAction::ReadStreamClosed:
            readTimer.cancel();
            finishIfDone();
            return;
        }
    }

    // The current read's time-out, armed once per read. A time-out asks the
    // delegate first, which may give more time.
    void armReadTimerIfNeeded() {
        double timeout;
        uint64_t id;
        {
            std::lock_guard lock(mutex);
            bool timed = !reads.empty() && reads.front().timeout > 0;
            if (!timed || reads.front().id == timedRead) {
                if (!timed && timedRead) readTimer.cancel();
                if (!timed) timedRead = 0;
                return;
            }
            timeout = reads.front().timeout;
            id = reads.front().id;
        }
        timedRead = id;
        armTimer<true>(timeout, id);
    }

    // --- time-outs: the delegate is asked first, and may give more time.

    // The current read's or write's elapsed time, bytes done and tag, when
    // `id` is still the current one.
    template <bool Read>
    std::optional<std::tuple<double, size_t, long>> currentOp(uint64_t id) {
        std::lock_guard lock(mutex);
        if (state != State::Connected) return std::nullopt;
        if constexpr (Read) {
            if (reads.empty() || reads.front().id != id) return std::nullopt;
            const ReadOp& r = reads.front();
            return std::make_tuple(since(r.startedAt), r.data.size(), r.tag);
        } else {
            if (writes.empty() || writes.front().id != id) return std::nullopt;
            const WriteOp& w = writes.front();
            return std::make_tuple(since(w.startedAt), w.done, w.tag);
        }
    }

    template <bool Read>
    void armTimer(double timeout, uint64_t id) {
        auto self = shared_from_this();
        auto& timer = Read ? readTimer : writeTimer;
        timer.expires_after(seconds(timeout));
        timer.async_wait([self, id](const asio::error_code& ec) {
            auto current = ec ? std::nullopt : self->currentOp<Read>(id);
            if (!current) return;
            auto [elapsed, done, tag] = *current;
            std::weak_ptr<GCDAsyncSocketCore> weak = self;
            self->notify([weak, id, tag, elapsed, done](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) {
                double more = Read ? d.shouldTimeoutReadWithTag(s, tag, elapsed, done)
                                   : d.shouldTimeoutWriteWithTag(s, tag, elapsed, done);
                SocketService::shared().post([weak, id, more] {
                    auto core = weak.lock();
                    if (!core || !core->currentOp<Read>(id)) return;
                    if (more > 0)
                        core->armTimer<Read>(more, id);
                    else
                        core->closeWithError(
                            Read ? socketError(GCDAsyncSocketReadTimeoutError, "Read operation timed out")
                                 : socketError(GCDAsyncSocketWriteTimeoutError, "Write operation timed out"));
                });
            });
        });
    }

    // --- writing
    //
    // A write asked for while nothing is in flight goes out at once on the
    // asking thread, as far as the descriptor takes it; the rest, and writes
    // asked for meanwhile, go through the I/O thread, several in one system
    // call. Completions reach the delegate in order, those that finish
    // together in one hop.

    // Any thread.
    void addWrite(WriteOp op) {
        std::optional<Error> failure;
        bool flush = false;
        {
            std::lock_guard lock(mutex);
            if (state == State::Closed || state == State::Accepting || forbidWrites || closeWriteAfterWrites)
                return;
            writes.push_back(std::move(op));
            if (state != State::Connected || writeInFlight) return;
            failure = sendNowLocked();
            flush = failure || !writes.empty();
            if (flush) writeInFlight = true;
        }
        if (flush)
            SocketService::shared().post([self = shared_from_this(), failure] {
                if (failure)
                    self->closeWithError(*failure);
                else
                    self->writeMore();
            });
    }

    // With mutex held: writes what the descriptor takes now.
    std::optional<Error> sendNowLocked() {
        std::vector<long> done;
        std::optional<Error> failure;
        while (!writes.empty()) {
            WriteOp& w = writes.front();
            if (w.done < w.data.size()) {
                ssize_t n =
                    ::send(fd, w.data.data() + w.done, w.data.size() - w.done, MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                        failure = Error("NSPOSIXErrorDomain", errno, std::strerror(errno));
                    break;
                }
                w.done += static_cast<size_t>(n);
                if (w.done < w.data.size()) break;
            }
            done.push_back(w.tag);
            writes.pop_front();
        }
        writesDoneLocked(std::move(done));
        return failure;
    }

    void writesDoneLocked(std::vector<long> tags) {
        if (tags.empty()) return;
        notifyLocked([tags = std::move(tags)](GCDAsyncSocketDelegate& d, GCDAsyncSocket& s) {
            for (long tag : tags)
                d.didWriteDataWithTag(s, tag);
        });
    }

    // I/O thread: takes over the writing (writeInFlight claimed) until nothing
    // is left, then closes the sending side if asked to.
    void writeMore() {
        std::vector<asio::const_buffer> gather;
        double timeout = 0;
        uint64_t id = 0;
        bool shut = false;
        {
            std::lock_guard lock(mutex);
            if (state != State::Connected) {
                writeInFlight = false;
                return;
            }
            std::vector<long> done;
            while (!writes.empty() && writes.front().done == writes.front().data.size()) {
                done.push_back(writes.front().tag);
                writes.pop_front();
            }
            writesDoneLocked(std::move(done));
            if (writes.empty()) {
                writeInFlight = false;
                shut = closeWriteAfterWrites && !writeClosed;
                if (shut) {
                    ::shutdown(fd, SHUT_WR);
                    writeClosed = true;
                }
            } else {
                WriteOp& w = writes.front();
                if (w.id == 0) {
                    w.id = ++serial;
                    w.startedAt = Clock::now();
                    if (w.timeout > 0) {
                        timeout = w.timeout;
                        id = w.id;
                    }
                }
                size_t total = 0;
                for (const WriteOp& op : writes) {
                    if (gather.size() == kGather || total >= kChunk * 16) break;
                    gather.push_back(asio::buffer(op.data.data() + op.done, op.data.size() - op.done));
                    total += op.data.size() - op.done;
                }
            }
        }
        if (gather.empty()) {
            writeTimer.cancel();
            finishIfDone();
            return;
        }
        if (id) armTimer<false>(timeout, id);
        auto self = shared_from_this();
        // The gathered bytes stay put: queued writes are only appended to,
        // and only this thread advances them while it writes.
        socket.async_write_some(gather,
                                [self](const asio::error_code& ec, size_t n) { self->didWrite(ec, n); });
    }

    void didWrite(const asio::error_code& ec, size_t n) {
        if (ec == asio::error::operation_aborted) return;
        if (ec) {
            {
                std::lock_guard lock(mutex);
                writeInFlight = false;
            }
            closeWithError(errorFrom(ec));
            return;
        }
        {
            std::lock_guard lock(mutex);
            if (state != State::Connected) {
                writeInFlight = false;
                return;
            }
            for (auto it = writes.begin(); it != writes.end() && n > 0; ++it) {
                size_t take = std::min(n, it->data.size() - it->done);
                it->done += take;
                n -= take;
            }
        }
        writeMore();
    }

    // I/O thread: starts writing what waited for the connection, or a
    // close of the sending side asked for meanwhile.
    void flushWrites() {
        {
            std::lock_guard lock(mutex);
            if (state != State::Connected || writeInFlight) return;
            writeInFlight = true;
        }
        writeMore();
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
    core_->addRead(std::move(op));
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, long tag) {
    ReadOp op;
    op.kind = ReadOp::Kind::Length;
    op.length = length;
    op.timeout = timeout;
    op.tag = tag;
    core_->addRead(std::move(op));
}

void GCDAsyncSocket::readDataToData(std::string delimiter, double timeout, size_t maxLength, long tag) {
    ReadOp op;
    op.kind = delimiter.empty() ? ReadOp::Kind::Available : ReadOp::Kind::Delimiter;
    op.delimiter = std::move(delimiter);
    op.length = maxLength;
    op.timeout = timeout;
    op.tag = tag;
    core_->addRead(std::move(op));
}

void GCDAsyncSocket::writeData(std::string data, double timeout, long tag) {
    WriteOp op;
    op.data = std::move(data);
    op.timeout = timeout;
    op.tag = tag;
    core_->addWrite(std::move(op));
}

void GCDAsyncSocket::disconnect() {
    auto core = core_;
    SocketService::shared().sync([core] { core->closeWithError(std::nullopt); });
}

namespace {
// No read or write is taken from the call on.
void closeAfter(const std::shared_ptr<GCDAsyncSocketCore>& core, bool reads, bool writes) {
    {
        std::lock_guard lock(core->mutex);
        core->forbidReads = true;
        core->forbidWrites = true;
    }
    SocketService::shared().post([core, reads, writes] {
        core->closeAfterReads = core->closeAfterReads || reads;
        core->closeAfterWrites = core->closeAfterWrites || writes;
        bool idle;
        GCDAsyncSocketCore::State state;
        {
            std::lock_guard lock(core->mutex);
            state = core->state;
            idle = core->reads.empty() && core->writes.empty();
        }
        if (state == GCDAsyncSocketCore::State::Accepting ||
            (state == GCDAsyncSocketCore::State::Idle && idle))
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
    {
        std::lock_guard lock(core_->mutex);
        core_->closeWriteAfterWrites = true;
    }
    auto core = core_;
    SocketService::shared().post([core] { core->flushWrites(); });
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
