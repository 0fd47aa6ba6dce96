#include "app/MainForm.h"
#include "Version.h"
#include "app/LogForm.h"
#include "editor/CreateForm.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "support/FixedClock.h"
#include "support/FtpServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/Unprivileged.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

TEST(MainForm, ShowsTheJobsWithTheirTicksAndSavesOnClose) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nNoLog=1\r\nSettingsCount=2\r\n[0]\r\nName=ゴースト\r\n"
                             "[1]\r\nName=second\r\nDefaultCheck=0\r\n");
    ScriptedPrompts prompts;
    {
        TMainForm form(dir / "quillon");
        EXPECT_EQ(form.windowTitle(), "Quillon");
        ASSERT_EQ(form.ProcessCheckList->count(), 2);
        EXPECT_EQ(form.ProcessCheckList->item(0)->text(), QString::fromUtf8("ゴースト"));
        EXPECT_EQ(form.ProcessCheckList->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(form.ProcessCheckList->item(1)->checkState(), Qt::Unchecked);
        EXPECT_EQ(form.ProcessCheckList->currentRow(), -1);
        EXPECT_EQ(form.JobAt(1)->Name, "second");
        EXPECT_FALSE(form.LogCheck->isChecked());
        EXPECT_TRUE(form.NoLogWindowCheck->isChecked());
        EXPECT_EQ(form.RunButton->text(), QString::fromUtf8("実行(&X)"));
        EXPECT_EQ(form.LogCheck->text(), QString::fromUtf8("ログ保存(&L)"));

        // The user's ticks of this run are not stored; the list order and the options are.
        form.ProcessCheckList->item(1)->setCheckState(Qt::Checked);
        form.LogCheck->setChecked(true);
        form.close();
    }
    EXPECT_TRUE(prompts.errors.empty());
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 2);
    EXPECT_TRUE(ini.ReadBool("General", "IsLog", false));
    EXPECT_EQ(ini.ReadString("0", "Name", ""), "ゴースト");
    EXPECT_FALSE(ini.ReadBool("1", "DefaultCheck", true));
}

TEST(MainForm, ImportFailuresNameTheFileAndTheReasonAndTheOtherFilesAreImported) {
    TempDir dir;
    dir.write("a.ini", "[General]\r\nName=a\r\n");
    std::string b = dir.write("b.ini", "[General]\r\nName=b\r\n");
    dir.write("c.ini", "[General]\r\nName=c\r\n");
    dir.write("a.in_", "[General]\r\nName=left over\r\n");
    UnreadableFile locked(b);
    ::chmod(dir.path().c_str(), 0777);
    ScriptedPrompts prompts;
    std::unique_ptr<TMainForm> form;
    {
        AsUnprivilegedUser nobody; // b.ini cannot be read, also by root
        form = std::make_unique<TMainForm>(dir / "quillon");
    }
    // One box, a paragraph per file.
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0],
              "ジョブ設定ファイル " + (dir / "a.ini") + " を取り込めませんでした（" + (dir / "a.in_") +
                  " がすでにあります）。" + (dir / "a.in_") +
                  " のジョブは取り込みました。Quillonを終了するときに " + (dir / "a.in_") +
                  " は削除されるので、そのまま残してある " + (dir / "a.ini") +
                  " は次に起動したときに取り込まれます。\n\nジョブ設定ファイル " + b +
                  " を読み込めないため、取り込みませんでした（" + UnreadableFile::Reason +
                  "）。このファイルはそのまま残してあります。読み込めるようにしてから、Quillonを起動し直して"
                  "ください。");
    ASSERT_EQ(form->ProcessCheckList->count(), 2);
    EXPECT_EQ(form->ProcessCheckList->item(0)->text(), "left over");
    EXPECT_EQ(form->ProcessCheckList->item(1)->text(), "c");
    EXPECT_TRUE(FileExists(dir / "a.ini"));
    EXPECT_TRUE(FileExists(b));
    EXPECT_TRUE(FileExists(dir / "c.in_"));
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(MainForm, ASettingsFileThatCannotBeWrittenAtExitOffersRetryAndCancel) {
    TempDir dir;
    // The main settings file is a link into a folder that is not there (yet).
    ASSERT_EQ(::symlink("settings/quillon.ini", (dir / "quillon.ini").c_str()), 0);
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    form.show();
    form.LogCheck->setChecked(true);

    // Cancel: the program stays open, nothing is lost or written.
    prompts.retryAnswers.push_back(false);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(prompts.retryQuestions.size(), 1u);
    EXPECT_EQ(prompts.retryQuestions[0],
              dir / "quillon.ini "
                    "に書き込めません（ファイルが見つかりません）。\nジョブの変更はまだ保存されていません。"
                    "ファイルの読み取り専用の設定、フォルダーの書き込み権限、ディスクの空き容量を確かめてから"
                    "［再試行］"
                    "を押してください。［キャンセル］を押すと、Quillonは終了せずにこのまま開いています。");
    EXPECT_TRUE(prompts.errors.empty());

    // Closing again: while the box is open the user makes the folder, then answers Retry.
    prompts.onRetryQuestion = [&](size_t n) {
        if (n == 3)
            dir.mkdir("settings");
    };
    prompts.retryAnswers = {true, true};
    form.ExitMenuClick();
    EXPECT_EQ(prompts.retryQuestions.size(), 3u);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(IniFile(dir / "settings/quillon.ini").ReadBool("General", "IsLog", false));
    EXPECT_TRUE(prompts.errors.empty());
}
#endif

