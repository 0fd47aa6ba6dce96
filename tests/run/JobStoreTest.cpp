#include "run/JobStore.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string jobFile(const std::string& name, bool check) {
    return "[General]\r\nName=" + name + "\r\nDefaultCheck=" + (check ? "1" : "0") + "\r\n";
}

std::string mainFile(int count) {
    std::string text =
        "[FTP]\r\nServer=ftp.example\r\nPassword=pw\r\nSSL=1\r\n[General]\r\nIsLog=1\r\nSettingsCount=" +
        std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i)
        text += "[" + std::to_string(i) + "]\r\nName=job" + std::to_string(i) +
                "\r\nDefaultCheck=" + (i == 1 ? "0" : "1") + "\r\n";
    return text;
}

std::vector<std::string> captions(const JobStore& store) {
    std::vector<std::string> c;
    for (const JobItem& item : store.Items)
        c.push_back(item.Caption + (item.Checked ? "+" : "-"));
    return c;
}

} // namespace

TEST(JobStore, FreshFolderStartsEmptyAndSaveCreatesTheDefaults) {
    TempDir dir;
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_TRUE(store.Items.empty());
    EXPECT_FALSE(store.IsLog);
    EXPECT_FALSE(store.NoLog);
    store.Save();
    EXPECT_EQ(ReadAll(dir / "quillon.ini"), "[FTP]\r\nServer=\r\nID=\r\nPassword=\r\nPassive=0\r\nSSL="
                                            "0\r\nConnections=4\r\nExplicitTLS=0\r\nCertFingerprint=\r\n"
                                            "[General]\r\nIsLog=0\r\nNoLog=0\r\nSettingsCount=0\r\n");
}

TEST(JobStore, ImportsJobFilesAfterTheMainJobsAndSavesThemAll) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(3));
    dir.write("B.ini", jobFile("B", false));
    dir.write("a.ini", jobFile("a", true));
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "job1-", "job2+", "a+", "B-"}));
    EXPECT_EQ(store.CommonFTP.Server, "ftp.example");
    EXPECT_EQ(store.CommonFTP.EnteredPassword, "pw");
    EXPECT_TRUE(store.CommonFTP.SSL);
    EXPECT_TRUE(store.IsLog);
    for (const JobItem& item : store.Items)
        EXPECT_EQ(item.Job->CommonFTP, &store.CommonFTP);
    // While the program runs the imported files wait under ".in_"; the main file keeps its name.
    EXPECT_TRUE(FileExists(dir / "a.in_"));
    EXPECT_TRUE(FileExists(dir / "B.in_"));
    EXPECT_FALSE(FileExists(dir / "a.ini"));
    EXPECT_TRUE(FileExists(dir / "quillon.ini"));
    EXPECT_FALSE(FileExists(dir / "quillon.in_"));

    store.Save();
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 5);
    EXPECT_EQ(ini.ReadString("3", "Name", ""), "a");
    EXPECT_EQ(ini.ReadString("4", "Name", ""), "B");
    EXPECT_EQ(ini.ReadString("FTP", "Password", ""), "pw");
    EXPECT_FALSE(FileExists(dir / "a.in_"));
    EXPECT_FALSE(FileExists(dir / "B.in_"));
}

TEST(JobStore, MoreJobsCountedThanSectionsGiveDefaultJobs) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nSettingsCount=2\r\n[0]\r\nName=only\r\n");
    JobStore store(dir / "quillon");
    store.Load();
    ASSERT_EQ(store.Items.size(), 2u);
    EXPECT_EQ(store.Items[1].Caption, "");
    EXPECT_TRUE(store.Items[1].Checked);
    EXPECT_EQ(store.Items[1].Job->Kind, TSettings::Network);
    EXPECT_EQ(store.Items[1].Job->TargetFolder, ExtractFilePath(ExecutablePath()));
}

TEST(JobStore, ShortenedListLeavesOldSectionsBeyondTheCount) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(5));
    JobStore store(dir / "quillon");
    store.Load();
    store.Items.resize(2);
    store.Save();
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadInteger("General", "SettingsCount", 0), 2);
    EXPECT_EQ(ini.ReadString("4", "Name", ""), "job4");

    JobStore again(dir / "quillon");
    again.Load();
    EXPECT_EQ(again.Items.size(), 2u);
}

