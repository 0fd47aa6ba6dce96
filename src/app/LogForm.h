#pragma once

#include "run/LogDocument.h"
#include "platform/RunControl.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

/// "step n / total  (k / m KB)": what a progress display says of the running job.
QString ProgressText(const RunProgress& progress);
/// Files or bytes done on `bar`; busy while the total is not known.
void ShowProgressOn(QProgressBar* bar, const RunProgress& progress);

/// The log window of one run: the lines the jobs report, editable, mirrored into the run's log file.
/// Alt with a letter never types into the log: it is meant for a command.
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
    /// The run is being stopped: the button is spent and the label says so.
    void ShowStopping();
    /// Called when the window is shown or hidden (closing it only hides it).
    std::function<void()> VisibilityChanged;
    /// After every change of the text, whoever made it.
    void Memo1Change();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LogDocument document_;
    bool adding_ = false;
    bool inRun_ = false;
};
