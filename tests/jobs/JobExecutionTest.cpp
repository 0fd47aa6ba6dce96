#include "jobs/Settings.h"
#include "platform/Errors.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/VectorSink.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

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
    job.NarName = dir / "a.nar";
    return job;
}

// The lines of a successful archive-only run of job A whose file list entry is `fileList`.
Lines archiveRun(const TempDir& dir, const std::string& fileList) {
    return {"A実行します。",
            "NARを生成します。",
            "ファイルリストを生成します。",
            fileList,
            "ファイルリストを生成しました。",
            "圧縮処理を開始します。",
            "圧縮処理を終了しました。",
            dir / "a.nar" + "を生成しました。",
            "A実行しました。\r\n"};
}

} // namespace

TEST(JobExecution, RunFramesTheJobWithItsNameAndAClosingLineBreak) {
    TempDir dir;
    dir.write("readme.txt", "r");
    VectorSink sink;
    TSettings job = archiveJob(dir, "readme.txt\r\n");
    job.LogLines = &sink;
    EXPECT_TRUE(job.Run());
    EXPECT_EQ(sink.lines, archiveRun(dir, "readme.txt\r\n"));
}

TEST(JobExecution, UnknownKindsRunTheArchiveOnlyJob) {
    TempDir dir;
    dir.write("readme.txt", "r");
    for (uint8_t kind : {uint8_t{4}, uint8_t{3}, uint8_t{0}, uint8_t{200}}) {
        VectorSink sink;
        TSettings job = archiveJob(dir, "readme.txt");
        job.Kind = kind;
        job.LogLines = &sink;
        EXPECT_TRUE(job.Run()) << int(kind);
        EXPECT_EQ(sink.lines, archiveRun(dir, "readme.txt\r\n"));
        EXPECT_TRUE(std::filesystem::exists(dir / "a.nar")) << int(kind);
        std::filesystem::remove(dir / "a.nar");
    }
}

TEST(JobExecution, AListOfNoFileIsStillAList) {
    TempDir dir;
    VectorSink sink;
    TSettings job = archiveJob(dir, "none*.txt");
    job.LogLines = &sink;
    TUpdates2dau list;
    EXPECT_TRUE(job.MakeFileList(list));
    // The generation lines and an empty list entry.
    EXPECT_EQ(sink.lines, (Lines{"ファイルリストを生成します。", "", "ファイルリストを生成しました。"}));
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
        ASSERT_GE(sink.lines.size(), 6u);
        EXPECT_EQ(sink.lines[3], "delete.txtに問題となる可能性のある記述を検出しました。");
        EXPECT_EQ(sink.lines[4], "delete.txt1行目、a.txtは存在します。\r\n");
        if (goOn) {
            EXPECT_EQ(sink.lines[5], "delete.txt\r\na.txt\r\n");
        } else {
            EXPECT_EQ(sink.lines.size(), 6u);
            EXPECT_EQ(sink.lines[5], "A実行しました。\r\n");
        }
    }
}

TEST(JobExecution, ReleaseFindingsJoinTheDeleteListQuestion) {
    TempDir dir;
    dir.write("ghost/master/descript.txt", "name,sakura\r\n");
    dir.write("ghost/master/word.dic", "w");
    dir.write("delete.txt", "ghost\\master\\word.dic\r\nGhost/Master/Word.dic\r\n");
    const std::string patterns = "delete.txt\r\nghost/master/*.*\r\n";
    const std::string heading = "公開前の確認で、利用者側で問題となる可能性のある点が見つかりました。";
    const std::string deleteLine =
        "delete.txt2行目「Ghost/Master/Word.dic」は、配布するghost/master/word.dicをユーザー側で削除します。"
        "この行を削除してください。";
    const std::string installLine =
        "install.txtが収録されません。「type,ghost」と「directory,フォルダ名」を書いた"
        "install.txtを基準フォルダに置き、処理ファイル名条件に加えてください。";
    for (bool goOn : {false, true}) {
        ScriptedPrompts prompts;
        prompts.answers.push_back(goOn);
        VectorSink sink;
        TSettings job = archiveJob(dir, patterns);
        job.LogLines = &sink;
        EXPECT_EQ(job.Run(), goOn);
        ASSERT_EQ(prompts.questions.size(), 1u); // one question for both checks
        EXPECT_EQ(prompts.questions[0].text,
                  heading + "\r\n" + deleteLine + "\r\n" + installLine +
                      "\r\n\r\ndelete.txtに問題となる可能性のある記述を検出しました。"
                      "\r\n続行しますか？");
        ASSERT_GE(sink.lines.size(), 8u);
        EXPECT_EQ(sink.lines[3], heading);
        EXPECT_EQ(sink.lines[4], deleteLine + "\r\n" + installLine + "\r\n");
        EXPECT_EQ(sink.lines[5], "delete.txtに問題となる可能性のある記述を検出しました。");
        EXPECT_EQ(sink.lines[6], "delete.txt1行目、ghost\\master\\word.dicは存在します。\r\n");
        EXPECT_EQ(std::filesystem::exists(dir / "a.nar"), goOn);
        if (!goOn) {
            EXPECT_EQ(sink.lines.size(), 8u); // the delete.txt warning stays the last line before the end
        }
    }

    // Mended, the ghost asks nothing; the other kind looks at the home URL instead of install.txt.
    dir.write("delete.txt", "ghost/master/old.dic\r\n");
    dir.write("install.txt", "type,ghost\r\ndirectory,sakura\r\n");
    ScriptedPrompts prompts;
    TSettings job = archiveJob(dir, "install.txt\r\n" + patterns);
    EXPECT_TRUE(job.Run());
    EXPECT_TRUE(prompts.questions.empty());
    job.Kind = TSettings::Network;
    TUpdates2dau list;
    EXPECT_FALSE(job.MakeFileList(list)); // no homeurl: asked, and No stops
    ASSERT_EQ(prompts.questions.size(), 1u);
    EXPECT_NE(prompts.questions[0].text.find("homeurlの行がありません。"), std::string::npos);
    EXPECT_EQ(prompts.questions[0].text.find("delete.txt"), std::string::npos);
}

