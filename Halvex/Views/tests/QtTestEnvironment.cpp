// The QApplication of the views' test binary, created once before any test.
#include "Wendle/Views/tests/QtTestApplication.h"

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new views_test::QtApplicationEnvironment("views_tests"));
