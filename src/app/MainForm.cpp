#include "MainForm.h"

#include "LogForm.h"
#include "Version.h"
#include "editor/CreateForm.h"
#include "platform/ProgramInfo.h"
#include "platform/UserPrompts.h"
#include "run/JobRunner.h"
#include "widgets/Accelerators.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int JobRole = Qt::UserRole + 1;

// The smallest outer size (frame included) the window may be given.
constexpr int MinOuterWidth = 200;
constexpr int MinOuterHeight = 410;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TMainForm::TMainForm(const std::string& exePath, QWidget* parent)
    : QMainWindow(parent), ShowEditor([this](TCreateForm& editor) {
          bool ok = editor.exec() == QDialog::Accepted;
          activateWindow(); // the keyboard comes back here also where no window manager hands it back
          return ok;
      }),
      store_(exePath) {
    buildWindow();
    handle([this] { FormCreate(); });
}

void TMainForm::buildWindow() {
    setWindowTitle("Quillon");
    QFont font(QString::fromUtf8("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);

    FileMenu = menuBar()->addMenu(QString::fromUtf8("ファイル(&F)"));
    AboutMenu = FileMenu->addAction(QString::fromUtf8("バージョン情報(&V)"));
    ExitMenu = FileMenu->addAction(QString::fromUtf8("終了"));
    ExitMenu->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(AboutMenu, &QAction::triggered, this, [this] { handle([this] { AboutMenuClick(); }); });
    connect(ExitMenu, &QAction::triggered, this, [this] { handle([this] { ExitMenuClick(); }); });

    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(4, 4, 4, 4);
    ProcessCheckList = new QListWidget(central);
    ProcessCheckList->setObjectName("ProcessCheckList");
    ProcessCheckList->setSelectionMode(QAbstractItemView::SingleSelection);
    row->addWidget(ProcessCheckList, 1);

    auto* column = new QVBoxLayout;
    auto button = [&](QPushButton*& field, const char* name, const char* caption) {
        field = new QPushButton(QString::fromUtf8(caption), central);
        field->setObjectName(name);
        column->addWidget(field);
    };
    button(NewButton, "NewButton", "新規作成...(&N)");
    button(EditButton, "EditButton", "編集...(&E)");
    button(CopyButton, "CopyButton", "コピー(&C)");
    button(DeleteButton, "DeleteButton", "削除(&D)");
    column->addSpacing(12);
    button(AllSelectButton, "AllSelectButton", "全選択(&A)");
    button(UpdateSelectButton, "UpdateSelectButton", "更新選択(&U)");
    button(UploadSelectButton, "UploadSelectButton", "アップ選択(&L)");
    button(NarSelectButton, "NarSelectButton", "NAR選択(&N)");
    button(DeSellectButton, "DeSellectButton", "選択解除(&S)");
    column->addSpacing(12);
    button(Button1, "Button1", "▲上へ(&P)");
    button(Button2, "Button2", "▼下へ(&O)");
    button(RunButton, "RunButton", "実行(&X)");
    button(PreviewButton, "PreviewButton", "プレビュー(&W)");
    LogCheck = new QCheckBox(QString::fromUtf8("ログ保存(&L)"), central);
    LogCheck->setObjectName("LogCheck");
    NoLogWindowCheck = new QCheckBox(QString::fromUtf8("ログ表示しない(&H)"), central);
    NoLogWindowCheck->setObjectName("NoLogWindowCheck");
    column->addWidget(LogCheck);
    column->addWidget(NoLogWindowCheck);
    column->addStretch(1);
    row->addLayout(column);
    setCentralWidget(central);

    auto command = [this](QPushButton* button, void (TMainForm::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { handle([this, handler] { (this->*handler)(); }); });
    };
    command(NewButton, &TMainForm::NewButtonClick);
    command(EditButton, &TMainForm::EditButtonClick);
    command(CopyButton, &TMainForm::CopyButtonClick);
    command(DeleteButton, &TMainForm::DeleteButtonClick);
    command(AllSelectButton, &TMainForm::AllSelectButtonClick);
    command(UpdateSelectButton, &TMainForm::UpdateSelectButtonClick);
    command(UploadSelectButton, &TMainForm::UploadSelectButtonClick);
    command(NarSelectButton, &TMainForm::NarSelectButtonClick);
    command(DeSellectButton, &TMainForm::DeSellectButtonClick);
    command(Button1, &TMainForm::Button1Click);
    command(Button2, &TMainForm::Button2Click);
    command(RunButton, &TMainForm::RunButtonClick);
    command(PreviewButton, &TMainForm::PreviewButtonClick);
    connect(ProcessCheckList, &QListWidget::itemDoubleClicked, this,
            [this] { handle([this] { EditButtonClick(); }); });

    StatusBar1 = new QStatusBar(this);
    setStatusBar(StatusBar1);
    // The run's state: its step on a line of its own (the window is narrow), then the bar and the buttons.
    auto* runPanel = new QWidget(StatusBar1);
    auto* panelRows = new QVBoxLayout(runPanel);
    panelRows->setContentsMargins(0, 0, 0, 0);
    panelRows->setSpacing(2);
    RunStateLabel = new QLabel(runPanel);
    RunStateLabel->setObjectName("RunStateLabel");
    RunStateLabel->setWordWrap(true);
    RunStateLabel->setMinimumWidth(1);
    panelRows->addWidget(RunStateLabel);
    auto* controls = new QHBoxLayout;
    RunProgressBar = new QProgressBar(runPanel);
    RunProgressBar->setObjectName("RunProgressBar");
    RunProgressBar->setTextVisible(false);
    ShowLogButton = new QPushButton(QString::fromUtf8("ログ表示(&G)"), runPanel);
    ShowLogButton->setObjectName("ShowLogButton");
    RunCancelButton = new QPushButton(QString::fromUtf8("中止(&T)"), runPanel);
    RunCancelButton->setObjectName("RunCancelButton");
    controls->addWidget(RunProgressBar, 1);
    controls->addWidget(ShowLogButton);
    controls->addWidget(RunCancelButton);
    panelRows->addLayout(controls);
    StatusBar1->addWidget(runPanel, 1);
    RunProgressBar->hide();
    ShowLogButton->hide();
    RunCancelButton->hide();
    command(ShowLogButton, &TMainForm::ShowLogButtonClick);
    command(RunCancelButton, &TMainForm::RunCancelButtonClick);

    // The client area (below the menu) starts at 292 by 560.
    resize(292, 560 + menuBar()->sizeHint().height());
    applySizeLimits();
    SharedAcceleratorsMoveFocus(this);
}

void TMainForm::applySizeLimits() {
    QSize frame = frameGeometry().size() - geometry().size();
    setMinimumSize(std::max(0, MinOuterWidth - frame.width()), std::max(0, MinOuterHeight - frame.height()));
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    applySizeLimits();
}

void TMainForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    applySizeLimits(); // a window manager tells the frame's size late, with a move
}

void TMainForm::handle(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        Prompts().ErrorBox(ErrorBoxText(e.what()));
    }
}

