#include "Clock.h"

#include <optional>

namespace {

std::optional<std::tm> fixedTime;

} // namespace

std::tm LocalNow() {
    if (fixedTime)
        return *fixedTime;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

void SetClockForTesting(const std::tm* fixed) {
    if (fixed)
        fixedTime = *fixed;
    else
        fixedTime.reset();
}
