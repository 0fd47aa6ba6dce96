#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <unistd.h>
#endif

/// The resident memory of this process in KiB.
inline long ResidentKiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.WorkingSetSize / 1024);
#else
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
#endif
}

/// The most memory `f` holds above what the process held before, sampled every millisecond (the peak the
/// kernel keeps misses memory that threads release through their own arenas).
template <typename F> long PeakKiBAbove(F&& f) {
    const long baseline = ResidentKiB();
    std::atomic<bool> done{false};
    std::atomic<long> peak{baseline};
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), ResidentKiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    f();
    done = true;
    sampler.join();
    return std::max(peak.load(), ResidentKiB()) - baseline;
}
