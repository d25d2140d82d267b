#include "Wendle/WendleDates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

namespace {

// A local wall-clock time, whatever the machine's time zone.
std::chrono::system_clock::time_point local(int year, int month, int day, int hour, int minute, int second,
                                            int millis = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(millis);
}

TEST(WendleDates, BackupNamesAndLogHeadersUseTheirPatterns) {
    const auto date = local(2016, 3, 1, 9, 5, 7);
    EXPECT_EQ(stringFromDate(date, "yyyy-MM-dd"), "2016-03-01");
    EXPECT_EQ(stringFromDate(date, "dd-MMM-yyyy HH:mm:ss"), "01-Mar-2016 09:05:07");
}

TEST(WendleDates, FieldsPadNamesAndQuotedText) {
    const auto date = local(2009, 12, 6, 21, 4, 9, 45);
    EXPECT_EQ(stringFromDate(date, "d/M/yy h:m:s a"), "6/12/09 9:4:9 PM");
    EXPECT_EQ(stringFromDate(date, "EEE, MMMM d"), "Sun, December 6");
    EXPECT_EQ(stringFromDate(date, "EEEE HH.SSS"), "Sunday 21.045");
    EXPECT_EQ(stringFromDate(date, "'at' h 'o''clock' ''"), "at 9 o'clock '");
    EXPECT_EQ(stringFromDate(local(2009, 12, 6, 0, 30, 0), "hh:mm a"), "12:30 AM");
    EXPECT_EQ(stringFromDate(date, ""), "");
}

} // namespace
