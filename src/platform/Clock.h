#pragma once

#include <ctime>
#include <string>

/// Where the program reads the time: the system's clock, or one a test puts in its place.
class TClock {
public:
    virtual ~TClock() = default;
    /// The local date and time.
    virtual std::tm Now() const = 0;
};

/// Puts `clock` in place of the one in use (nullptr: the system's) and returns the one it replaced.
const TClock* SetClock(const TClock* clock);

/// The local date and time of the clock in use.
std::tm LocalNow();

/// The date in the user's short date format (UTF-8): on Windows the user's regional settings, elsewhere
/// the date format of the locale's LC_TIME category (the "C" locale's when that locale is not available).
std::string FormatShortDate(const std::tm& when);
/// The time in the user's long time format (UTF-8), read as for FormatShortDate.
std::string FormatLongTime(const std::tm& when);
