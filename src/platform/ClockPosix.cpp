#include "Clock.h"

#include <langinfo.h>
#include <locale.h>

namespace {

// Formats with the format the user's LC_TIME locale gives for `item` (D_FMT or T_FMT). The locale is read
// from the environment on every call, as the user's settings may change while the program runs.
std::string formatWithLocale(const std::tm& when, nl_item item) {
    // A format may name the weekday or the day of the year: derive them, leaving the rest as given.
    std::tm t = when, normalised = when;
    normalised.tm_isdst = -1;
    if (std::mktime(&normalised) != static_cast<std::time_t>(-1)) {
        t.tm_wday = normalised.tm_wday;
        t.tm_yday = normalised.tm_yday;
    }
    locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!user)
        user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    std::string out;
    if (user) {
        const char* format = nl_langinfo_l(item, user);
        char buffer[256];
        size_t n = format && *format ? strftime_l(buffer, sizeof buffer, format, &t, user) : 0;
        out.assign(buffer, n);
        freelocale(user);
    }
    return out;
}

} // namespace

std::string FormatShortDate(const std::tm& when) {
    return formatWithLocale(when, D_FMT);
}

std::string FormatLongTime(const std::tm& when) {
    return formatWithLocale(when, T_FMT);
}
