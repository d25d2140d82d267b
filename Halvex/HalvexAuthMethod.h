#pragma once

#include "Halvex/HalvexAuthMethodModel.h"

// The class name that older versions wrote into archives. Archives naming it
// decode as HalvexAuthMethodModel, so that decoded methods compare equal to
// current ones; nothing creates this class.
class HalvexAuthMethod : public HalvexAuthMethodModel {};
