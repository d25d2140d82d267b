#pragma once

#include "Halvex/HalvexKnownHostModel.h"

// The class name that older versions wrote into archives of known hosts.
// Archives naming it decode as HalvexKnownHostModel; nothing creates it.
class KvKnownHost : public HalvexKnownHostModel {};