TEST(JobStore, AJobFileThatCannotMoveIsNamedAndTheOthersAreImported) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(1));
    dir.write("a.ini", jobFile("a", true));
    dir.write("b.ini", jobFile("b", true));
    dir.write("c.ini", jobFile("c", true));
    // A killed run left b.in_ behind with another job (imported again), so b.ini cannot move.
    dir.write("b.in_", jobFile("b-old", true));
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "b-old+", "a+", "c+"}));
    ASSERT_EQ(store.Problems.size(), 1u);
    EXPECT_EQ(store.Problems[0], "ジョブ設定ファイル " + (dir / "b.ini") + " を取り込めませんでした（" +
                                     (dir / "b.in_") + " がすでにあります）。" + (dir / "b.in_") +
                                     " のジョブは取り込みました。Quillonを終了するときに " + (dir / "b.in_") +
                                     " は削除されるので、そのまま残してある " + (dir / "b.ini") +
                                     " は次に起動したときに取り込まれます。");
    EXPECT_TRUE(FileExists(dir / "b.ini"));
    EXPECT_TRUE(FileExists(dir / "quillon.ini"));
    store.Save();
    EXPECT_FALSE(FileExists(dir / "b.in_"));

    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_TRUE(next.Problems.empty());
    EXPECT_EQ(captions(next), (std::vector<std::string>{"job0+", "b-old+", "a+", "c+", "b+"}));
}

TEST(JobStore, AJobFileThatCannotBeReadStaysAndIsNamed) {
    TempDir dir;
    dir.write("a.ini", jobFile("a", true));
    std::string b = dir.write("b.ini", jobFile("b", true));
    dir.write("c.ini", jobFile("c", true));
    UnreadableFile locked(b);
    ::chmod(dir.path().c_str(), 0777);
    JobStore store(dir / "quillon");
    {
        AsUnprivilegedUser nobody;
        store.Load();
    }
    EXPECT_EQ(captions(store), (std::vector<std::string>{"a+", "c+"}));
    ASSERT_EQ(store.Problems.size(), 1u);
    EXPECT_EQ(store.Problems[0],
              "ジョブ設定ファイル " + b + " を読み込めないため、取り込みませんでした（" +
                  UnreadableFile::Reason +
                  "）。このファイルはそのまま残してあります。読み込めるようにしてから、Quillonを"
                  "起動し直してください。");
    EXPECT_TRUE(FileExists(b));
    store.Save();
    EXPECT_TRUE(FileExists(b)); // not taken for an empty job, and not deleted
    locked.release();
    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(captions(next), (std::vector<std::string>{"a+", "c+", "b+"}));
}

TEST(JobStore, AnUnreadableMainFileIsNamedAndNeverOverwritten) {
    TempDir dir;
    const std::string original = mainFile(2);
    std::string main = dir.write("quillon.ini", original);
    dir.write("a.ini", jobFile("a", true));
    UnreadableFile locked(main);
    ::chmod(dir.path().c_str(), 0777);
    JobStore store(dir / "quillon");
    {
        AsUnprivilegedUser nobody;
        store.Load();
    }
    EXPECT_TRUE(store.Items.empty());
    EXPECT_TRUE(store.SaveRefused());
    ASSERT_EQ(store.Problems.size(), 1u);
    EXPECT_EQ(store.Problems[0],
              "設定ファイル " + main + " を読み込めません（" + UnreadableFile::Reason +
                  "）。\nジョブを読み込まずに起動"
                  "しました。この設定ファイルを守るため、終了するときにも保存しません。ファイルを"
                  "読み込めるようにしてから、Quillonを起動し直してください。");
    // Nothing imported either: the job file waits for a start that can hold it.
    EXPECT_TRUE(FileExists(dir / "a.ini"));
    store.Items.push_back({"new", true, store.CreateJob()});
    try {
        store.Save();
        ADD_FAILURE() << "the unreadable file was overwritten";
    } catch (const ESaveRefused& e) {
        EXPECT_EQ(std::string(e.what()),
                  "設定ファイル " + main +
                      " は起動したときに読み込めなかったので、上書きせずに終了します。この実行で"
                      "行った変更は保存されません。");
    }
    locked.release();
    EXPECT_EQ(ReadAll(main), original);
    EXPECT_TRUE(FileExists(dir / "a.ini"));

    // A folder of that name cannot be read either.
    TempDir other;
    other.mkdir("quillon.ini");
    JobStore folder(other / "quillon");
    folder.Load();
    ASSERT_EQ(folder.Problems.size(), 1u);
    EXPECT_NE(folder.Problems[0].find("（ファイルではなくフォルダーです）"), std::string::npos);
    EXPECT_THROW(folder.Save(), ESaveRefused);
    EXPECT_TRUE(DirectoryExists(other / "quillon.ini"));
}

