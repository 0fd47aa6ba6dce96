#include "jobs/Settings.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/VectorSink.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

TEST(FTPConnection, PasswordPromptOnlyWhenNothingIsKnown) {
    ScriptedPrompts prompts;
    TFTPConfig config;
    config.Server = "ftp.example.jp";
    prompts.typed.push_back("typed");
    EXPECT_EQ(config.GetPassword(), "typed");
    ASSERT_EQ(prompts.inputs.size(), 1u);
    EXPECT_EQ(prompts.inputs[0].caption, "パスワード");
    EXPECT_EQ(prompts.inputs[0].prompt, "ftp.example.jpへのパスワードを入力してください");
    EXPECT_TRUE(prompts.inputs[0].masked);    // what is typed is not shown
    EXPECT_EQ(config.GetPassword(), "typed"); // remembered for the rest of the run
    EXPECT_EQ(config.GetStoredPassword(), "");

    TFTPConfig cancelled;
    EXPECT_EQ(cancelled.GetPassword(), ""); // cancelled: an empty password, asked again next time
    EXPECT_EQ(cancelled.GetPassword(), "");
    EXPECT_EQ(prompts.inputs.size(), 3u);

    TFTPConfig stored;
    stored.SetPassword("pw");
    EXPECT_EQ(stored.GetPassword(), "pw");
    EXPECT_EQ(prompts.inputs.size(), 3u);
}

TEST(FTPConnection, CreateFtpTakesTheCommonOrOwnSettings) {
    ScriptedPrompts prompts;
    TFTPConfig common;
    common.Server = "common:2121";
    common.ID = "c";
    common.SSL = true;
    common.Passive = true;
    TSettings job;
    job.OwnFTP = std::make_unique<TFTPConfig>();
    job.OwnFTP->Server = "own";
    job.OwnFTP->SetPassword("ownpw");
    job.CommonFTP = &common;
    job.UseCommon = true;
    prompts.typed.push_back("commonpw");
    auto ftp = job.CreateFTP();
    EXPECT_EQ(ftp->Host, "common:2121");
    EXPECT_EQ(ftp->Username, "c");
    EXPECT_EQ(ftp->Password, "commonpw");
    EXPECT_TRUE(ftp->UseTLS);
    EXPECT_TRUE(ftp->Passive);
    job.UseCommon = false;
    ftp = job.CreateFTP();
    EXPECT_EQ(ftp->Host, "own");
    EXPECT_EQ(ftp->Password, "ownpw");
    EXPECT_FALSE(ftp->UseTLS);
    EXPECT_EQ(prompts.inputs.size(), 1u);
}

TEST(FTPConnection, MakeRemoteDirsCreatesMissingLevelsAndReturns) {
    FtpServer server;
    server.rootDir().mkdir("ghost");
    TempDir local;
    auto job = NetworkJob(server, local.path(), "");
    VectorSink sink;
    job->LogLines = &sink;
    auto ftp = job->CreateFTP();
    ftp->Connect();
    server.clearLog();
    job->MakeRemoteDirs(*ftp, "ghost\\master\\shiori\\");
    EXPECT_EQ(ftp->CurrentDir(), "/"); // back where it started
    // The client knows these directories now: the same folder again costs no command, and an upload
    // names its file from where the connection really is.
    job->MakeRemoteDirs(*ftp, "ghost\\master\\shiori\\");
    ftp->Put(local.write("x.txt", "x"), "x.txt");
    ftp->Quit();
    EXPECT_EQ(server.essentialCommands(),
              (Lines{"CWD ghost", "CWD master", "MKD master", "CWD master", "CWD shiori", "MKD shiori",
                     "CWD shiori", "TYPE I", "STOR ../../../x.txt", "QUIT"}));
    EXPECT_EQ(server.received(), (Lines{"x.txt"}));
    EXPECT_EQ(sink.lines, (Lines{"ディレクトリmasterを作成します。", "ディレクトリshioriを作成します。"}));
    EXPECT_TRUE(std::filesystem::is_directory(server.root() + "ghost/master/shiori"));
}

TEST(FTPConnection, MakeRemoteDirsFailsWhenALevelCannotBeMade) {
    FtpServer::Config config;
    config.readOnly = {"locked"};
    FtpServer server(config);
    TempDir local;
    auto job = NetworkJob(server, local.path(), "");
    auto ftp = job->CreateFTP();
    ftp->Connect();
    EXPECT_THROW(job->MakeRemoteDirs(*ftp, "locked\\sub\\"), EFTPError);
}
