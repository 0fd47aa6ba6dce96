#include "jobs/Settings.h"
#include "platform/Errors.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/VectorSink.h"
#include "updatelist/Updates2dau.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// An archive-only job over `dir` (it touches no server).
TSettings archiveJob(const TempDir& dir, const std::string& patterns) {
    TSettings job;
    job.Name = "A";
    job.Kind = TSettings::NarCreate;
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.TargetFolder = dir.path();
    job.ProcessName = patterns;
    return job;
}

} // namespace

TEST(JobExecution, RunFramesTheJobWithItsNameAndAClosingLineBreak) {
    TempDir dir;
    dir.write("readme.txt", "r");
    VectorSink sink;
    TSettings job = archiveJob(dir, "readme.txt\r\n");
    job.LogLines = &sink;
    EXPECT_TRUE(job.Run());
    EXPECT_EQ(sink.lines, (Lines{"A実行します。", "ファイルリストを生成します。", "readme.txt\r\n",
                                 "ファイルリストを生成しました。", "A実行しました。\r\n"}));
}

TEST(JobExecution, UnknownKindsRunTheArchiveOnlyJob) {
    TempDir dir;
    for (uint8_t kind : {uint8_t{4}, uint8_t{3}, uint8_t{0}, uint8_t{200}}) {
        VectorSink sink;
        TSettings job = archiveJob(dir, "");
        job.Kind = kind;
        job.LogLines = &sink;
        EXPECT_TRUE(job.Run()) << int(kind);
        // No file matched: the generation lines and an empty list entry.
        EXPECT_EQ(sink.lines, (Lines{"A実行します。", "ファイルリストを生成します。", "",
                                     "ファイルリストを生成しました。", "A実行しました。\r\n"}));
    }
}

TEST(JobExecution, DeleteListQuestion) {
    TempDir dir;
    dir.write("delete.txt", "a.txt\r\n");
    dir.write("a.txt", "");
    for (bool goOn : {true, false}) {
        ScriptedPrompts prompts;
        prompts.answers.push_back(goOn);
        VectorSink sink;
        TSettings job = archiveJob(dir, "delete.txt\r\na.txt\r\n");
        job.LogLines = &sink;
        EXPECT_EQ(job.Run(), goOn);
        ASSERT_EQ(prompts.questions.size(), 1u);
        EXPECT_EQ(prompts.questions[0].text,
                  "delete.txtに問題となる可能性のある記述を検出しました。\r\n続行しますか？");
        EXPECT_EQ(prompts.questions[0].icon, UserPrompts::Icon::Warning);
        ASSERT_GE(sink.lines.size(), 5u);
        EXPECT_EQ(sink.lines[2], "delete.txtに問題となる可能性のある記述を検出しました。");
        EXPECT_EQ(sink.lines[3], "delete.txt1行目、a.txtは存在します。\r\n");
        if (goOn) {
            EXPECT_EQ(sink.lines[4], "delete.txt\r\na.txt\r\n");
        } else {
            EXPECT_EQ(sink.lines.size(), 5u);
            EXPECT_EQ(sink.lines[4], "A実行しました。\r\n");
        }
    }
}

TEST(JobExecution, WithoutSinkNothingIsLoggedAndTheJobStillRuns) {
    TempDir dir;
    dir.write("readme.txt", "r");
    TSettings job = archiveJob(dir, "readme.txt\r\n");
    EXPECT_TRUE(job.Run());
}

TEST(JobExecution, NameWithoutShiftJisFormEndsTheRunAsAnError) {
    TempDir dir;
    dir.write("😀.txt", "");
    VectorSink sink;
    TSettings job = archiveJob(dir, "*.txt\r\n");
    job.LogLines = &sink;
    EXPECT_THROW(job.Run(), EEncodingError);
    EXPECT_EQ(sink.lines, (Lines{"A実行します。", "ファイルリストを生成します。"})); // no closing line
}
