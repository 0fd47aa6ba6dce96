// What the progress display is told while a job runs: each step as it begins, and the list's true count.
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/RecordedProgress.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/VectorSink.h"

#include <gtest/gtest.h>

namespace {

using Steps = std::vector<std::string>;

// The steps in the order they began, each once for as long as it lasted.
Steps steps(const RecordedProgress& recorded) {
    Steps result;
    for (const RunProgress& p : recorded.shown)
        if (result.empty() || result.back() != p.Step)
            result.push_back(p.Step);
    return result;
}

// The counts the list step was shown with, in order.
std::vector<int64_t> listCounts(const RecordedProgress& recorded) {
    std::vector<int64_t> counts;
    for (const RunProgress& p : recorded.shown)
        if (p.Step == "ファイルリストを生成しています")
            counts.push_back(p.Done);
    return counts;
}

void threeFiles(TempDir& dir) {
    dir.write("a.txt", "a");
    dir.write("b.txt", "b");
    dir.write("c.txt", "c");
}

std::unique_ptr<TSettings> archiveJob(const TempDir& dir, uint8_t kind, const FtpServer* server) {
    auto job = std::make_unique<TSettings>();
    job->Name = "nar";
    job->Kind = kind;
    job->OwnFTP = std::make_unique<TFTPConfig>();
    if (server) {
        job->OwnFTP->Server = server->address();
        job->OwnFTP->ID = "user";
        job->OwnFTP->SetPassword("secret");
        job->OwnFTP->Passive = true;
    }
    job->Directory = "pub";
    job->TargetFolder = dir.path();
    job->ProcessName = "*.txt";
    job->NarName = dir / "out.nar";
    return job;
}

} // namespace

TEST(ProgressSteps, ANetworkUpdateShowsEachStepAsItBeginsAndCountsEveryListedFile) {
    TempDir dir;
    threeFiles(dir);
    FtpServer server;
    server.rootDir().mkdir("pub"); // the server's list is fetched and compared
    ScriptedPrompts prompts;
    RecordedProgress recorded;
    VectorSink log;
    auto job = NetworkJob(server, dir.path(), "*.txt");
    job->LogLines = &log;
    ASSERT_TRUE(job->Run()) << ::testing::PrintToString(log.lines);
    EXPECT_EQ(steps(recorded),
              (Steps{"ファイルリストを生成しています", "接続しています", "updates2.dauを取得しています",
                     "MD5を照合しています", "アップロードしています"}));
    // Shown as each file joins the list: the last count is the number of files listed.
    EXPECT_EQ(listCounts(recorded), (std::vector<int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(recorded.last().Done, 3);
    EXPECT_EQ(recorded.last().Total, 3);
}

TEST(ProgressSteps, ArchiveJobsShowPackingAndForTheUploadKindTheConnection) {
    TempDir dir;
    threeFiles(dir);
    ScriptedPrompts prompts;
    {
        RecordedProgress recorded;
        auto job = archiveJob(dir, TSettings::NarCreate, nullptr);
        ASSERT_TRUE(job->Run());
        EXPECT_EQ(steps(recorded), (Steps{"ファイルリストを生成しています", "圧縮しています"}));
        EXPECT_EQ(listCounts(recorded).back(), 3);
    }
    FtpServer server;
    RecordedProgress recorded;
    auto job = archiveJob(dir, TSettings::Upload, &server);
    VectorSink log;
    job->LogLines = &log;
    ASSERT_TRUE(job->Run()) << ::testing::PrintToString(log.lines);
    EXPECT_EQ(steps(recorded), (Steps{"ファイルリストを生成しています", "圧縮しています", "接続しています",
                                      "アップロードしています"}));
}
