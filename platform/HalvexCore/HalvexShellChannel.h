#pragma once

#include "HalvexCore/HalvexChannel.h"
#include "HalvexCore/HalvexShellChannelDelegate.h"

// An interactive shell on a pseudo-terminal. Its delegate should be a
// HalvexShellChannelDelegate to hear the answers to changePtySize.
class HalvexShellChannel : public HalvexChannel {
public:
    // Asks the server to resize the pseudo-terminal. The answer comes through
    // didChangePtySize; a request made while the shell is still opening is sent
    // once it is open (only the latest size counts).
    void changePtySize(long columns, long rows);

private:
    friend class HalvexSessionCore;
    friend class HalvexSession;
    HalvexShellChannel(std::shared_ptr<HalvexSessionCore> core, std::weak_ptr<HalvexSession> session,
                       std::weak_ptr<HalvexChannelDelegate> delegate)
        : HalvexChannel(std::move(core), std::move(session), std::move(delegate)) {}
};
