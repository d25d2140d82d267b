// One QApplication for the whole test binary, on Qt's offscreen platform, so
// that the tests run without a display.
#include "Wendle/Views/tests/QtTestApplication.h"

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new views_test::QtApplicationEnvironment("rellum_view_tests"));
