#pragma once

#include "LogDocument.h"

#include <QWidget>

class QPlainTextEdit;

/// The log window of one run: the lines the jobs report, editable, mirrored into the run's log file.
class TLogForm : public QWidget, public LogSink {
public:
    TLogForm(const std::string& programFolder, QWidget* owner);

    QPlainTextEdit* Memo1;
    LogDocument& Document() { return document_; }

    void Add(const std::string& line) override;
    /// After every change of the text, whoever made it.
    void Memo1Change();

private:
    LogDocument document_;
    bool adding_ = false;
};
