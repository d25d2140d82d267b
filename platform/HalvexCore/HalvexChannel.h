#pragma once

#include "HalvexCore/HalvexChannelDelegate.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class HalvexSession;
class HalvexSessionCore;
struct HalvexChannelIO;

// One SSH channel of a session. Made by the session (open calls return at
// once; channelDidOpen or channelDidClose follows). Every call may come from
// any thread and never waits for the session's I/O thread; the delegate is
// called on that thread and is held weakly.
class HalvexChannel : public std::enable_shared_from_this<HalvexChannel> {
public:
    virtual ~HalvexChannel();
    HalvexChannel(const HalvexChannel&) = delete;
    HalvexChannel& operator=(const HalvexChannel&) = delete;

    // Queues the bytes; they are sent in order as the channel's window allows,
    // also when the channel is still opening. Bytes written after close() or
    // after the channel closed are dropped.
    void writeData(std::string_view data);
    // Bytes given to writeData and not yet handed to the transport.
    size_t queuedBytes() const { return queued_.load(std::memory_order_acquire); }
    // Sends what is queued, then closes the channel; channelDidClose follows
    // with no error (once per channel, also when the other side closed first).
    void close();
    // Sends EOF once the bytes queued before have gone out: the other side
    // reads to its end, and the channel still reads what it sends back. Bytes
    // written afterwards are dropped.
    void sendEOF();
    // While reading is paused the channel's bytes stay in the transport and
    // its window is not given back, so the other side stops sending once the
    // window is used up. Resuming delivers what was kept, in order.
    void pauseReading();
    void resumeReading();
    void setDelegate(std::weak_ptr<HalvexChannelDelegate> delegate);
    std::shared_ptr<HalvexChannelDelegate> delegate() const;
    // The session that made the channel, while it exists.
    std::shared_ptr<HalvexSession> session() const;
    // From channelDidOpen until close() or the channel's end.
    bool isOpen() const { return open_.load(std::memory_order_acquire); }

protected:
    HalvexChannel(std::shared_ptr<HalvexSessionCore> core, std::weak_ptr<HalvexSession> session,
                  std::weak_ptr<HalvexChannelDelegate> delegate);

    std::shared_ptr<HalvexSessionCore> core_;

private:
    friend class HalvexSessionCore;
    friend class HalvexSession;

    std::weak_ptr<HalvexSession> session_;
    mutable std::mutex mutex_;
    std::weak_ptr<HalvexChannelDelegate> delegate_;
    std::string pendingWrites_;    // guarded by mutex_
    bool writeWakePosted_ = false; // guarded by mutex_
    std::atomic<bool> open_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> eofRequested_{false};
    std::atomic<bool> readingPaused_{false};
    std::atomic<size_t> queued_{0};
    std::atomic<bool> finished_{false};   // closed for good: writes are dropped
    std::unique_ptr<HalvexChannelIO> io_; // touched only on the I/O thread
};
