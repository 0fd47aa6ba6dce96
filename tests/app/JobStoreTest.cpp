#include "app/JobStore.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "support/Shell.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

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
    EXPECT_EQ(ReadAll(dir / "quillon.ini"), "[FTP]\r\nServer=\r\nID=\r\nPassword=\r\nPassive=0\r\nSSL=0\r\nConnections=4\r\nExplicitTLS=0\r\nCertFingerprint=\r\n"
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

TEST(JobStore, ExistingInName_EndsStartUpWithTheJobsReadSoFar) {
    TempDir dir;
    dir.write("quillon.ini", mainFile(1));
    dir.write("a.ini", jobFile("a", true));
    dir.write("b.ini", jobFile("b", true));
    dir.write("c.ini", jobFile("c", true));
    JobStore store(dir / "quillon");
    // A killed run left b.in_ behind (imported again, first in name order), so b.ini cannot move.
    dir.write("b.in_", jobFile("b-old", true));
    try {
        store.Load();
        FAIL() << "start-up went on";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "I/O error 17");
    }
    EXPECT_EQ(captions(store), (std::vector<std::string>{"job0+", "a+", "b-old+"}));
    EXPECT_TRUE(FileExists(dir / "b.ini"));
    EXPECT_TRUE(FileExists(dir / "c.ini"));
    // The main file stays under its ".in_" name for this run; the save writes it anew.
    EXPECT_FALSE(FileExists(dir / "quillon.ini"));
    store.Save();
    EXPECT_TRUE(FileExists(dir / "quillon.ini"));
    EXPECT_FALSE(FileExists(dir / "quillon.in_"));
    EXPECT_FALSE(FileExists(dir / "b.in_"));

    JobStore next(dir / "quillon");
    next.Load();
    EXPECT_EQ(captions(next), (std::vector<std::string>{"job0+", "a+", "b-old+", "b+", "c+"}));
}

TEST(JobStore, KilledRunLosesNoJob) {
    TempDir dir;
    // Killed during start-up: the main file under its ".in_" name, a job file already moved.
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

TEST(JobStore, FailedSaveKeepsTheImportedFiles) {
    TempDir dir;
    dir.write("a.ini", jobFile("a", true));
    dir.mkdir("quillon.ini"); // the main settings file cannot be written
    JobStore store(dir / "quillon");
    store.Load();
    ASSERT_EQ(store.Items.size(), 1u);
    try {
        store.Save();
        FAIL() << "save reported success";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), dir / "quillon.ini に書き込めません");
    }
    EXPECT_TRUE(FileExists(dir / "a.in_"));
}

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

// A program killed at a step: the hook stops the sequence there, as a kill would.
struct Killed {};

// Runs start-up and save of one program run in `dir`, killed at the `killAt`-th step (0: never); returns
// the number of steps the run went through.
int runKilledAt(const TempDir& dir, int killAt) {
    JobStore store(dir / "quillon");
    int steps = 0;
    store.OnStep = [&](const std::string&) {
        if (++steps == killAt)
            throw Killed{};
    };
    try {
        store.Load();
        store.Save();
    } catch (const Killed&) {
    }
    return steps;
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

} // namespace

TEST(JobStore, ImportedJobsAreTakenExactlyOnceWhereverARunIsKilled) {
    const std::vector<std::string> all = {"a", "b", "job0", "job1"};
    int total = 0;
    {
        TempDir dir;
        setUpImport(dir);
        total = runKilledAt(dir, 0);
    }
    ASSERT_GE(total, 8); // every step of start-up and save
    for (int killAt = 1; killAt <= total; ++killAt) {
        TempDir dir;
        setUpImport(dir);
        runKilledAt(dir, killAt);
        // The next two runs find every job once; nothing is imported a second time.
        for (int run = 0; run < 2; ++run) {
            JobStore next(dir / "quillon");
            next.Load();
            EXPECT_EQ(sortedCaptions(next), all) << "killed at step " << killAt << ", run " << run;
            next.Save();
        }
        std::vector<DirEntry> entries;
        ListDirectory(dir.path(), entries);
        EXPECT_EQ(entries.size(), 1u) << "killed at step " << killAt << ": files left beside the main file";
    }
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
        EXPECT_EQ(std::string(e.what()), dir / "quillon.ini に書き込めません");
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