TEST(JobStore, KilledRunLosesNoJob) {
    TempDir dir;
    // An earlier version, killed during start-up, left the main file under its ".in_" name and a job file
    // already moved.
    dir.write("quillon.in_", mainFile(2));
    dir.write("x.in_", jobFile("x", false));
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "job1-", "x-"}));
    EXPECT_TRUE(FileExists(dir / "quillon.ini"));
    store.Save();
    EXPECT_FALSE(FileExists(dir / "x.in_"));
    EXPECT_EQ(IniFile(dir / "quillon.ini").ReadString("2", "Name", ""), "x");
}

TEST(JobStore, FileWithoutGeneralSectionIsAnEmptyJob) {
    TempDir dir;
    dir.write("notes.ini", "[Other]\r\nx=1\r\n");
    JobStore store(dir / "quillon");
    store.Load();
    ASSERT_EQ(store.Items.size(), 1u);
    EXPECT_EQ(store.Items[0].Caption, "");
    EXPECT_TRUE(store.Items[0].Checked);
    store.Save();
    EXPECT_FALSE(PathExists(dir / "notes.in_"));
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(JobStore, FailedSaveKeepsTheImportedFilesAndCanBeRetried) {
    TempDir dir;
    dir.write("a.ini", jobFile("a", true));
    // The main settings file is a link into a folder that is not there: it cannot be written.
    ASSERT_EQ(::symlink("settings/quillon.ini", (dir / "quillon.ini").c_str()), 0);
    JobStore store(dir / "quillon");
    store.Load();
    ASSERT_EQ(store.Items.size(), 1u);
    try {
        store.Save();
        FAIL() << "save reported success";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), dir / "quillon.ini に書き込めません（ファイルが見つかりません）。");
    }
    EXPECT_TRUE(FileExists(dir / "a.in_"));
    dir.mkdir("settings");
    store.Save();
    EXPECT_EQ(IniFile(dir / "quillon.ini").ReadString("0", "Name", ""), "a");
    EXPECT_FALSE(FileExists(dir / "a.in_"));
}
#endif

TEST(JobStore, SavedPasswordIsTheStoredOneNotTheTypedOne) {
    TempDir dir;
    JobStore store(dir / "quillon");
    store.Load();
    TSettings* job = store.CreateJob();
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->OwnFTP->EnteredPassword = "typed";
    store.Items.push_back({"j", true, job});
    store.CommonFTP.EnteredPassword = "typed too";
    store.Save();
    IniFile ini(dir / "quillon.ini");
    EXPECT_EQ(ini.ReadString("0", "Password", "x"), "");
    EXPECT_EQ(ini.ReadString("FTP", "Password", "x"), "");
}

namespace {

// A program killed at a point: the hooks stop the sequence there, as a kill would.
struct Killed {};

// The points of one run at which a kill can fall, counted, with a kill at the `killAt`-th (0: never):
// after each step, before each change of a file, and in the middle of each move (its hard link made, the
// old name not yet removed: what a move in two steps leaves) and of each write (its temporary file made,
// not yet renamed).
class KillSwitch {
public:
    explicit KillSwitch(int killAt) : killAt_(killAt) {}

    void attach(JobStore& store) {
        store.OnStep = [this](const std::string&) { point(); };
        store.BeforeFileChange = [this](const JobStore::FileChange& change) {
            point();
            if (change.kind == JobStore::FileChange::Remove || ++points_ != killAt_)
                return;
            if (change.kind == JobStore::FileChange::Move)
                std::filesystem::create_hard_link(std::filesystem::u8path(change.path),
                                                  std::filesystem::u8path(change.to));
            else
                WriteFileBytes(change.path + ".tmp99999", "[FTP]\r\nPassword=secret\r\n[0]\r\nNa");
            throw Killed{};
        };
    }
    int points() const { return points_; }

private:
    void point() {
        if (++points_ == killAt_)
            throw Killed{};
    }

