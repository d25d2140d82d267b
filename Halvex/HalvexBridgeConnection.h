#pragma once

#include "Dispatch/SerialQueue.h"
#include "Foundation/Error.h"
#include "HalvexCore/HalvexChannel.h"
#include "Socket/GCDAsyncSocket.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class HalvexBridgeConnection;

// How a dynamic bridge reaches its target: 1 while it talks to its client,
// then 2 through an SSH direct channel; any other answer connects directly
// from this machine.
enum HalvexBridgeMode : long {
    HalvexBridgeModeDirect = 0,
    HalvexBridgeModeHandshake = 1,
    HalvexBridgeModeChannel = 2,
};

// What a bridge asks and reports. Called on the bridge's queue.
class HalvexBridgeConnectionDelegate {
public:
    virtual ~HalvexBridgeConnectionDelegate() = default;

    virtual long bridgeModeOfHost(HalvexBridgeConnection&, const std::string& /*host*/) {
        return HalvexBridgeModeChannel;
    }
    // The bridge is finished (once per bridge); the error is its client
    // side's, none for an orderly end.
    virtual void didBreakWithError(HalvexBridgeConnection&, const std::optional<Error>&) {}
    // The target could not be reached or failed.
    virtual void didTargetBreakWithError(HalvexBridgeConnection&, const Error&, long /*mode*/,
                                         const std::string& /*targetHost*/, uint16_t /*targetPort*/) {}
};

