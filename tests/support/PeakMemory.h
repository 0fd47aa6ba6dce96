#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <unistd.h>

/// The resident memory of this process in KiB.
inline long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
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
