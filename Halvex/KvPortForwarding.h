#pragma once

#include "Halvex/HalvexPortForwarding.h"

// The class name older versions used for a running forwarding. Archives that
// name it (or HalvexPortForwarding) decode as the forwarding rule,
// HalvexForwardingModel; nothing creates this class.
class KvPortForwarding : public HalvexPortForwarding {};
