#pragma once

#include <memory>
#include <spdlog/spdlog.h>
#include <utility>

// The process's logger: warnings and worse to stderr unless the application
// installs another logger.
class Log {
public:
    static std::shared_ptr<spdlog::logger> logger();
    // Replaces the logger (the application's journal sink, a test's capture);
    // null restores the default.
    static void setLogger(std::shared_ptr<spdlog::logger> logger);

    template <class... A>
    static void error(spdlog::format_string_t<A...> fmt, A&&... args) {
        logger()->error(fmt, std::forward<A>(args)...);
    }
    template <class... A>
    static void warning(spdlog::format_string_t<A...> fmt, A&&... args) {
        logger()->warn(fmt, std::forward<A>(args)...);
    }
    template <class... A>
    static void info(spdlog::format_string_t<A...> fmt, A&&... args) {
        logger()->info(fmt, std::forward<A>(args)...);
    }
    template <class... A>
    static void debug(spdlog::format_string_t<A...> fmt, A&&... args) {
        logger()->debug(fmt, std::forward<A>(args)...);
    }
};