TSettings* TMainForm::JobAt(int row) const {
    return reinterpret_cast<TSettings*>(ProcessCheckList->item(row)->data(JobRole).value<quintptr>());
}

void TMainForm::AppendItem(TSettings* job, bool checked) {
    auto* item = new QListWidgetItem(q(job->Name), ProcessCheckList);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setData(JobRole, QVariant::fromValue(reinterpret_cast<quintptr>(job)));
}

int TMainForm::SelectedRow() const {
    QList<QListWidgetItem*> selected = ProcessCheckList->selectedItems();
    return selected.isEmpty() ? -1 : ProcessCheckList->row(selected.first());
}

void TMainForm::showStore() {
    ProcessCheckList->clear();
    for (const JobItem& item : store_.Items)
        AppendItem(item.Job, item.Checked);
    LogCheck->setChecked(store_.IsLog);
    NoLogWindowCheck->setChecked(store_.NoLog);
    ProcessCheckList->setCurrentRow(-1);
}

void TMainForm::FormCreate() {
    try {
        store_.Load();
    } catch (...) {
        showStore(); // the window opens with the jobs read so far
        throw;
    }
    showStore();
    // Files that could not be read or imported: named, with the reason and what to do, in one box.
    if (!store_.Problems.empty()) {
        std::string text;
        for (const std::string& problem : store_.Problems)
            text += (text.empty() ? "" : "\n\n") + problem;
        Prompts().ErrorBox(text);
    }
}

void TMainForm::storeItemsFromList() {
    store_.Items.clear();
    for (int row = 0; row < ProcessCheckList->count(); ++row) {
        QListWidgetItem* item = ProcessCheckList->item(row);
        store_.Items.push_back(
            JobItem{item->text().toStdString(), item->checkState() == Qt::Checked, JobAt(row)});
    }
    store_.IsLog = LogCheck->isChecked();
    store_.NoLog = NoLogWindowCheck->isChecked();
}

