#include "Clock.h"

#include "WindowsText.h"

#include <windows.h>

namespace {

SYSTEMTIME systemTime(const std::tm& t) {
    // The weekday is derived, as a format may name it.
    std::tm normalised = t;
    normalised.tm_isdst = -1;
    int weekday = std::mktime(&normalised) != static_cast<std::time_t>(-1) ? normalised.tm_wday : t.tm_wday;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(weekday);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec);
    return st;
}

} // namespace

std::string FormatShortDate(const std::tm& when) {
    SYSTEMTIME st = systemTime(when);
    wchar_t buffer[256];
    int n = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 256, nullptr);
    return n > 1 ? Utf8Text(std::wstring_view(buffer, static_cast<size_t>(n - 1))) : std::string();
}

std::string FormatLongTime(const std::tm& when) {
    SYSTEMTIME st = systemTime(when);
    wchar_t buffer[256];
    // Without flags the time comes in the user's long time format.
    int n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buffer, 256);
    return n > 1 ? Utf8Text(std::wstring_view(buffer, static_cast<size_t>(n - 1))) : std::string();
}
