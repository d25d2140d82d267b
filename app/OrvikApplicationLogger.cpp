#include "app/OrvikApplicationLogger.h"

#include "Foundation/Log.h"

#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/syslog_sink.h>

#include <sys/stat.h>
#include <syslog.h>

std::shared_ptr<spdlog::logger> OrvikMakeApplicationLogger(const std::string& systemLogSocket) {
    struct stat status {};
    const bool hasSystemLog = stat(systemLogSocket.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
    spdlog::sink_ptr sink;
    if (hasSystemLog)
        sink = std::make_shared<spdlog::sinks::syslog_sink_mt>("orvik", LOG_PID, LOG_USER, false);
    else
        sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
    auto logger = std::make_shared<spdlog::logger>("orvik", std::move(sink));
    logger->set_level(spdlog::level::warn);
    return logger;
}

void OrvikInstallApplicationLogger() {
    Log::setLogger(OrvikMakeApplicationLogger());
}
