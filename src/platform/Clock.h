#pragma once

#include <ctime>

/// The local date and time (or the time a test set).
std::tm LocalNow();

/// Makes LocalNow return `fixed` from now on; nullptr returns to the real clock. For tests.
void SetClockForTesting(const std::tm* fixed);