TEST(MainForm, AnUnreadableMainSettingsFileStopsTheStartAndIsLeftIntact) {
    TempDir dir;
    const std::string original = "[General]\r\nSettingsCount=1\r\n[0]\r\nName=job\r\n";
    std::string main = dir.write("quillon.ini", original);
    UnreadableFile locked(main);
    ::chmod(dir.path().c_str(), 0777);
    ScriptedPrompts prompts;
    {
        std::unique_ptr<TMainForm> form;
        {
            AsUnprivilegedUser nobody;
            form = std::make_unique<TMainForm>(dir / "quillon");
        }
        ASSERT_EQ(prompts.errors.size(), 1u);
        EXPECT_EQ(prompts.errors[0],
                  "設定ファイル " + main + " を読み込めません（" + UnreadableFile::Reason +
                      "）。\nジョブを読み込まずに起動"
                      "しました。この設定ファイルを守るため、終了するときにも保存しません。ファイル"
                      "を読み込めるようにしてから、Quillonを起動し直してください。");
        EXPECT_EQ(form->ProcessCheckList->count(), 0);
        form->LogCheck->setChecked(true);
        EXPECT_TRUE(form->close()); // the program ends, saying that it does not save
    }
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.errors[1],
              "設定ファイル " + main +
                  " は起動したときに読み込めなかったので、上書きせずに終了します。この実行で行った"
                  "変更は保存されません。");
    EXPECT_TRUE(prompts.retryQuestions.empty());
    locked.release();
    EXPECT_EQ(ReadAll(main), original);
}

TEST(MainForm, ThreeThousandJobsStartAndClose) {
    // Measure with: build/tests/quillon_gui_tests --gtest_filter=MainForm.ThreeThousandJobs*
    TempDir dir;
    const int count = 3000;
    std::string text = "[General]\r\nSettingsCount=" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        text += "[" + std::to_string(i) + "]\r\nName=ゴースト" + std::to_string(i) +
                "\r\nSetting=Network\r\nServer=ftp.example\r\nID=user\r\nPassword=secret\r\nDirectory=/g/\r\n"
                "TargetFolder=C:\\ghost\\" +
                std::to_string(i) + "\\\r\nProcessName=*.txt,ghost/master/*.dic\r\n";
    dir.write("quillon.ini", text);
    ScriptedPrompts prompts;
    auto start = std::chrono::steady_clock::now();
    auto* form = new TMainForm(dir / "quillon");
    form->show();
    auto shown = std::chrono::steady_clock::now();
    EXPECT_TRUE(form->close());
    auto closed = std::chrono::steady_clock::now();
    delete form;
    double open = std::chrono::duration<double>(shown - start).count();
    double close = std::chrono::duration<double>(closed - shown).count();
    std::printf("%d jobs: window open %.3f s, close with save %.3f s\n", count, open, close);
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(IniFile(dir / "quillon.ini").ReadInteger("General", "SettingsCount", 0), count);
    EXPECT_LT(open + close, 5.0);
}

