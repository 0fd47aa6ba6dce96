#pragma once

#include "LogDocument.h"
#include "platform/RunControl.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

/// The log window of one run: the lines the jobs report, editable, mirrored into the run's log file.
class TLogForm : public QWidget, public LogSink, public RunProgressSink {
public:
    TLogForm(const std::string& programFolder, QWidget* owner);
    ~TLogForm() override;

    QPlainTextEdit* Memo1;
    QLabel* ProgressLabel;     ///< the current step of the running job
    QProgressBar* ProgressBar; ///< files or bytes done; busy while the total is not known
    QPushButton* CancelButton; ///< "中止(&A)": asks the run to stop

    LogDocument& Document() { return document_; }

    void Add(const std::string& line) override;
    /// While its run lasts the window shows the progress and offers the cancel button.
    void BeginRun();
    void EndRun();
    void Show(const RunProgress& progress) override;
    void CancelButtonClick();
    /// After every change of the text, whoever made it.
    void Memo1Change();

private:
    LogDocument document_;
    bool adding_ = false;
    RunProgressSink* previousSink_ = nullptr;
    bool inRun_ = false;
};
