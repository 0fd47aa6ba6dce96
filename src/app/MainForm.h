#pragma once

#include "JobStore.h"

#include <QMainWindow>

#include <functional>

class QCheckBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStatusBar;
class QMenu;
class QAction;

/// The main window: the job list with its commands, the Run button and the two log options.
class TMainForm : public QMainWindow {
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
    QCheckBox* LogCheck;
    QCheckBox* NoLogWindowCheck;
    QStatusBar* StatusBar1;
    QMenu* FileMenu;
    QAction* AboutMenu;
    QAction* ExitMenu;

    JobStore& Store() { return store_; }

    /// The job of a list row, and the number of rows.
    TSettings* JobAt(int row) const;
    /// Appends a row for `job` with its name as caption.
    void AppendItem(TSettings* job, bool checked);

    void FormCreate();
    void FormDestroy();
    void RunButtonClick();
    void AboutMenuClick();
    void ExitMenuClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs an event handler; an error that escapes it is shown in an error box and the program goes on.
    void handle(const std::function<void()>& handler);
    void buildWindow();
    // The store's items as list rows, and back (before a save).
    void showStore();
    void storeItemsFromList();

    // Commands that could harm a run in progress are disabled while it lasts.
    void setRunning(bool running);

    JobStore store_;
    bool saved_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
};