namespace {

// Receives what the program asks the shell to open, in place of the browser.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    explicit OpenedUrls(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(scheme_); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }

private:
    QString scheme_;
};

} // namespace

TEST(MainForm, AboutShowsTitleAndVersionOnOneLineAndOpensTheSiteOnYes) {
    TempDir dir;
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    OpenedUrls opened("https");
    prompts.answers.push_back(false);
    form.AboutMenu->trigger();
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].title, "情報");
    EXPECT_EQ(prompts.questions[0].text, "Quillon0.1.0.33\n開発元サイトを開きますか？");
    EXPECT_EQ(prompts.questions[0].icon, UserPrompts::Icon::Information);
    EXPECT_TRUE(opened.urls.isEmpty());
#ifndef _WIN32 // Windows opens it through the shell, out of the test's sight (and a browser would start)
    prompts.answers.push_back(true);
    form.AboutMenu->trigger();
    ASSERT_EQ(opened.urls.size(), 1);
    EXPECT_EQ(opened.urls[0], QUrl(QUILLON_SITE));
#endif
}

namespace {

// The settings of one archive-only job over `folder` (runs without a server).
std::string oneJob(const std::string& folder, bool ticked) {
    return "[General]\r\nSettingsCount=1\r\n[0]\r\nName=job\r\nSetting=NarCreate\r\nTargetFolder=" + folder +
           "\r\nProcessName=*.txt\r\nNarName=job.nar\r\nDefaultCheck=" + (ticked ? "1" : "0") + "\r\n";
}

QPlainTextEdit* logMemo(TMainForm& form, int index) {
    auto memos = form.findChildren<QPlainTextEdit*>("Memo1");
    return index < memos.size() ? memos[index] : nullptr;
}

// 8 December 2026, 04:05:09.
struct LogClock : FixedClock {
    LogClock() : FixedClock(LocalTime(2026, 12, 8, 4, 5, 9)) {}
};

} // namespace

TEST(RunLoopWindow, NoTickedJobShowsOnlyTheSummaryAndSavesIt) {
    TempDir dir;
    dir.write("quillon.ini", oneJob(dir.path(), false));
    ScriptedPrompts prompts;
    LogClock clock;
    TMainForm form(dir / "quillon");
    form.LogCheck->setChecked(true);
    form.RunButton->click();
    QPlainTextEdit* memo = logMemo(form, 0);
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->window()->isVisible());
    EXPECT_EQ(memo->window()->windowTitle(), QString::fromUtf8("ログ"));
    EXPECT_EQ(memo->toPlainText(), QString::fromUtf8("0項目実行 - 成功0 / 失敗0\n"));
    EXPECT_EQ(ReadAll(dir / "log/log20261208040509.log"),
              "0\x8D\x80\x96\xDA\x8E\xC0\x8D\x73 - \x90\xAC\x8C\xF7"
              "0 / \x8E\xB8\x94\x73"
              "0\r\n");

    // Text the user types is saved too.
    memo->appendPlainText("note");
    EXPECT_NE(ReadAll(dir / "log/log20261208040509.log").find("note"), std::string::npos);
    EXPECT_TRUE(prompts.errors.empty());
}

TEST(RunLoopWindow, HiddenWindowWritesJobLinesButNoSummary) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("quillon.ini", oneJob(dir.path(), true));
    ScriptedPrompts prompts;
    LogClock clock;
    TMainForm form(dir / "quillon");
    form.LogCheck->setChecked(true);
    form.NoLogWindowCheck->setChecked(true);
    form.RunButton->click();
    EXPECT_EQ(logMemo(form, 0), nullptr); // released after the run
    std::string file = ReadAll(dir / "log/log20261208040509.log");
    EXPECT_EQ(file.rfind("job\x8E\xC0\x8D\x73\x82\xB5\x82\xDC\x82\xB7\x81\x42\r\n", 0), 0u);
    EXPECT_NE(file.find("a.txt\r\n"), std::string::npos);
    EXPECT_EQ(file.find("0 / "), std::string::npos);
    EXPECT_EQ(form.JobAt(0)->LogLines, nullptr);

    // Hidden and nothing ticked: no line, so no file.
    TempDir other;
    other.write("quillon.ini", oneJob(other.path(), false));
    TMainForm quiet(other / "quillon");
    quiet.LogCheck->setChecked(true);
    quiet.NoLogWindowCheck->setChecked(true);
    quiet.RunButton->click();
    EXPECT_FALSE(std::filesystem::exists(other / "log"));
}

