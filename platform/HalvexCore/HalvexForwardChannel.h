#pragma once

#include "HalvexCore/HalvexChannel.h"

// One connection that the server forwarded from a remote forward's listener.
// It is open when the session hands it over.
class HalvexForwardChannel : public HalvexChannel {
private:
    friend class HalvexSessionCore;
    friend class HalvexSession;
    HalvexForwardChannel(std::shared_ptr<HalvexSessionCore> core, std::weak_ptr<HalvexSession> session,
                         std::weak_ptr<HalvexChannelDelegate> delegate)
        : HalvexChannel(std::move(core), std::move(session), std::move(delegate)) {}
};
