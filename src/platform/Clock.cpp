#include "Clock.h"

#include <atomic>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace {

#ifdef _WIN32

SYSTEMTIME systemTime(const std::tm& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec);
    return st;
}

std::string utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

#else

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

#endif

} // namespace

namespace {

class SystemClock : public TClock {
public:
    std::tm Now() const override {
        std::time_t now = std::time(nullptr);
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        return local;
    }
};

const SystemClock systemClock;
std::atomic<const TClock*> current{&systemClock};

} // namespace

const TClock* SetClock(const TClock* clock) {
    const TClock* previous = current.exchange(clock ? clock : &systemClock);
    return previous == &systemClock ? nullptr : previous;
}

std::tm LocalNow() {
    return current.load()->Now();
}

std::string FormatShortDate(const std::tm& when) {
#ifdef _WIN32
    SYSTEMTIME st = systemTime(when);
    wchar_t buffer[256];
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 256, nullptr) == 0)
        return {};
    return utf8(buffer);
#else
    return formatWithLocale(when, D_FMT);
#endif
}

std::string FormatLongTime(const std::tm& when) {
#ifdef _WIN32
    SYSTEMTIME st = systemTime(when);
    wchar_t buffer[256];
    // Without flags the time comes in the user's long time format.
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buffer, 256) == 0)
        return {};
    return utf8(buffer);
#else
    return formatWithLocale(when, T_FMT);
#endif
}