TEST(RunLoopWindow, CommandsAreRefusedWhileARunIsInProgress) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("quillon.ini", oneJob(dir.path(), true));
    struct DuringRun : ScriptedPrompts {
        TMainForm* form = nullptr;
        bool runEnabled = true, deleteEnabled = true, closed = false;
        int editors = 0;
        void ProcessMessages() override {
            runEnabled = form->RunButton->isEnabled();
            deleteEnabled = form->DeleteButton->isEnabled();
            // The list's double-click and the commands themselves are refused too.
            form->EditButtonClick();
            form->NewButtonClick();
            form->DeleteButtonClick();
            closed = !form->close(); // the user answers No: the run goes on, the window stays
        }
    } prompts;
    LogClock clock;
    auto* form = new TMainForm(dir / "quillon");
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->show();
    form->ShowEditor = [&prompts](TCreateForm&) { return ++prompts.editors > 0; };
    form->ProcessCheckList->setCurrentRow(0);
    prompts.form = form;
    form->RunButton->click();
    EXPECT_FALSE(prompts.runEnabled);
    EXPECT_FALSE(prompts.deleteEnabled);
    EXPECT_EQ(prompts.editors, 0);
    EXPECT_EQ(form->ProcessCheckList->count(), 1);
    EXPECT_TRUE(prompts.closed);
    ASSERT_FALSE(prompts.questions.empty());
    EXPECT_EQ(prompts.questions[0].title, "確認");
    EXPECT_EQ(prompts.questions[0].text, "実行中です。中止して終了しますか？");
    EXPECT_TRUE(prompts.questions[0].defaultNo);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->RunButton->isEnabled());
    EXPECT_EQ(ReadAll(dir / "quillon.ini").find("[FTP]"), std::string::npos); // not saved: no exit
    QPlainTextEdit* memo = logMemo(*form, 0);
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->toPlainText().endsWith(QString::fromUtf8("1項目実行 - 成功1 / 失敗0\n")));
    delete form;
}

TEST(RunLoopWindow, AnErrorLeavingAJobEndsTheRun) {
    TempDir dir;
    dir.write("a.txt", "a");
    // The base folder cannot take the archive's update list (a folder has its name): the error leaves
    // the job.
    dir.mkdir("updates2.dau");
    dir.write("quillon.ini",
              "[General]\r\nSettingsCount=2\r\n[0]\r\nName=first\r\nSetting=NarCreate\r\nTargetFolder=" +
                  dir.path() +
                  "\r\nProcessName=a.txt\r\nNarName=first.nar\r\n[1]\r\nName=second\r\nSetting=NarCreate\r\n"
                  "TargetFolder=" +
                  dir.path() + "\r\nProcessName=*.ini\r\n");
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    form.RunButton->click();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_NE(prompts.errors[0].find(dir / "updates2.dau"), std::string::npos) << prompts.errors[0];
    EXPECT_EQ(prompts.errors[0].back(), '.');
    QPlainTextEdit* memo = logMemo(form, 0);
    ASSERT_NE(memo, nullptr);
    QString text = memo->toPlainText();
    EXPECT_FALSE(text.contains(QString::fromUtf8("second")));   // later jobs do not run
    EXPECT_FALSE(text.contains(QString::fromUtf8("項目実行"))); // and there is no summary
    EXPECT_TRUE(form.RunButton->isEnabled());
}

#include "MainFormTest.moc"

