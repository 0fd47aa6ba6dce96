#pragma once

#include "TestData.h"
#include "platform/Clock.h"

/// A clock that stands still at one moment, in place of the system's for its lifetime.
class FixedClock : public TClock {
public:
    explicit FixedClock(const std::tm& moment) : moment_(moment), previous_(SetClock(this)) {}
    /// 5 March 2007, 14:07:09.
    FixedClock() : FixedClock(LocalTime(2007, 3, 5, 14, 7, 9)) {}
    ~FixedClock() override { SetClock(previous_); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    std::tm Now() const override { return moment_; }

private:
    std::tm moment_;
    const TClock* previous_;
};
