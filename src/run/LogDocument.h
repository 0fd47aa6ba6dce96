#pragma once

#include "jobs/LogSink.h"

#include <ctime>
#include <string>

/// The text of one run's log and its file (CP932, CR LF) when saving is on: a line added is appended to
/// the file, which is rewritten whole only when it is not known to hold the text so far (saving was just
/// turned on, the user edited the text, a write failed). The log window shows it; window-free callers use
/// it directly.
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
    // Brings the file up to the text when saving is on: `added` (the text's new end) is appended when the
    // file holds the rest; else the whole file is written. A failure is reported in an error box and the
    // run goes on.
    void changed(const std::string* added);

    std::string path_;
    std::string text_;
    bool fileCurrent_ = false; // the file holds the text as it was before the latest change
};