bool TMainForm::FormDestroy() {
    if (saved_)
        return true;
    storeItemsFromList();
    for (;;) {
        try {
            store_.Save();
        } catch (const ESaveRefused& e) {
            Prompts().ErrorBox(e.what()); // the file that could not be read stays as it is
        } catch (const std::exception& e) {
            // Never a silent loss: the user may fix the folder and retry, or stay in the program.
            if (Prompts().AskRetryCancel(
                    std::string(e.what()) +
                    "\nジョブの変更はまだ保存されていません。ファイルの読み取り専用の設定、"
                    "フォルダーの書き込み権限、ディスクの空き容量を確かめてから［再試行］を"
                    "押してください。［キャンセル］を押すと、Quillonは終了せずにこのまま"
                    "開いています。"))
                continue;
            return false;
        }
        saved_ = true;
        return true;
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The window closes once the job has stopped; a run left to go on keeps the window.
        event->ignore();
        if (!closeAfterRun_ && Prompts().AskYesNo("確認", "実行中です。中止して終了しますか？",
                                                  UserPrompts::Icon::Warning, true)) {
            closeAfterRun_ = true;
            RunCancelButtonClick();
        }
        return;
    }
    if (!FormDestroy()) {
        event->ignore(); // the settings could not be written and the user chose to stay
        return;
    }
    event->accept();
}

void TMainForm::setRunning(bool running) {
    running_ = running;
    for (QPushButton* b :
         {NewButton, EditButton, CopyButton, DeleteButton, Button1, Button2, RunButton, PreviewButton})
        b->setEnabled(!running);
    if (running) {
        runOutcome_.clear();
        RunStateLabel->setText(QString::fromUtf8("実行中"));
        RunProgressBar->setRange(0, 0);
        RunCancelButton->setEnabled(true);
    } else {
        RunStateLabel->setText(runOutcome_);
    }
    RunStateLabel->setToolTip({});
    RunProgressBar->setVisible(running);
    RunCancelButton->setVisible(running);
    updateShowLogButton();
    if (!running && closeAfterRun_) {
        closeAfterRun_ = false; // once: a close the failed save turned down is not tried again later
        close();
    }
}

void TMainForm::Show(const RunProgress& progress) {
    if (runLog_)
        runLog_->Show(progress);
    if (!RunCancelButton->isEnabled())
        return; // the label says that the run is stopping
    const QString text = QString::fromUtf8("実行中: ") + ProgressText(progress);
    RunStateLabel->setText(text);
    RunStateLabel->setToolTip(text);
    ShowProgressOn(RunProgressBar, progress);
}

void TMainForm::showStopping() {
    RunCancelButton->setEnabled(false);
    RunStateLabel->setText(QString::fromUtf8("中止しています..."));
}

void TMainForm::RunCancelButtonClick() {
    if (!running_)
        return;
    RequestCancel();
    if (runLog_)
        runLog_->ShowStopping();
    showStopping();
}

void TMainForm::ShowLogButtonClick() {
    if (!shownLog_)
        return;
    shownLog_->show();
    shownLog_->raise();
    shownLog_->activateWindow();
}

void TMainForm::updateShowLogButton() {
    ShowLogButton->setVisible(shownLog_ && !shownLog_->isVisible());
}

void TMainForm::RunButtonClick() {
    runTicked(false);
}

void TMainForm::PreviewButtonClick() {
    runTicked(true);
}

void TMainForm::runTicked(bool preview) {
    if (running_)
        return;
    auto* log = new TLogForm(store_.ProgramFolder(), this);
    log->Document().SaveFlag = LogCheck->isChecked();
    const bool hidden = NoLogWindowCheck->isChecked();
    // Only the latest run's window is offered back; with the log hidden there is none to offer.
    if (shownLog_)
        shownLog_->VisibilityChanged = nullptr;
    shownLog_ = hidden ? nullptr : log;
    if (!hidden) {
        log->VisibilityChanged = [this] { updateShowLogButton(); };
        log->show();
    }
    connect(log->CancelButton, &QPushButton::clicked, this, [this] { showStopping(); });
    struct RunningScope {
        TMainForm* form;
        TLogForm* log;
        ~RunningScope() {
            if (log)
                log->EndRun();
            form->runLog_ = nullptr;
            form->setRunning(false);
        }
    } scope{this, log};
    runLog_ = log;
    // The run's progress comes here, and its cancel flag is the run's own.
    RunContext context(nullptr, this);
    setRunning(true);
    log->BeginRun();
    RunCounts counts = RunJobs(
        ProcessCheckList->count(),
        [this](int row) -> TSettings* {
            if (row >= ProcessCheckList->count() || ProcessCheckList->item(row)->checkState() != Qt::Checked)
                return nullptr;
            return JobAt(row);
        },
        *log, preview);
    runOutcome_ = QString::fromStdString(SummaryLine(counts, preview));
    if (hidden) {
        for (int row = 0; row < ProcessCheckList->count(); ++row)
            if (JobAt(row)->LogLines == log)
                JobAt(row)->LogLines = nullptr; // no job may keep a released window
        scope.log = nullptr;
        runLog_ = nullptr;
        delete log;
        return;
    }
    log->Add(SummaryLine(counts, preview));
}

