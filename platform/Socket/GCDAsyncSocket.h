#pragma once

#include "Dispatch/DispatchQueue.h"
#include "Foundation/Error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class GCDAsyncSocket;
struct GCDAsyncSocketCore;

// Errors the socket makes itself. Failures of the system's calls keep their
// errno in "NSPOSIXErrorDomain"; name resolution fails in
// GCDAsyncSocketResolverErrorDomain with the resolver's code.
inline constexpr const char* GCDAsyncSocketErrorDomain = "GCDAsyncSocketErrorDomain";
inline constexpr const char* GCDAsyncSocketResolverErrorDomain = "kCFStreamErrorDomainNetDB";

enum GCDAsyncSocketError : long {
    GCDAsyncSocketNoError = 0,
    GCDAsyncSocketBadConfigError = 1,      // settings that cannot work (no delegate, both families off...)
    GCDAsyncSocketBadParamError = 2,       // an empty host, an unknown interface
    GCDAsyncSocketConnectTimeoutError = 3, // the connect did not finish in time
    GCDAsyncSocketReadTimeoutError = 4,
    GCDAsyncSocketWriteTimeoutError = 5,
    GCDAsyncSocketReadMaxedOutError = 6,
    GCDAsyncSocketClosedError = 7, // the peer closed the connection
    GCDAsyncSocketOtherError = 8,
};

// Receives a socket's events, all optional, on the socket's delegate queue, in
// the order they happened. An event is delivered only while its delegate is
// still the socket's delegate: after setDelegate({}) nothing more arrives.
class GCDAsyncSocketDelegate {
public:
    virtual ~GCDAsyncSocketDelegate() = default;

    // A listening socket accepted a connection. The new socket is connected,
    // has this socket's delegate, delegate queue and settings, and reads
    // nothing until asked.
    virtual void didAcceptNewSocket(GCDAsyncSocket&, const std::shared_ptr<GCDAsyncSocket>& /*newSocket*/) {}
    // host is the numeric address connected to.
    virtual void didConnectToHost(GCDAsyncSocket&, const std::string& /*host*/, uint16_t /*port*/) {}
    virtual void didReadData(GCDAsyncSocket&, std::string /*data*/, long /*tag*/) {}
    virtual void didWriteDataWithTag(GCDAsyncSocket&, long /*tag*/) {}
    // A read ran out of time: return seconds to wait more, or 0 to end the
    // socket with GCDAsyncSocketReadTimeoutError.
    virtual double shouldTimeoutReadWithTag(GCDAsyncSocket&, long /*tag*/, double /*elapsed*/,
                                            size_t /*bytesDone*/) {
        return 0;
    }
    virtual double shouldTimeoutWriteWithTag(GCDAsyncSocket&, long /*tag*/, double /*elapsed*/,
                                             size_t /*bytesDone*/) {
        return 0;
    }
    // The peer sent its last byte, and the socket stays open for writing
    // (setAutoDisconnectOnClosedReadStream(false)). Reads still queued, and
    // those asked for later, are dropped.
    virtual void socketDidCloseReadStream(GCDAsyncSocket&) {}
    // Once per socket that connected, tried to connect or listened: no error
    // when this side asked for the end.
    virtual void socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& /*error*/) {}
};

// An asynchronous TCP socket: connect or listen, then tagged reads and writes
// that complete in the order they were asked for. All sockets of the process
// share one I/O thread, which owns their descriptors; every call may come
// from any thread and returns without waiting for the network. Time-outs are
// in seconds; 0 or less waits without a limit.
class GCDAsyncSocket : public std::enable_shared_from_this<GCDAsyncSocket> {
public:
    static std::shared_ptr<GCDAsyncSocket> make(std::weak_ptr<GCDAsyncSocketDelegate> delegate = {},
                                                std::shared_ptr<DispatchQueue> delegateQueue = {});
    // Closes the socket without telling the delegate.
    ~GCDAsyncSocket();
    GCDAsyncSocket(const GCDAsyncSocket&) = delete;
    GCDAsyncSocket& operator=(const GCDAsyncSocket&) = delete;

    // The socket keeps neither its delegate nor its delegate queue alive.
    void setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate);
    void setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> delegate, std::shared_ptr<DispatchQueue> queue);
    std::shared_ptr<GCDAsyncSocketDelegate> delegate() const;
    std::shared_ptr<DispatchQueue> delegateQueue() const;

    // Settings, before connecting or listening (both families are on).
    void setIPv4Enabled(bool enabled);
    void setIPv6Enabled(bool enabled);
    bool isIPv4Enabled() const;
    bool isIPv6Enabled() const;
    // TCP_NODELAY on the connection's descriptor, now or as soon as it exists;
    // a listening socket passes it on to the sockets it accepts.
    void setNoDelay(bool enabled);
    // On by default: the peer's end of data ends the socket with
    // GCDAsyncSocketClosedError. Off: socketDidCloseReadStream, and the socket
    // ends once its own writing is closed too (closeWriteStreamAfterWriting).
    void setAutoDisconnectOnClosedReadStream(bool enabled);

    // Listens on every interface (port 0: one the system chooses).
    bool acceptOnPort(uint16_t port, Error* error = nullptr);
    // Listens on one interface: "localhost" or "loopback", a numeric address,
    // or an interface's name; with both families on, on its IPv4 and IPv6
    // addresses (a family the host has no such address of is left out).
    bool acceptOnInterface(const std::string& interface, uint16_t port, Error* error = nullptr);
    // False with an error when the connect cannot be started; otherwise
    // didConnectToHost or socketDidDisconnect follows. IPv4 addresses are tried
    // before IPv6 ones, each family only when enabled.
    bool connectToHost(const std::string& host, uint16_t port, double timeout, Error* error = nullptr);

    // Whatever is available, at most maxLength bytes (0: up to 64 KiB).
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithTimeout(double timeout, size_t maxLength, long tag);
    // Exactly length bytes (a length of 0 completes at once with no bytes).
    void readDataToLength(size_t length, double timeout, long tag);
    // Up to and including the delimiter, or maxLength bytes (0: no limit) when
    // the delimiter has not come by then: the reader tells the two apart by
    // the end of the data.
    void readDataToData(std::string delimiter, double timeout, size_t maxLength, long tag);
    // Writes asked for before the socket connects wait for it.
    void writeData(std::string data, double timeout, long tag);

    // Closes at once; reads and writes not done are dropped, and the delegate
    // hears socketDidDisconnect without an error. The descriptor is closed
    // when this returns.
    void disconnect();
    // These take no further reads or writes, and close without an error once
    // the pending reads, writes, or both are done.
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();
    // Shuts down the sending side once the pending writes are done; later
    // writes are dropped.
    void closeWriteStreamAfterWriting();

    bool isConnected() const;
    bool isDisconnected() const;
    // The listening or local port (0 when there is none).
    uint16_t localPort() const;
    std::string connectedHost() const;
    uint16_t connectedPort() const;

private:
    GCDAsyncSocket();
    friend struct GCDAsyncSocketCore;

    std::shared_ptr<GCDAsyncSocketCore> core_;
};
