#include "Wendle/WendleDates.h"

#include <ctime>
#include <string>

namespace {

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string padded(long value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

// A name in full for four letters or more, else its first three letters.
std::string named(const char* name, std::size_t count) {
    std::string text(name);
    return count >= 4 ? text : text.substr(0, 3);
}

bool isPatternLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::string stringFromDate(std::chrono::system_clock::time_point date, std::string_view format) {
    using namespace std::chrono;
    const std::time_t seconds = system_clock::to_time_t(date);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    // to_time_t may round; the fraction is what is left of the whole second.
    auto fraction = date - system_clock::from_time_t(seconds);
    if (fraction < fraction.zero()) fraction += std::chrono::seconds(1);
    const long nanos = static_cast<long>(duration_cast<nanoseconds>(fraction).count());

    std::string out;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        if (c == '\'') {
            if (i + 1 < format.size() && format[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            std::size_t end = i + 1;
            while (end < format.size()) {
                if (format[end] == '\'' && end + 1 < format.size() && format[end + 1] == '\'') {
                    out += '\'';
                    end += 2;
                } else if (format[end] == '\'') {
                    break;
                } else {
                    out += format[end++];
                }
            }
            i = end + 1;
            continue;
        }
        if (!isPatternLetter(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t count = 1;
        while (i + count < format.size() && format[i + count] == c)
            ++count;
        i += count;
        switch (c) {
        case 'y':
            out += count == 2 ? padded((tm.tm_year + 1900) % 100, 2) : padded(tm.tm_year + 1900, count);
            break;
        case 'M':
        case 'L':
            out += count >= 3 ? named(kMonths[tm.tm_mon % 12], count) : padded(tm.tm_mon + 1, count);
            break;
        case 'd':
            out += padded(tm.tm_mday, count);
            break;
        case 'E':
            out += named(kDays[tm.tm_wday % 7], count);
            break;
        case 'H':
            out += padded(tm.tm_hour, count);
            break;
        case 'h':
            out += padded(tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12, count);
            break;
        case 'a':
            out += tm.tm_hour < 12 ? "AM" : "PM";
            break;
        case 'm':
            out += padded(tm.tm_min, count);
            break;
        case 's':
            out += padded(tm.tm_sec, count);
            break;
        case 'S':
            out += padded(nanos, 9).substr(0, std::min<std::size_t>(count, 9));
            break;
        default:
            out.append(count, c);
            break;
        }
    }
    return out;
}
