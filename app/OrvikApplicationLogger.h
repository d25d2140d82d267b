#pragma once

#include <memory>
#include <string>

namespace spdlog {
class logger;
}

// The application's logger: warnings and errors reach the system log
// (syslog, which the journal keeps) when the machine has one at
// `systemLogSocket`, else stderr; nothing below warnings is written.
std::shared_ptr<spdlog::logger> OrvikMakeApplicationLogger(const std::string& systemLogSocket = "/dev/log");

// Makes it the process's logger (Log::logger()).
void OrvikInstallApplicationLogger();