    int killAt_;
    int points_ = 0;
};

// What the user does in one program run between start-up and close.
using UserActions = std::function<void(JobStore&)>;

// One program run in `dir`: start-up, the user's actions, close; killed at its `killAt`-th point (0:
// never). Returns the number of points the run went through.
int runKilledAt(const TempDir& dir, int killAt, const UserActions& actions = {}) {
    JobStore store(dir / "quillon");
    KillSwitch kill(killAt);
    kill.attach(store);
    try {
        store.Load();
        if (actions)
            actions(store);
        store.Save();
    } catch (const Killed&) {
    }
    return kill.points();
}

std::vector<std::string> sortedCaptions(const JobStore& store) {
    std::vector<std::string> c;
    for (const JobItem& item : store.Items)
        c.push_back(item.Caption);
    std::sort(c.begin(), c.end());
    return c;
}

void setUpImport(const TempDir& dir) {
    dir.write("quillon.ini", mainFile(2));
    dir.write("a.ini", jobFile("a", true));
    dir.write("b.ini", jobFile("b", false));
}

// The next two runs find every job once, say nothing, and leave the main file alone in the folder.
void expectEveryJobOnce(const TempDir& dir, const std::vector<std::string>& all, const std::string& where) {
    for (int run = 0; run < 2; ++run) {
        JobStore next(dir / "quillon");
        next.Load();
        EXPECT_EQ(sortedCaptions(next), all) << where << ", next run " << run;
        EXPECT_EQ(next.Problems, std::vector<std::string>()) << where << ", next run " << run;
        next.Save();
    }
    std::vector<DirEntry> entries;
    ListDirectory(dir.path(), entries);
    EXPECT_EQ(entries.size(), 1u) << where << ": files left beside the main file";
}

} // namespace

TEST(JobStore, ImportedJobsAreTakenExactlyOnceWhereverARunIsKilled) {
    int total = 0;
    {
        TempDir dir;
        setUpImport(dir);
        total = runKilledAt(dir, 0);
    }
    // Every step of start-up and save, with both halves of the two moves and the two writes.
    ASSERT_GE(total, 14);
    for (int killAt = 1; killAt <= total; ++killAt) {
        TempDir dir;
        setUpImport(dir);
        runKilledAt(dir, killAt);
        expectEveryJobOnce(dir, {"a", "b", "job0", "job1"}, "killed at point " + std::to_string(killAt));
    }
}

TEST(JobStore, ARecordThatOutlivedItsFileNeverCostsAJobWhereverRunsAreKilled) {
    // Import a.ini, delete job a, close; drop the same a.ini in again; start and close. Whatever points
    // the two runs are killed at (each, or both), the next runs hold job a once (the second import) and
    // every other job.
    const UserActions deleteA = [](JobStore& store) {
        store.Items.erase(std::remove_if(store.Items.begin(), store.Items.end(),
                                         [](const JobItem& item) { return item.Caption == "a"; }),
                          store.Items.end());
    };
    int firstRun = 0;
    {
        TempDir dir;
        dir.write("a.ini", jobFile("a", true));
        firstRun = runKilledAt(dir, 0, deleteA);
    }
    ASSERT_GE(firstRun, 8);
    int cases = 0;
    for (int first = 0; first <= firstRun; ++first)
        for (int second = 0;; ++second) {
            TempDir dir;
            dir.write("quillon.ini", mainFile(2));
            dir.write("a.ini", jobFile("a", true));
            runKilledAt(dir, first, deleteA);
            dir.write("a.ini", jobFile("a", true));
            int points = runKilledAt(dir, second);
            expectEveryJobOnce(dir, {"a", "job0", "job1"},
                               "first run killed at point " + std::to_string(first) + ", second at " +
                                   std::to_string(second));
            ++cases;
            if (second > points)
                break;
        }
    EXPECT_GE(cases, 80);
}

TEST(JobStore, AMoveCutBetweenItsTwoStepsIsOneJob) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(1));
    // A kill between the link and the unlink of a move left both names with the same bytes.
    dir.write("a.ini", jobFile("a", true));
    dir.write("a.in_", jobFile("a", true));
    // The same name with other bytes is another job.
    dir.write("b.ini", jobFile("b", true));
    dir.write("b.in_", jobFile("b-old", true));
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "a+", "b-old+"}));
    EXPECT_FALSE(FileExists(dir / "a.ini"));
    ASSERT_EQ(store.Problems.size(), 1u);
    EXPECT_NE(store.Problems[0].find(dir / "b.ini"), std::string::npos);
    store.Save();
    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(captions(next), (std::vector<std::string>{"job0+", "a+", "b-old+", "b+"}));
}

