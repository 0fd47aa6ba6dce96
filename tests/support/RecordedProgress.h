#pragma once

#include "platform/RunControl.h"

#include <vector>

/// Takes the place of the log window's progress display for its lifetime and keeps what it was shown.
struct RecordedProgress : RunProgressSink {
    RecordedProgress() : context(nullptr, this) {}
    RecordedProgress(const RecordedProgress&) = delete;
    RecordedProgress& operator=(const RecordedProgress&) = delete;
    void Show(const RunProgress& p) override { shown.push_back(p); }
    const RunProgress& last() const {
        static const RunProgress none;
        return shown.empty() ? none : shown.back();
    }
    std::vector<RunProgress> shown;
    RunContext context;
};
