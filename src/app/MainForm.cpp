#include "MainForm.h"

#include "JobRunner.h"
#include "LogForm.h"
#include "Version.h"
#include "platform/UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int JobRole = Qt::UserRole + 1;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

TMainForm::TMainForm(const std::string& exePath, QWidget* parent) : QMainWindow(parent), store_(exePath) {
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
    LogCheck = new QCheckBox(QString::fromUtf8("ログ保存(&L)"), central);
    LogCheck->setObjectName("LogCheck");
    NoLogWindowCheck = new QCheckBox(QString::fromUtf8("ログ表示しない(&H)"), central);
    NoLogWindowCheck->setObjectName("NoLogWindowCheck");
    column->addWidget(LogCheck);
    column->addWidget(NoLogWindowCheck);
    column->addStretch(1);
    row->addLayout(column);
    setCentralWidget(central);

    connect(RunButton, &QPushButton::clicked, this, [this] { handle([this] { RunButtonClick(); }); });

    StatusBar1 = new QStatusBar(this);
    setStatusBar(StatusBar1);

    resize(292, 560 + menuBar()->sizeHint().height());
    setMinimumSize(200, 410);
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

void TMainForm::FormDestroy() {
    if (saved_)
        return;
    saved_ = true;
    storeItemsFromList();
    try {
        store_.Save();
    } catch (const std::exception& e) {
        Prompts().ErrorBox(e.what());
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (running_) {
        closeAfterRun_ = true; // the run keeps going; the window closes when it ends
        event->ignore();
        return;
    }
    FormDestroy();
    event->accept();
}

void TMainForm::setRunning(bool running) {
    running_ = running;
    for (QPushButton* b : {NewButton, EditButton, CopyButton, DeleteButton, Button1, Button2, RunButton})
        b->setEnabled(!running);
    if (!running && closeAfterRun_)
        close();
}

void TMainForm::RunButtonClick() {
    if (running_)
        return;
    auto* log = new TLogForm(store_.ProgramFolder(), this);
    log->Document().SaveFlag = LogCheck->isChecked();
    const bool hidden = NoLogWindowCheck->isChecked();
    if (!hidden)
        log->show();
    struct RunningScope {
        TMainForm* form;
        ~RunningScope() { form->setRunning(false); }
    } scope{this};
    setRunning(true);
    RunCounts counts = RunJobs(
        ProcessCheckList->count(),
        [this](int row) -> TSettings* {
            if (row >= ProcessCheckList->count() || ProcessCheckList->item(row)->checkState() != Qt::Checked)
                return nullptr;
            return JobAt(row);
        },
        *log);
    if (hidden) {
        for (int row = 0; row < ProcessCheckList->count(); ++row)
            if (JobAt(row)->LogLines == log)
                JobAt(row)->LogLines = nullptr; // no job may keep a released window
        delete log;
        return;
    }
    log->Add(SummaryLine(counts));
}

void TMainForm::AboutMenuClick() {
    std::string text =
        QApplication::applicationName().toStdString() + QUILLON_VERSION + "\n" + "開発元サイトを開きますか？";
    if (Prompts().AskYesNo("情報", text, UserPrompts::Icon::Information))
        QDesktopServices::openUrl(QUrl(QString::fromUtf8(QUILLON_SITE)));
}

void TMainForm::ExitMenuClick() {
    close();
}
