#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A date as text in the local time zone, by a date pattern as the platform
// writes them, with English names whatever the locale (file names and logs
// must not change with the user's language): "yyyy-MM-dd" gives 2016-03-01,
// "dd-MMM-yyyy HH:mm:ss" 01-Mar-2016 09:05:07.
//
// Fields (a letter repeated): yyyy year (yy its last two digits, y or yyy the
// whole year), M or MM month number, MMM "Mar", MMMM "March"; d/dd day;
// EEE "Tue", EEEE "Tuesday"; H/HH hour 0-23, h/hh hour 1-12, a "AM"/"PM";
// m/mm minute; s/ss second; S... fraction of the second (as many digits as
// letters). Two letters or more pad with zeros. Text in 'single quotes' is
// copied ('' is a quote); other characters are copied as they stand.
std::string stringFromDate(std::chrono::system_clock::time_point date, std::string_view format);
