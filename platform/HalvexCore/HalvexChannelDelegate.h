#pragma once

#include "Foundation/Error.h"

#include <optional>
#include <string_view>

class HalvexChannel;

// Receives a channel's events, all optional, on the session's I/O thread.
class HalvexChannelDelegate {
public:
    virtual ~HalvexChannelDelegate() = default;

    virtual void didReadStdoutData(HalvexChannel&, std::string_view /*data*/) {}
    virtual void didReadStderrData(HalvexChannel&, std::string_view /*data*/) {}
    // Every byte given to writeData so far has been handed to the transport.
    virtual void channelDidWriteData(HalvexChannel&) {}
    // Called once per channel: no error for a close by either side.
    virtual void channelDidClose(HalvexChannel&, const std::optional<Error>&) {}
    virtual void channelDidOpen(HalvexChannel&) {}
    // The other side sends nothing more (it comes after the last bytes read).
    // Return true to keep the channel open for writing until close(); by
    // default it closes once the bytes queued for it have gone out.
    virtual bool channelDidReceiveEOF(HalvexChannel&) { return false; }
};
