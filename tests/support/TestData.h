#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
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

/// Sets a file's last-write (and last-access) time to a local time.
inline void SetFileTime(const std::string& path, std::tm local) {
    std::time_t when = std::mktime(&local);
    std::filesystem::last_write_time(
        std::filesystem::u8path(path),
        std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when)));
}
