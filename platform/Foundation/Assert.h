#pragma once

#include <cstdio>
#include <cstdlib>

// Internal consistency check: names the function, file, line and condition,
// then stops the program. Kept in release builds: a broken invariant in the
// screen model or a session's state is worse than a crash.
#define ORVIK_ASSERT(cond)                                                                            \
    do {                                                                                              \
        if (!(cond)) {                                                                                \
            std::fprintf(stderr, "*** Assertion failure in %s, %s:%d: %s\n", __PRETTY_FUNCTION__,     \
                         __FILE__, __LINE__, #cond);                                                  \
            std::abort();                                                                             \
        }                                                                                             \
    } while (0)
