#include "ServerManagementTestSupport.h"

namespace {
[[maybe_unused]] ::testing::Environment* const tempHome =
    ::testing::AddGlobalTestEnvironment(new mgmt_test::TempHome);
} // namespace
