#include "jobs/Settings.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "run/JobRunner.h"
#include "run/LogDocument.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<TSettings> archiveJob(const std::string& name, const std::string& folder,
                                      const std::string& patterns) {
    auto job = std::make_unique<TSettings>();
    job->Name = name;
    job->Kind = TSettings::NarCreate;
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->TargetFolder = folder;
    job->ProcessName = patterns;
    job->NarName = IncludeTrailingPathDelimiter(folder) + name + ".nar";
    return job;
}

} // namespace

TEST(RunLoop, SummaryLine) {
    EXPECT_EQ(SummaryLine({3, 2}), "3項目実行 - 成功2 / 失敗1");
    EXPECT_EQ(SummaryLine({0, 0}), "0項目実行 - 成功0 / 失敗0");
}

TEST(RunLoop, RunsTickedJobsInOrderAndCounts) {
    TempDir dir;
    dir.write("delete.txt", "a.txt\r\n");
    dir.write("a.txt", "");
    auto ok1 = archiveJob("one", dir.path(), "a.txt");
    auto refused = archiveJob("two", dir.path(), "delete.txt\r\na.txt"); // answered No: fails
    auto skipped = archiveJob("skipped", dir.path(), "a.txt");
    auto ok2 = archiveJob("three", dir.path(), "a.txt");
    std::vector<TSettings*> rows = {ok1.get(), refused.get(), skipped.get(), ok2.get()};
    ScriptedPrompts prompts;
    LogDocument log(dir.path(), LocalTime(2026, 12, 8, 4, 5, 9));
    RunCounts counts = RunJobs(
        4, [&](int i) { return i == 2 ? nullptr : rows[size_t(i)]; }, log);
    EXPECT_EQ(counts.Run, 3);
    EXPECT_EQ(counts.Succeeded, 2);
    const std::string& text = log.Text();
    size_t one = text.find("one実行します。"), two = text.find("two実行します。"),
           three = text.find("three実行します。");
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
    EXPECT_NE(three, std::string::npos);
    EXPECT_EQ(text.find("skipped"), std::string::npos);
    // The closing line's own break leaves an empty line after each job.
    EXPECT_NE(text.find("one実行しました。\r\n\r\ntwo実行します。"), std::string::npos);
    EXPECT_EQ(ok1->LogLines, &log);
}

TEST(LogDocument, FileNameCarriesTheCreationTime) {
    const std::string d(1, NativeDelimiter);
    LogDocument log("/tools", LocalTime(2026, 12, 8, 4, 5, 9));
    EXPECT_EQ(log.FilePath(), "/tools" + d + "log" + d + "log20261208040509.log");
    LogDocument late("/tools/", LocalTime(12345, 1, 2, 23, 59, 58));
    EXPECT_EQ(late.FilePath(), "/tools/log" + d + "log123450102235958.log");
}

TEST(LogDocument, KeepsTheFileInShiftJisAfterEveryChange) {
    TempDir dir;
    ScriptedPrompts prompts;
    LogDocument log(dir.path(), LocalTime(2026, 12, 8, 4, 5, 9));
    log.SaveFlag = true;
    log.Add("ゴースト実行します。");
    std::string path = dir / "log/log20261208040509.log";
    EXPECT_EQ(ReadAll(path),
              "\x83\x53\x81\x5B\x83\x58\x83\x67\x8E\xC0\x8D\x73\x82\xB5\x82\xDC\x82\xB7\x81\x42\r\n");
    log.Add("x実行しました。\r\n");
    log.Add(SummaryLine({1, 1}));
    EXPECT_EQ(ReadAll(path).substr(20),
              "\r\nx\x8E\xC0\x8D\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n\r\n"
              "1\x8D\x80\x96\xDA\x8E\xC0\x8D\x73 - \x90\xAC\x8C\xF7"
              "1 / \x8E\xB8\x94\x73"
              "0\r\n");
    log.SetText("typed\r\n");
    EXPECT_EQ(ReadAll(path), "typed\r\n");
    EXPECT_TRUE(prompts.errors.empty());
}

// A run of thousands of lines must not write the log thousands of times over: a line goes on the end of
// the file. What the file holds beyond the text (here a mark put there behind the log's back) shows that
// it was not rewritten.
TEST(LogDocument, AppendsEachLineAndRewritesOnlyWhenTheFileMayDiffer) {
    TempDir dir;
    ScriptedPrompts prompts;
    LogDocument log(dir.path(), LocalTime(2026, 12, 8, 4, 5, 9));
    std::string path = dir / "log/log20261208040509.log";
    log.Add("before saving");
    EXPECT_FALSE(std::filesystem::exists(path));
    log.SaveFlag = true;
    log.Add("one"); // saving was just turned on: the whole text
    EXPECT_EQ(ReadAll(path), "before saving\r\none\r\n");
    dir.write("log/log20261208040509.log", ReadAll(path) + "mark\r\n");
    log.Add("two");
    EXPECT_EQ(ReadAll(path), "before saving\r\none\r\nmark\r\ntwo\r\n");

    log.SetText("typed\r\nno line end"); // the user's edit: the whole text again
    log.Add("three");
    EXPECT_EQ(ReadAll(path), "typed\r\nno line end\r\nthree\r\n");

    std::filesystem::remove(path); // gone: the next line brings back the whole text
    log.Add("four");
    EXPECT_EQ(ReadAll(path), "typed\r\nno line end\r\nthree\r\nfour\r\n");

    log.SaveFlag = false; // lines while saving is off reach the file when it is back on
    log.Add("five");
    log.SaveFlag = true;
    dir.write("log/log20261208040509.log", "stale");
    log.Add("six");
    EXPECT_EQ(ReadAll(path), "typed\r\nno line end\r\nthree\r\nfour\r\nfive\r\nsix\r\n");
    EXPECT_TRUE(prompts.errors.empty());
}

TEST(LogDocument, AFailedWriteIsReportedAndTheNextLineWritesTheWholeText) {
    TempDir dir;
    ScriptedPrompts prompts;
    LogDocument log(dir.path(), LocalTime(2026, 12, 8, 4, 5, 9));
    log.SaveFlag = true;
    std::filesystem::create_directories(dir / "log/log20261208040509.log"); // a folder in the file's way
    log.Add("one");
    EXPECT_EQ(prompts.errors.size(), 1u);
    std::filesystem::remove(dir / "log/log20261208040509.log");
    log.Add("two");
    EXPECT_EQ(ReadAll(dir / "log/log20261208040509.log"), "one\r\ntwo\r\n");
    EXPECT_EQ(prompts.errors.size(), 1u);
}

TEST(LogDocument, NoFileWithoutSaveFlagAndAnErrorBoxPerFailedWrite) {
    TempDir dir;
    ScriptedPrompts prompts;
    LogDocument quiet(dir.path(), LocalTime(2026, 1, 1));
    quiet.Add("line");
    EXPECT_FALSE(std::filesystem::exists(dir / "log"));

    std::string blocker = dir.write("prog/log", "a file where the folder should be");
    LogDocument failing(dir / "prog", LocalTime(2026, 1, 1));
    failing.SaveFlag = true;
    failing.Add("one");
    failing.Add("two");
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.errors[0], "ファイル " + failing.FilePath() + " を作成できません");
    EXPECT_EQ(failing.Text(), "one\r\ntwo\r\n"); // the log goes on in memory
}