TEST(JobExecution, WithoutSinkNothingIsLoggedAndTheJobStillRuns) {
    TempDir dir;
    dir.write("delete.txt", "readme.txt\r\n");
    dir.write("readme.txt", "r");
    for (bool goOn : {true, false}) {
        ScriptedPrompts prompts;
        prompts.answers.push_back(goOn);
        TSettings job = archiveJob(dir, "delete.txt\r\nreadme.txt\r\n");
        // The question shows that the list was built without a sink; its answer decides the result.
        EXPECT_EQ(job.Run(), goOn);
        EXPECT_EQ(prompts.questions.size(), 1u);
        EXPECT_EQ(std::filesystem::exists(dir / "a.nar"), goOn); // and the archive is made, or not
        std::filesystem::remove(dir / "a.nar");
    }
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(JobExecution, AnUnreadableDeleteListLeavesRunWithoutItsClosingLine) {
    TempDir dir;
    // Listed, but it cannot be read (as root only such a file refuses reading).
    ASSERT_EQ(::symlink("/proc/self/mem", (dir / "delete.txt").c_str()), 0);
    VectorSink sink;
    TSettings job = archiveJob(dir, "delete.txt");
    job.LogLines = &sink;
    try {
        job.Run();
        FAIL() << "the error did not leave the job";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("delete.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(sink.lines.back(), "ファイルリストを生成します。");
}
#endif

TEST(JobExecution, ANameWithoutACp932FormFailsItsJobBeforeAnyQuestion) {
    for (const std::string bad : {"ghost/😀.txt", "ghost/¥100.txt", "ghost/‾.txt"}) {
        TempDir ghost;
        ghost.write("delete.txt", "a.txt\r\n");
        ghost.write("a.txt", "");
        ghost.write(bad, "");
        ScriptedPrompts prompts;
        prompts.answers.push_back(true);
        VectorSink sink;
        TSettings job = archiveJob(ghost, "delete.txt\r\na.txt\r\nghost/*.txt\r\n");
        job.LogLines = &sink;
        EXPECT_FALSE(job.Run()) << bad;
        EXPECT_TRUE(prompts.questions.empty()) << bad;
        std::string relative = bad;
        std::replace(relative.begin(), relative.end(), '/', '\\');
        EXPECT_EQ(sink.lines, (Lines{"A実行します。", "NARを生成します。", "ファイルリストを生成します。",
                                     relative + " のファイル名はCP932で表せないため、処理できません。",
                                     "A実行しました。\r\n"}));
    }
}

TEST(JobExecution, TwoFilesOfOneCp932NameFailTheirJob) {
    TempDir dir;
    dir.write("〜.txt", "a");
    dir.write("～.txt", "b");
    VectorSink sink;
    TSettings job = archiveJob(dir, "*.txt\r\n");
    job.LogLines = &sink;
    EXPECT_FALSE(job.Run());
    ASSERT_EQ(sink.lines.size(), 5u);
    EXPECT_NE(sink.lines[3].find("はCP932では同じ名前になるため、処理できません。"), std::string::npos);
}