TEST(JobStore, TemporaryFilesAKilledSaveLeftAreRemovedAtStartUp) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(1));
    dir.write("quillon.ini.tmp4242", "[FTP]\r\nPassword=secret\r\n");
    dir.write("quillon.ini.tmp7", "");
    // Names that are not this program's temporary files stay.
    dir.write("quillon.ini.tmp", "x");
    dir.write("quillon.ini.tmp12a", "x");
    dir.write("other.ini.tmp5", "x");
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+"}));
    EXPECT_FALSE(PathExists(dir / "quillon.ini.tmp4242"));
    EXPECT_FALSE(PathExists(dir / "quillon.ini.tmp7"));
    EXPECT_TRUE(PathExists(dir / "quillon.ini.tmp"));
    EXPECT_TRUE(PathExists(dir / "quillon.ini.tmp12a"));
    EXPECT_TRUE(PathExists(dir / "other.ini.tmp5"));
}

TEST(JobStore, AHugeSettingsCountCostsNothing) {
    TempDir dir;
    dir.write("quillon.ini", "[General]\r\nSettingsCount=2147483647\r\n[0]\r\nName=only\r\n");
    auto start = std::chrono::steady_clock::now();
    JobStore store(dir / "quillon");
    store.Load();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // No more jobs than the file has sections: [General] and [0].
    EXPECT_EQ(captions(store), (std::vector<std::string>{"only+", "+"}));
    EXPECT_LT(seconds, 1.0);
}

TEST(JobStore, ThreeThousandJobsStartAndCloseInAFractionOfASecond) {
    // Measure with: build/tests/quillon_tests --gtest_filter=JobStore.ThreeThousandJobs*
    TempDir dir;
    const int count = 3000;
    std::string text =
        "[FTP]\r\nServer=ftp.example\r\nPassword=pw\r\n[General]\r\nSettingsCount=" + std::to_string(count) +
        "\r\n";
    for (int i = 0; i < count; ++i)
        text += "[" + std::to_string(i) + "]\r\nName=ゴースト" + std::to_string(i) +
                "\r\nSetting=Upload\r\nServer=ftp" + std::to_string(i) +
                ".example\r\nID=user\r\nPassive=1\r\nSSL=0\r\nPassword=secret\r\nDirectory=/ghost/\r\n"
                "HTML=C:\\ghost\\index.html\r\nNarName=C:\\ghost\\g%y%m%d.nar\r\nUseCommon=0\r\n"
                "TargetFolder=C:\\ghost\\" +
                std::to_string(i) +
                "\\\r\nDefaultCheck=1\r\n"
                "ProcessName=*.txt,ghost/master/*.dic,shell/master/*.png\r\nExcludeName=\r\n";
    dir.write("quillon.ini", text);
    auto start = std::chrono::steady_clock::now();
    JobStore store(dir / "quillon");
    store.Load();
    auto loaded = std::chrono::steady_clock::now();
    store.Items[0].Job->Name = "changed"; // one change, so that the file is really written
    store.Save();
    auto saved = std::chrono::steady_clock::now();
    double load = std::chrono::duration<double>(loaded - start).count();
    double save = std::chrono::duration<double>(saved - loaded).count();
    std::printf("%d jobs (%zu bytes): start-up %.3f s, save %.3f s, together %.3f s\n", count, text.size(),
                load, save, load + save);
    ASSERT_EQ(store.Items.size(), static_cast<size_t>(count));
    EXPECT_EQ(IniFile(dir / "quillon.ini").ReadString("2999", "Name", ""), "ゴースト2999");
    EXPECT_LT(load + save, 5.0); // quadratic costs took 22-40 s; the note above gives the real figure
}

TEST(JobStore, AJobFileThatCannotBeDeletedIsNotImportedAgain) {
    TempDir dir;
    setUpImport(dir);
    JobStore store(dir / "quillon");
    store.Load();
    if (!SetImmutable(dir / "a.in_", true))
        GTEST_SKIP() << "this file system has no immutable attribute";
    store.Save(); // a.in_ stays: it cannot be deleted
    EXPECT_TRUE(FileExists(dir / "a.in_"));
    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(sortedCaptions(next), (std::vector<std::string>{"a", "b", "job0", "job1"}));
    next.Save(); // still held, so still recorded
    SetImmutable(dir / "a.in_", false);
    JobStore last(dir / "quillon");
    last.Load(); // now it can go
    EXPECT_EQ(sortedCaptions(last), (std::vector<std::string>{"a", "b", "job0", "job1"}));
    EXPECT_FALSE(FileExists(dir / "a.in_"));
}

