#pragma once

#include <string>

/// Where a job's log lines go (the log window's lines while a run is in progress).
class LogSink {
public:
    virtual ~LogSink() = default;
    /// Appends one entry; an entry may itself hold CR LF pairs and then shows as several lines.
    virtual void Add(const std::string& line) = 0;
};