TEST(RunLoopWindow, TheCancelButtonStopsTheRunAndTheSummaryCountsTheJobAsFailed) {
    TempDir dir;
    for (int i = 0; i < 5; ++i)
        dir.write("f" + std::to_string(i) + ".txt", "x");
    FtpServer server;
    std::string job =
        "Setting=Network\r\nServer=" + server.address() +
        "\r\nID=user\r\nPassword=secret\r\nPassive=1\r\nDirectory=pub\r\nTargetFolder=" + dir.path() +
        "\r\nProcessName=*.txt\r\n";
    dir.write("quillon.ini",
              "[General]\r\nSettingsCount=2\r\n[0]\r\nName=first\r\n" + job + "[1]\r\nName=second\r\n" + job);
    struct ClickingCancel : ScriptedPrompts {
        TMainForm* form = nullptr;
        bool barShown = false;
        void ProcessMessages() override {
            auto buttons = form->findChildren<QPushButton*>("CancelButton");
            if (buttons.isEmpty() || !buttons[0]->isVisibleTo(buttons[0]->window()))
                return;
            barShown = barShown || form->findChildren<QProgressBar*>("ProgressBar")[0]->isVisibleTo(form);
            if (buttons[0]->isEnabled())
                buttons[0]->click();
        }
    } prompts;
    TMainForm form(dir / "quillon");
    prompts.form = &form;
    form.RunButton->click();
    EXPECT_TRUE(prompts.barShown);
    QPlainTextEdit* memo = logMemo(form, 0);
    ASSERT_NE(memo, nullptr);
    QString text = memo->toPlainText();
    EXPECT_TRUE(text.contains(
        QString::fromUtf8("FTP接続が出来ませんでした。転送は行われません：ユーザーが中止しました。")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromUtf8("second実行します。")));
    EXPECT_TRUE(text.endsWith(QString::fromUtf8("1項目実行 - 成功0 / 失敗1\n"))) << text.toStdString();
    EXPECT_FALSE(form.findChildren<QPushButton*>("CancelButton")[0]->isVisibleTo(memo->window()));
    EXPECT_TRUE(server.commands().empty());
    EXPECT_TRUE(form.RunButton->isEnabled());
}

namespace {

// Two network update jobs over five files of `dir` against `server`.
std::string twoNetworkJobs(const FtpServer& server, const TempDir& dir) {
    std::string job =
        "Setting=Network\r\nServer=" + server.address() +
        "\r\nID=user\r\nPassword=secret\r\nPassive=1\r\nDirectory=pub\r\nTargetFolder=" + dir.path() +
        "\r\nProcessName=*.txt\r\n";
    return "[General]\r\nSettingsCount=2\r\n[0]\r\nName=first\r\n" + job + "[1]\r\nName=second\r\n" + job;
}

void fiveFiles(TempDir& dir) {
    for (int i = 0; i < 5; ++i)
        dir.write("f" + std::to_string(i) + ".txt", "x");
}

} // namespace

TEST(RunLoopWindow, ClosingTheLogWindowDuringARunLeavesTheWayBackAndTheCancelInTheStatusBar) {
    TempDir dir;
    fiveFiles(dir);
    FtpServer server;
    dir.write("quillon.ini", twoNetworkJobs(server, dir));
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    form.show();
    TLogForm* log = nullptr;
    std::vector<QString> states;
    bool reopened = false, cancelled = false, sawWayBackWhileClosed = false;
    prompts.onPump = [&](int) {
        QPlainTextEdit* memo = logMemo(form, 0);
        if (!memo)
            return;
        log = dynamic_cast<TLogForm*>(memo->window());
        ASSERT_NE(log, nullptr);
        states.push_back(form.RunStateLabel->text());
        if (log->isVisible() && !reopened) {
            EXPECT_FALSE(form.ShowLogButton->isVisible()); // nothing to bring back yet
            log->close();                                  // the user closes the log window
            EXPECT_FALSE(log->isVisible());
            sawWayBackWhileClosed = form.ShowLogButton->isVisible() && form.RunCancelButton->isVisible() &&
                                    form.RunProgressBar->isVisible();
            form.ShowLogButton->click(); // and brings it back
            EXPECT_TRUE(log->isVisible());
            EXPECT_FALSE(form.ShowLogButton->isVisible());
            log->close();
            reopened = true;
        } else if (reopened && !cancelled && states.size() >= 3) {
            form.RunCancelButton->click();
            cancelled = true;
            EXPECT_FALSE(form.RunCancelButton->isEnabled());
            EXPECT_EQ(form.RunStateLabel->text(), QString::fromUtf8("中止しています..."));
            EXPECT_FALSE(log->CancelButton->isEnabled()); // one request, shown in both places
        }
    };
    form.RunButton->click();
    EXPECT_TRUE(sawWayBackWhileClosed);
    EXPECT_TRUE(cancelled);
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states[0], QString::fromUtf8("実行中: ファイルリストを生成しています"));
    EXPECT_EQ(states[1], QString::fromUtf8("実行中: ファイルリストを生成しています 1"));
    ASSERT_NE(log, nullptr);
    QString text = log->Memo1->toPlainText();
    EXPECT_TRUE(text.contains(QString::fromUtf8("ユーザーが中止しました。"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromUtf8("second実行します。")));
    // The run is over: the status bar tells its outcome and still offers the log that holds it.
    EXPECT_EQ(form.RunStateLabel->text(), QString::fromUtf8("1項目実行 - 成功0 / 失敗1"));
    EXPECT_TRUE(text.endsWith(QString::fromUtf8("1項目実行 - 成功0 / 失敗1\n")));
    EXPECT_FALSE(form.RunCancelButton->isVisible());
    EXPECT_FALSE(form.RunProgressBar->isVisible());
    EXPECT_TRUE(form.ShowLogButton->isVisible());
    EXPECT_TRUE(form.RunButton->isEnabled());
    form.ShowLogButton->click();
    EXPECT_TRUE(log->isVisible());
    EXPECT_FALSE(form.ShowLogButton->isVisible());
    EXPECT_TRUE(server.commands().empty());
}

