#include "Clock.h"

#include "File.h"

#include <atomic>

// The user's date and time formats are the platform's: ClockPosix.cpp and ClockWindows.cpp.

namespace {

class SystemClock : public TClock {
public:
    std::tm Now() const override {
        std::tm local{};
        LocalTimeOf(static_cast<int64_t>(std::time(nullptr)), local);
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
