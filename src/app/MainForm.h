#pragma once

#include "run/JobStore.h"
#include "platform/RunControl.h"

#include <QMainWindow>

#include <functional>

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStatusBar;
class QMenu;
class QAction;
class QProgressBar;
class TCreateForm;
class TLogForm;

/// The main window: the job list with its commands, the Run button and the two log options. While a run
/// lasts its status bar shows the running step with a cancel button, and the way back to a log window
/// the user closed; afterwards it shows the run's summary.
class TMainForm : public QMainWindow, public RunProgressSink {
public:
    /// `exePath` decides where the settings files are (the running executable's path in the program).
    explicit TMainForm(const std::string& exePath, QWidget* parent = nullptr);

    QListWidget* ProcessCheckList;
    QPushButton* NewButton;
    QPushButton* EditButton;
    QPushButton* CopyButton;
    QPushButton* DeleteButton;
    QPushButton* AllSelectButton;
    QPushButton* UpdateSelectButton;
    QPushButton* UploadSelectButton;
    QPushButton* NarSelectButton;
    QPushButton* DeSellectButton;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* RunButton;
    QPushButton* PreviewButton; ///< "プレビュー(&W)": runs the ticked jobs without changing anything
    QCheckBox* LogCheck;
    QCheckBox* NoLogWindowCheck;
    QStatusBar* StatusBar1;
    QLabel* RunStateLabel; ///< "実行中: " and the step; the summary once the run is over
    QProgressBar* RunProgressBar;
    QPushButton* ShowLogButton;   ///< "ログ表示(&G)": brings back the log window the user closed
    QPushButton* RunCancelButton; ///< "中止(&T)": asks the run to stop
    QMenu* FileMenu;
    QAction* AboutMenu;
    QAction* ExitMenu;

    /// Shows a job editor modally; true when the user pressed OK. A test answers in the user's place.
    std::function<bool(TCreateForm& editor)> ShowEditor;

    JobStore& Store() { return store_; }

    /// The job of a list row.
    TSettings* JobAt(int row) const;
    /// Appends a row for `job` with its name as caption.
    void AppendItem(TSettings* job, bool checked);
    /// The row of the selected item, or -1 when none is selected.
    int SelectedRow() const;

    void FormCreate();
    /// The save at exit; false when it failed and the user chose to keep the program open.
    bool FormDestroy();
    void RunButtonClick();
    void PreviewButtonClick();
    void AboutMenuClick();
    void ExitMenuClick();
    void ShowLogButtonClick();
    void RunCancelButtonClick();
    /// The running job's progress, for the status bar and the log window.
    void Show(const RunProgress& progress) override;

    void NewButtonClick();
    void EditButtonClick();
    void CopyButtonClick();
    void DeleteButtonClick();
    void Button1Click(); ///< up
    void Button2Click(); ///< down
    void AllSelectButtonClick();
    void DeSellectButtonClick();
    void UpdateSelectButtonClick();
    void UploadSelectButtonClick();
    void NarSelectButtonClick();

    /// Shows a job in an editor: its kind first, so that the fields are enabled for it, then its values
    /// (the server values of the settings it connects with).
    void FillEditor(TCreateForm& editor, const TSettings& job);
    /// Takes the values of an editor closed with OK into a job, as typed. With the make-common flag the
    /// server values go into the common settings and the job's own stay empty.
    void ApplyEditor(TSettings& job, const TCreateForm& editor);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Runs an event handler; an error that escapes it is shown in an error box and the program goes on.
    void handle(const std::function<void()>& handler);
    void buildWindow();
    // The store's items as list rows, and back (before a save).
    void showStore();
    void storeItemsFromList();

    // The run of the ticked jobs behind Run and Preview.
    void runTicked(bool preview);
    // Commands that could harm a run in progress are disabled while it lasts; the status bar says so.
    void setRunning(bool running);
    // The status bar says the run is stopping, in place of its step.
    void showStopping();
    // The way back to the latest log window is offered while that window is hidden.
    void updateShowLogButton();
    // Swaps the selected item with its neighbour `step` rows away and keeps it selected.
    void moveSelected(int step);
    // Ticks exactly the items whose job is of `kind`.
    void tickKind(uint8_t kind);
    // The outer size limit, once the window system has told the frame's size.
    void applySizeLimits();

    JobStore store_;
    bool saved_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    TLogForm* runLog_ = nullptr;   // the log window of the run in progress
    TLogForm* shownLog_ = nullptr; // the latest run's log window, unless that run had it hidden
    QString runOutcome_;           // what the status bar says when the run is over
};
