#pragma once

#include "Foundation/NotificationCenter.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <spdlog/fmt/fmt.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Posted on the logger's notification centre after each new line is in the
// log. The object is the new line (a VyMMLogLine); the user info carries the
// log's identifier under VyMMLoggerLogIdKey, which observers compare with
// logId() to pick their own log's lines.
inline constexpr char VyMMLoggerNewLogNotifacation[] = "VyMMLoggerNewLogNotifacation";
inline constexpr char VyMMLoggerLogIdKey[] = "logid";

// Line levels. Plain lines (logPlain) carry level 0 and no time stamp text.
enum VyMMLogLevel : int {
    VyMMLogLevelPlain = 0,
    VyMMLogLevelDebug = 2,
    VyMMLogLevelInfo = 3,
    VyMMLogLevelSuccess = 4,
    VyMMLogLevelWarn = 5,
    VyMMLogLevelError = 6,
    VyMMLogLevelFatal = 7,
};

// An sRGB colour, for views that draw the log.
struct VyMMLogColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const VyMMLogColor&, const VyMMLogColor&) = default;
};

// The text colour of a level's lines; nullopt for lines drawn in the view's
// default text colour (info and plain lines, unknown levels).
std::optional<VyMMLogColor> VyMMLoggerColorForLevel(int level);

// One line of a log, as a view renders it: `timeText` (local time,
// "HH:mm:ss.SSS") then `message`, in `color`. A message may hold several text
// lines (an issue banner); it stays one log line.
struct VyMMLogLine {
    std::size_t index = 0; // position in its log, from 0
    int level = VyMMLogLevelPlain;
    bool plain = false; // written by logPlain: no time stamp text
    std::chrono::system_clock::time_point timestamp;
    std::string timeText; // empty for plain lines
    std::string message;
    std::optional<VyMMLogColor> color;

    // The line as text: "time message", or the message alone for plain lines.
    std::string string() const;

    friend bool operator==(const VyMMLogLine&, const VyMMLogLine&) = default;
};

// A session log. Any thread may write (the SSH thread does) while another reads
// (the main thread does): lines keep the order in which their writes took the
// log's lock, and each write posts VyMMLoggerNewLogNotifacation on the writing
// thread once the line is readable, outside the log's lock, so an observer may
// read the log from its callback. Writers on different threads may see their
// notifications arrive in either order; each carries its line's index.
class VyMMLogger {
public:
    explicit VyMMLogger(NotificationCenter& center = NotificationCenter::defaultCenter());
    VyMMLogger(const VyMMLogger&) = delete;
    VyMMLogger& operator=(const VyMMLogger&) = delete;

    // Writes a message at a level. The message is taken as it is: braces in it
    // are not format fields, so host text can never act as a format.
    void logWithLevel(int level, std::string_view message);

    // Formats with fmt-style fields ("Connecting to {} port {}") and writes the
    // result at a level.
    template <class A0, class... A>
    void logWithLevel(int level, fmt::format_string<A0, A...> format, A0&& arg0, A&&... args) {
        logWithLevel(level,
                     std::string_view(fmt::format(format, std::forward<A0>(arg0), std::forward<A>(args)...)));
    }

    // Writes a line without level or time stamp (the log's header lines).
    void logPlain(std::string_view message);

    // A snapshot of every line so far, in order.
    std::vector<VyMMLogLine> logsAttributeString() const;
    // The whole log as text, one line per entry, each followed by "\n".
    std::string logsString() const;
    std::size_t lineCount() const;

    // This log's identifier, unique among the logs of the process.
    const std::string& logId() const { return logId_; }

private:
    void append(int level, bool plain, std::string_view message);

    NotificationCenter& center_;
    const std::string logId_;
    mutable std::mutex mutex_;
    std::vector<VyMMLogLine> lines_;
};