TEST(JobStore, ALeftOverFileWithOtherContentsIsANewJob) {
    TempDir dir;
    dir.write("a.ini", jobFile("a", true));
    JobStore store(dir / "quillon");
    store.Load();
    store.OnStep = [](const std::string& step) {
        if (step == "main file written")
            throw Killed{};
    };
    EXPECT_THROW(store.Save(), Killed);
    // Someone puts another job under the same name before the next start.
    dir.write("a.in_", jobFile("other", true));
    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(sortedCaptions(next), (std::vector<std::string>{"a", "other"}));
}

TEST(JobStore, AReadOnlyMainFileIsNotReplaced) {
    TempDir dir;
    std::string original = mainFile(1);
    dir.write("quillon.ini", original);
    dir.write("a.ini", jobFile("a", true));
    JobStore store(dir / "quillon");
    store.Load();
    if (!SetImmutable(dir / "quillon.ini", true))
        GTEST_SKIP() << "this file system has no immutable attribute";
    try {
        store.Save();
        ADD_FAILURE() << "save reported success";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  dir / "quillon.ini に書き込めません（アクセスが許可されていません）。");
    }
    SetImmutable(dir / "quillon.ini", false);
    EXPECT_EQ(ReadAll(dir / "quillon.ini"), original);
    EXPECT_TRUE(FileExists(dir / "a.in_"));
}

TEST(JobStore, JobsAfterANulAndInAUtf16FileSurviveASave) {
    TempDir dir;
    std::string text = mainFile(3);
    text.insert(text.find("[1]"), std::string("; \0\r\n", 5));
    dir.write("quillon.ini", text);
    JobStore store(dir / "quillon");
    store.Load();
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "job1-", "job2+"}));
    // A pattern CP932 cannot hold is kept: the file becomes UTF-16, which the next start reads.
    store.Items[2].Job->ProcessName = "ghost/master/😀.txt\r\n";
    store.Save();
    EXPECT_EQ(ReadAll(dir / "quillon.ini").substr(0, 2), "\xFF\xFE");
    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(captions(next), (std::vector<std::string>{"job0+", "job1-", "job2+"}));
    EXPECT_EQ(next.Items[2].Job->ProcessName, "ghost/master/😀.txt\r\n");
}

namespace {

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> folderFiles(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files[entry.path().filename().string()] =
            entry.is_regular_file() ? ReadAll(entry.path().string()) : std::string("<folder>");
    return files;
}

} // namespace

TEST(JobStore, AReadOnlyLoadTakesTheMainFileAloneAndChangesNoFile) {
    TempDir dir;
    dir.write("settings.conf", mainFile(3));
    dir.write("a.ini", jobFile("a", true));
    dir.write("old.in_", jobFile("old", true));
    dir.write("quillon.in_", mainFile(1));
    dir.write("settings.conf.tmp4242", "[FTP]\r\nPassword=secret\r\n");
    const auto before = folderFiles(dir);
    JobStore store(dir / "settings.conf", dir / "settings.conf");
    store.LoadReadOnly();
    // The main file's jobs only, named as they are, with the common settings and options.
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "job1-", "job2+"}));
    EXPECT_EQ(store.CommonFTP.Server, "ftp.example");
    EXPECT_TRUE(store.IsLog);
    EXPECT_EQ(store.ProgramFolder(), dir.path());
    EXPECT_EQ(folderFiles(dir), before);

    // A missing or unreadable file is an error naming it, never an empty list.
    JobStore missing(dir / "none.ini", dir / "none.ini");
    try {
        missing.LoadReadOnly();
        ADD_FAILURE() << "a missing settings file was taken for an empty one";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "設定ファイル " + dir / "none.ini" + " がありません。");
    }
    std::string main = dir / "settings.conf";
    UnreadableFile locked(main);
    ::chmod(dir.path().c_str(), 0777);
    JobStore unreadable(main, main);
    {
        AsUnprivilegedUser nobody;
        try {
            unreadable.LoadReadOnly();
            ADD_FAILURE() << "an unreadable settings file was taken for an empty one";
        } catch (const EFileError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "設定ファイル " + main + " を読み込めません（" + UnreadableFile::Reason + "）。");
        }
    }
    locked.release();
    EXPECT_TRUE(unreadable.Items.empty());
    EXPECT_EQ(folderFiles(dir), before);
}
