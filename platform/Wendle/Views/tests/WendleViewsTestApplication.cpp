#include "Wendle/Views/tests/QtTestApplication.h"

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(
    new views_test::QtApplicationEnvironment("platform_wendle_views_tests"));
