#include "Foundation/Log.h"

#include <mutex>
#include <spdlog/sinks/stdout_sinks.h>

namespace {
std::mutex gMutex;
std::shared_ptr<spdlog::logger> gLogger;

std::shared_ptr<spdlog::logger> makeDefault() {
    auto sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    auto logger = std::make_shared<spdlog::logger>("orvik", sink);
    logger->set_level(spdlog::level::warn);
    return logger;
}
} // namespace

std::shared_ptr<spdlog::logger> Log::logger() {
    std::lock_guard lock(gMutex);
    if (!gLogger) gLogger = makeDefault();
    return gLogger;
}

void Log::setLogger(std::shared_ptr<spdlog::logger> logger) {
    std::lock_guard lock(gMutex);
    gLogger = logger ? std::move(logger) : makeDefault();
}
