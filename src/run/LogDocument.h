#pragma once

#include "jobs/LogSink.h"

#include <ctime>
#include <string>

/// The text of one run's log and its file: every change rewrites the whole file (CP932, CR LF) when
/// saving is on. The log window shows it; window-free callers use it directly.
class LogDocument : public LogSink {
public:
    /// The file is "log" + YYYYMMDDhhmmss + ".log" in the "log" folder of `programFolder`, from `created`.
    LogDocument(const std::string& programFolder, const std::tm& created);

    const std::string& FilePath() const { return path_; }
    const std::string& Text() const { return text_; }
    bool SaveFlag = false;

    /// Appends the line and a line end (starting a new line first if the text does not end with one).
    void Add(const std::string& line) override;
    /// Replaces the whole text (the user edited it).
    void SetText(const std::string& text);

private:
    // Writes the file when saving is on; a failure is reported in an error box and the run goes on.
    void changed();

    std::string path_;
    std::string text_;
};
