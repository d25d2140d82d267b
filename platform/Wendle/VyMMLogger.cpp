#include "Wendle/VyMMLogger.h"

#include <atomic>
#include <ctime>
#include <random>

namespace {

// A random 128-bit identifier in UUID text form, with a process-wide counter
// mixed in so that two logs of one process never share it.
std::string makeLogId() {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t high = generator();
    std::uint64_t low = generator() ^ counter.fetch_add(1, std::memory_order_relaxed);
    high = (high & ~std::uint64_t{0xF000}) | 0x4000;                        // version 4
    low = (low & ~(std::uint64_t{0xC} << 60)) | (std::uint64_t{0x8} << 60); // variant 1
    return fmt::format("{:08X}-{:04X}-{:04X}-{:04X}-{:012X}", high >> 32, (high >> 16) & 0xFFFF,
                       high & 0xFFFF, low >> 48, low & 0xFFFFFFFFFFFFull);
}

std::string timeTextOf(std::chrono::system_clock::time_point when) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const std::time_t t = std::chrono::system_clock::to_time_t(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    return fmt::format("{:02}:{:02}:{:02}.{:03}", local.tm_hour, local.tm_min, local.tm_sec, millis);
}

} // namespace

std::optional<VyMMLogColor> VyMMLoggerColorForLevel(int level) {
    switch (level) {
    case VyMMLogLevelDebug:
        return VyMMLogColor{128, 128, 128};
    case VyMMLogLevelSuccess:
        return VyMMLogColor{30, 150, 60};
    case VyMMLogLevelWarn:
        return VyMMLogColor{215, 130, 0};
    case VyMMLogLevelError:
        return VyMMLogColor{210, 40, 40};
    case VyMMLogLevelFatal:
        return VyMMLogColor{170, 0, 120};
    default:
        return std::nullopt;
    }
}

std::string VyMMLogLine::string() const {
    if (plain) return message;
    std::string text = timeText;
    text += ' ';
    text += message;
    return text;
}

VyMMLogger::VyMMLogger(NotificationCenter& center) : center_(center), logId_(makeLogId()) {}

void VyMMLogger::logWithLevel(int level, std::string_view message) {
    append(level, false, message);
}

void VyMMLogger::logPlain(std::string_view message) {
    append(VyMMLogLevelPlain, true, message);
}

void VyMMLogger::append(int level, bool plain, std::string_view message) {
    VyMMLogLine line;
    line.level = level;
    line.plain = plain;
    line.message = std::string(message);
    line.color = plain ? std::nullopt : VyMMLoggerColorForLevel(level);
    {
        // Stamped under the lock, so the order of time stamps is the log's.
        std::lock_guard lock(mutex_);
        line.timestamp = std::chrono::system_clock::now();
        if (!plain) line.timeText = timeTextOf(line.timestamp);
        line.index = lines_.size();
        lines_.push_back(line);
    }
    center_.postNotification(VyMMLoggerNewLogNotifacation, std::move(line),
                             nlohmann::json{{VyMMLoggerLogIdKey, logId_}});
}

std::vector<VyMMLogLine> VyMMLogger::logsAttributeString() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string VyMMLogger::logsString() const {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& line : lines_) {
        text += line.string();
        text += '\n';
    }
    return text;
}

std::size_t VyMMLogger::lineCount() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}
