#pragma once

#include <ctime>
#include <string>

/// The local date and time (or the time a test set).
std::tm LocalNow();

/// Makes LocalNow return `fixed` from now on; nullptr returns to the real clock. For tests.
void SetClockForTesting(const std::tm* fixed);

/// The date in the user's short date format (UTF-8): on Windows the user's regional settings, elsewhere
/// the date format of the locale's LC_TIME category (the "C" locale's when that locale is not available).
std::string FormatShortDate(const std::tm& when);
/// The time in the user's long time format (UTF-8), read as for FormatShortDate.
std::string FormatLongTime(const std::tm& when);