TEST(RunLoopWindow, WithTheLogHiddenTheStatusBarShowsTheStepAndCancels) {
    TempDir dir;
    fiveFiles(dir);
    FtpServer server;
    dir.write("quillon.ini", twoNetworkJobs(server, dir));
    ScriptedPrompts prompts;
    LogClock clock;
    TMainForm form(dir / "quillon");
    form.show();
    form.LogCheck->setChecked(true);
    form.NoLogWindowCheck->setChecked(true);
    std::vector<QString> states;
    bool offeredLog = false;
    prompts.onPump = [&](int pumps) {
        states.push_back(form.RunStateLabel->text());
        offeredLog = offeredLog || form.ShowLogButton->isVisible();
        EXPECT_TRUE(form.RunCancelButton->isVisible());
        if (pumps == 3)
            form.RunCancelButton->click();
    };
    form.RunButton->click();
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states[2], QString::fromUtf8("実行中: ファイルリストを生成しています 2"));
    EXPECT_FALSE(offeredLog); // no window to bring back
    EXPECT_EQ(form.RunStateLabel->text(), QString::fromUtf8("1項目実行 - 成功0 / 失敗1"));
    EXPECT_FALSE(form.ShowLogButton->isVisible());
    EXPECT_FALSE(form.RunCancelButton->isVisible());
    std::string file = ReadAll(dir / "log/log20261208040509.log");
    EXPECT_NE(file.find("\x83\x86\x81\x5B\x83\x55\x81\x5B\x82\xAA\x92\x86\x8E\x7E"), std::string::npos)
        << file; // ユーザーが中止 in CP932
    EXPECT_EQ(file.find("second"), std::string::npos);
}

