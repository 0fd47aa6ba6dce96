#pragma once

#include "jobs/LogSink.h"

#include <string>
#include <vector>

/// A log sink that keeps the entries as they came.
class VectorSink : public LogSink {
public:
    void Add(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};