// One relayed TCP connection of a port forwarding: a client socket on one
// side, an SSH channel or a second socket on the other. Each bridge has its
// own serial queue; its sockets report there, and the channel's callbacks,
// which come on the session's I/O thread, are moved there before they touch
// the bridge. Relaying reads at most 16 KiB at a time and reads again only
// once the last chunk has been passed on (to a channel: while the channel
// holds less than ChannelQueueLimit unsent); bytes from the channel wait for
// a slow client with the channel's reading paused, so neither side can make
// the bridge hold more than a bounded amount. An end of data on either side
// is passed on to the other (half-close); the bridge ends when its client
// side does.
//
// Made with make() and owned through shared_ptr. Every public call may come
// from any thread.
class HalvexBridgeConnection : public GCDAsyncSocketDelegate,
                               public HalvexChannelDelegate,
                               public std::enable_shared_from_this<HalvexBridgeConnection> {
public:
    static constexpr size_t RelayChunk = 16384;
    // Bytes from the channel not yet written to the client: reading pauses
    // above the high mark and resumes at the low one.
    static constexpr size_t ChannelHighWater = 4 * 1024 * 1024;
    static constexpr size_t ChannelLowWater = 1024 * 1024;
    // Client bytes a channel may hold unsent before the next read waits.
    static constexpr size_t ChannelQueueLimit = 1024 * 1024;

    // Ends the bridge without telling its delegate.
    ~HalvexBridgeConnection() override;
    HalvexBridgeConnection(const HalvexBridgeConnection&) = delete;
    HalvexBridgeConnection& operator=(const HalvexBridgeConnection&) = delete;

    void setDelegate(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate);
    std::shared_ptr<HalvexBridgeConnectionDelegate> delegate() const;
    const std::shared_ptr<SerialQueue>& delegateQueue() const { return queue_; }

    std::shared_ptr<GCDAsyncSocket> clientSocket() const;
    std::shared_ptr<GCDAsyncSocket> targetSocket() const;
    std::shared_ptr<HalvexChannel> targetChannel() const;

    // Closes the target socket, the target channel and the client socket,
    // telling no one; the sockets' descriptors are closed when it returns.
    void disconnect();

protected:
    HalvexBridgeConnection(std::weak_ptr<HalvexBridgeConnectionDelegate> delegate);

    // Runs f on the bridge's queue while the bridge lives and is not
    // disconnected.
    void onQueue(std::function<void(HalvexBridgeConnection&)> f);
    bool isDisconnected() const;
    // Each is false when the bridge was disconnected meanwhile: what it was
    // given is then closed.
    bool setClientSocket(std::shared_ptr<GCDAsyncSocket> socket);
    bool setTargetSocket(std::shared_ptr<GCDAsyncSocket> socket);
    bool setTargetChannel(std::shared_ptr<HalvexChannel> channel);
    // A socket of this bridge's, reporting on its queue; relays keep their
    // ends of data to themselves.
    std::shared_ptr<GCDAsyncSocket> makeSocket();
    // An accepted socket becomes this bridge's client socket, set up as
    // makeSocket's are.
    void adoptClientSocket(std::shared_ptr<GCDAsyncSocket> socket);
    // The target channel, told nothing more, closed.
    void closeTargetChannel();

    // Queue only: the delegate's answers and reports.
    long chooseMode(const std::string& host);
    void reportBreak(const std::optional<Error>& error);
    void reportTargetBreak(const Error& error, long mode, const std::string& host, uint16_t port);

    // Queue only: channel bytes to a socket, and the matching write
    // completion, which resumes the channel's reading once few wait.
    void relayChannelData(GCDAsyncSocket& socket, std::string data, long tag);
    void channelDataWritten();
    // Queue only: one client chunk to the channel; channelWroteData (the next
    // read) follows at once while the channel has room, else once it is out.
    void writeToChannel(const std::string& data);

    // The relay between the client socket and the target channel, which the
    // local and remote bridges are: chunks of the client's bytes to the
    // channel, the channel's bytes to the client (tag 0), ends of data passed
    // on, the client's end ending the bridge. A dynamic bridge has its own.
    void readClientChunk();
    void didReadData(GCDAsyncSocket&, std::string data, long tag) override;
    void didWriteDataWithTag(GCDAsyncSocket&, long tag) override;
    void socketDidCloseReadStream(GCDAsyncSocket&) override;
    void socketDidDisconnect(GCDAsyncSocket&, const std::optional<Error>& error) override;

    // The channel's events, on the bridge's queue.
    virtual void channelOpened() {}
    virtual void channelData(std::string data);
    virtual void channelWroteData();
    virtual void channelEnded();
    virtual void channelClosed(const std::optional<Error>& error);

    bool awaitingChannelWrite_ = false; // queue only

private:
    // HalvexChannelDelegate, on the session's I/O thread.
    void didReadStdoutData(HalvexChannel&, std::string_view data) override;
    void channelDidWriteData(HalvexChannel&) override;
    void channelDidClose(HalvexChannel&, const std::optional<Error>&) override;
    void channelDidOpen(HalvexChannel&) override;
    bool channelDidReceiveEOF(HalvexChannel&) override;

    template <class T>
    bool store(std::shared_ptr<T>& field, std::shared_ptr<T> value);

    mutable std::mutex mutex_;
    std::weak_ptr<HalvexBridgeConnectionDelegate> delegate_; // guarded by mutex_
    std::shared_ptr<GCDAsyncSocket> clientSocket_;           // guarded by mutex_
    std::shared_ptr<GCDAsyncSocket> targetSocket_;           // guarded by mutex_
    std::shared_ptr<HalvexChannel> targetChannel_;           // guarded by mutex_
    bool disconnected_ = false;                              // guarded by mutex_

    // The channel's bytes on their way to the client. The session's I/O
    // thread adds to them, the queue takes them and hears of their writes.
    std::mutex flowMutex_;
    std::string inbox_;              // guarded by flowMutex_
    bool inboxPosted_ = false;       // guarded by flowMutex_
    size_t channelBytesPending_ = 0; // guarded by flowMutex_: in the inbox or not yet written
    bool channelPaused_ = false;     // guarded by flowMutex_

    // Queue only.
    bool broken_ = false;
    std::deque<size_t> channelWrites_;

    std::shared_ptr<SerialQueue> queue_;
};
