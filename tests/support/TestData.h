#pragma once

#include "platform/Paths.h"

#include <chrono>
#include <ctime>
#include <random>
#include <string>

/// `n` pseudo-random bytes from a fixed seed (incompressible test content).
inline std::string RandomBytes(size_t n, unsigned seed = 11) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

/// A local date and time.
inline std::tm LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

/// The separator the system adds after a folder's name: '\\' on Windows, '/' elsewhere.
inline const std::string NativeSep(1, NativeDelimiter);

#ifdef _WIN32
// Windows' own CP932 table, used strictly (no best fit), gives ¢ £ ¬ — ‖ − 〜 and ¥ no form at all.
inline constexpr bool SevenHaveSharedForms = false;
#else
// glibc's table gives ¢ £ ¬ — ‖ − 〜 the forms that ￠ ￡ ￢ ― ∥ － ～ decode from, and ¥ a glyph of 5C.
inline constexpr bool SevenHaveSharedForms = true;
#endif