void TMainForm::AboutMenuClick() {
    std::string text = QApplication::applicationName().toStdString() + ProgramFileVersion() + "\n" +
                       "開発元サイトを開きますか？";
    if (Prompts().AskYesNo("情報", text, UserPrompts::Icon::Information, false) &&
        !OpenWithShell(QUILLON_SITE))
        QDesktopServices::openUrl(QUrl(QString::fromUtf8(QUILLON_SITE)));
}

void TMainForm::ExitMenuClick() {
    close();
}

void TMainForm::NewButtonClick() {
    if (running_)
        return;
    TCreateForm editor(this);
    if (!ShowEditor(editor))
        return;
    TSettings* job = store_.CreateJob();
    ApplyEditor(*job, editor);
    AppendItem(job, false);
}

void TMainForm::EditButtonClick() {
    int row = SelectedRow();
    if (running_ || row < 0)
        return;
    TSettings* job = JobAt(row);
    TCreateForm editor(this);
    FillEditor(editor, *job);
    if (!ShowEditor(editor))
        return;
    ApplyEditor(*job, editor);
    QListWidgetItem* item = ProcessCheckList->item(row);
    if (item->text() != q(job->Name))
        item->setText(q(job->Name));
}

void TMainForm::CopyButtonClick() {
    int row = SelectedRow();
    if (running_ || row < 0)
        return;
    TSettings* copy = store_.CreateJob();
    copy->CopyFrom(*JobAt(row));
    copy->CommonFTP = &store_.CommonFTP;
    AppendItem(copy, false);
}

void TMainForm::DeleteButtonClick() {
    int row = SelectedRow();
    if (running_ || row < 0)
        return;
    delete ProcessCheckList->takeItem(row); // the job itself lives on with the store, unsaved
    ProcessCheckList->setCurrentRow(-1);
    ProcessCheckList->clearSelection();
}

void TMainForm::moveSelected(int step) {
    int row = SelectedRow();
    int target = row + step;
    if (running_ || row < 0 || target < 0 || target >= ProcessCheckList->count())
        return;
    // The item carries its caption, tick and job together.
    QListWidgetItem* item = ProcessCheckList->takeItem(row);
    ProcessCheckList->insertItem(target, item);
    ProcessCheckList->setCurrentRow(target);
}

void TMainForm::Button1Click() {
    moveSelected(-1);
}

void TMainForm::Button2Click() {
    moveSelected(1);
}

void TMainForm::AllSelectButtonClick() {
    for (int row = 0; row < ProcessCheckList->count(); ++row)
        ProcessCheckList->item(row)->setCheckState(Qt::Checked);
}

void TMainForm::DeSellectButtonClick() {
    for (int row = 0; row < ProcessCheckList->count(); ++row)
        ProcessCheckList->item(row)->setCheckState(Qt::Unchecked);
}

void TMainForm::tickKind(uint8_t kind) {
    for (int row = 0; row < ProcessCheckList->count(); ++row)
        ProcessCheckList->item(row)->setCheckState(JobAt(row)->Kind == kind ? Qt::Checked : Qt::Unchecked);
}

void TMainForm::UpdateSelectButtonClick() {
    tickKind(TSettings::Network);
}

void TMainForm::UploadSelectButtonClick() {
    tickKind(TSettings::Upload);
}

void TMainForm::NarSelectButtonClick() {
    tickKind(TSettings::NarCreate);
}

void TMainForm::FillEditor(TCreateForm& editor, const TSettings& job) {
    editor.SetValues(TJobFormValues::Of(job));
}

void TMainForm::ApplyEditor(TSettings& job, const TCreateForm& editor) {
    editor.Values().ApplyTo(job, store_.CommonFTP);
}