TEST(RunLoopWindow, ExitDuringARunCancelsItOnYesAndClosesWhenTheJobHasStopped) {
    TempDir dir;
    fiveFiles(dir);
    FtpServer server;
    dir.write("quillon.ini", twoNetworkJobs(server, dir));
    ScriptedPrompts prompts;
    auto* form = new TMainForm(dir / "quillon");
    form->show();
    bool stillOpenAfterYes = false;
    prompts.onPump = [&](int pumps) {
        if (pumps == 2) {
            prompts.answers.push_back(true);
            form->ExitMenu->trigger();
            stillOpenAfterYes = form->isVisible(); // the job has yet to stop
        } else if (pumps == 3) {
            form->close(); // asked again: already on its way out, no second question
        }
    };
    form->RunButton->click();
    EXPECT_TRUE(stillOpenAfterYes);
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_EQ(prompts.questions[0].text, "実行中です。中止して終了しますか？");
    EXPECT_FALSE(form->isVisible());
    QPlainTextEdit* memo = logMemo(*form, 0);
    ASSERT_NE(memo, nullptr);
    QString text = memo->toPlainText();
    EXPECT_TRUE(text.contains(QString::fromUtf8("ユーザーが中止しました。"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QString::fromUtf8("second実行します。")));
    EXPECT_NE(ReadAll(dir / "quillon.ini").find("[FTP]"), std::string::npos); // saved on the way out
    delete form;
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(RunLoopWindow, AnExitTheFailedSaveTurnedDownIsNotTriedAgainAfterTheNextRun) {
    TempDir dir;
    dir.write("a.txt", "a");
    // The job comes from a job file; the main settings file links into a folder that is not there.
    dir.write("pack.ini", "[General]\r\nName=pack\r\nSetting=NarCreate\r\nTargetFolder=" + dir.path() +
                              "\r\nProcessName=*.txt\r\nNarName=" + dir / "out.nar" +
                              "\r\nDefaultCheck=1\r\n");
    ASSERT_EQ(::symlink("settings/quillon.ini", (dir / "quillon.ini").c_str()), 0);
    ScriptedPrompts prompts;
    TMainForm form(dir / "quillon");
    form.show();
    bool exited = false;
    prompts.onPump = [&](int) {
        if (!exited) {
            exited = true;
            prompts.answers.push_back(true); // yes, stop the run and exit
            form.ExitMenu->trigger();
        }
    };
    prompts.retryAnswers = {false}; // the save fails: Cancel keeps the program open
    form.RunButton->click();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(prompts.retryQuestions.size(), 1u);

    form.RunButton->click(); // a run with no exit asked ends as runs do
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(prompts.retryQuestions.size(), 1u);
}
#endif

TEST(RunLoopWindow, AltWithALetterNeverTypesIntoTheLog) {
    TempDir dir;
    dir.write("quillon.ini", oneJob(dir.path(), false));
    ScriptedPrompts prompts;
    LogClock clock;
    TMainForm form(dir / "quillon");
    form.show();
    form.LogCheck->setChecked(true);
    form.RunButton->click();
    QPlainTextEdit* memo = logMemo(form, 0);
    ASSERT_NE(memo, nullptr);
    memo->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(memo->window()));
    memo->setFocus();
    memo->moveCursor(QTextCursor::End);
    const QString before = memo->toPlainText();
    QTest::keyClick(memo, Qt::Key_L, Qt::AltModifier);
    QTest::keyClick(memo, Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(memo->toPlainText(), before);
    // What the user types on purpose goes in, and into the file.
    QTest::keyClicks(memo, "ok");
    EXPECT_EQ(memo->toPlainText(), before + "ok");
    EXPECT_NE(ReadAll(dir / "log/log20261208040509.log").find("\r\nok"), std::string::npos);
}

TEST(RunLoopWindow, PreviewRunsTheTickedJobsAndWritesNothing) {
    TempDir dir;
    dir.write("a.txt", "a");
    dir.write("quillon.ini", oneJob(dir.path(), true));
    ScriptedPrompts prompts;
    LogClock clock;
    auto* form = new TMainForm(dir / "quillon");
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    EXPECT_EQ(form->PreviewButton->text(), QString::fromUtf8("プレビュー(&W)"));
    // Its letter is its own: it acts at once.
    QTest::keyClick(form, Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logMemo(*form, 0) != nullptr; }));
    QTest::qWait(300); // the animated click ends before the run does
    const QString text = logMemo(*form, 0)->toPlainText();
    EXPECT_TRUE(
        text.contains(QString::fromUtf8("プレビューです。サーバーとローカルのファイルは何も変更しません。")));
    EXPECT_TRUE(text.contains(QString::fromUtf8("[プレビュー] ") + QString::fromStdString(dir / "job.nar") +
                              QString::fromUtf8("を生成します。収録ファイル1件、展開後の合計1バイトです。")))
        << text.toStdString();
    const QString summary = QString::fromUtf8(
        "プレビュー: 1項目 - 成功1 / 失敗0（サーバーとローカルのファイルは何も変更していません）");
    EXPECT_TRUE(text.endsWith(summary + "\n")) << text.toStdString();
    EXPECT_EQ(form->RunStateLabel->text(), summary);
    EXPECT_FALSE(std::filesystem::exists(dir / "job.nar"));
    EXPECT_FALSE(std::filesystem::exists(dir / "updates2.dau"));
    EXPECT_TRUE(form->PreviewButton->isEnabled());
    form->close();
    delete form;
}
