#pragma once

#include "HalvexCore/HalvexChannelDelegate.h"

class HalvexShellChannel;

class HalvexShellChannelDelegate : public HalvexChannelDelegate {
public:
    // The answer to changePtySize: no error when the server has the new size.
    virtual void didChangePtySize(HalvexShellChannel&, long columns, long rows,
                                  const std::optional<Error>& error) = 0;
};
