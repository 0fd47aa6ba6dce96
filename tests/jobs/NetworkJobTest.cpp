#include "jobs/Settings.h"
#include "platform/RunControl.h"
#include "run/JobRunner.h"
#include "support/CancelWhen.h"
#include "support/FtpServer.h"
#include "support/JobFixtures.h"
#include "support/PeakMemory.h"
#include "support/RecordedProgress.h"
#include "support/ReferenceMd5.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VectorSink.h"
#include "support/VsftpdServer.h"
#include "updatelist/Updates2dau.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32 // POSIX only: links, modes, signals, limits
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

const char* const patterns = "readme.txt\r\nghost/master/*.*\r\nshell/master/*.png\r\n";
const std::string kanaName = "ghost/master/ソ表能.txt";
const std::string kanaCp932 = "ghost/master/\x83\x5C\x95\x5C\x94\x5C.txt";

void makeGhost(const TempDir& dir) {
    dir.write("readme.txt", "read me\r\n");
    dir.write("ghost/master/a.dic", "dic one");
    dir.write(kanaName, "kana");
    dir.write("shell/master/s0.png", std::string(70000, '\x89'));
}

// The list the server must hold, built independently: CP932 names, OpenSSL digests.
std::string expectedList(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& files) {
    std::string text;
    for (const auto& [utf8, onDisk] : files)
        text += onDisk + "\x01" + ReferenceMd5(ReadAll(dir / utf8)) + "\x01\r\n";
    return text;
}

std::vector<std::pair<std::string, std::string>> allFiles() {
    return {{"readme.txt", "readme.txt"},
            {"ghost/master/a.dic", "ghost/master/a.dic"},
            {kanaName, kanaCp932},
            {"shell/master/s0.png", "shell/master/s0.png"}};
}

// The files that arrived, in order, relative to the upload directory "pub" (others from the root).
Lines stored(const FtpServer& server) {
    Lines s;
    for (const std::string& f : server.received())
        s.push_back(f.rfind("pub/", 0) == 0 ? f.substr(4) : f);
    return s;
}

bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A test server with these switches and an empty upload folder "pub".
FtpServer::Config serverWith(std::vector<std::string> switches) {
    FtpServer::Config config;
    config.switches = std::move(switches);
    config.folders = {"pub"};
    return config;
}

// Runs one job through the run loop; returns its log entries and whether it succeeded.
std::pair<Lines, bool> runThroughLoop(TSettings& job) {
    VectorSink sink;
    RunCounts counts = RunJobs(
        1, [&](int) { return &job; }, sink);
    return {sink.lines, counts.Succeeded == 1};
}

void expectMirrors(const FtpServer& server, const TempDir& local, const Lines& relatives) {
    for (const std::string& rel : relatives)
        EXPECT_EQ(ReadAll(server.root() + "pub/" + rel), ReadAll(local / rel)) << rel;
}

} // namespace

TEST(NetworkJob, FirstUploadThenOnlyWhatChanged) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);

    auto [log1, ok1] = runThroughLoop(*job);
    ASSERT_TRUE(ok1) << ::testing::PrintToString(log1);
    EXPECT_TRUE(contains(log1, "リモートのupdates2.dauの取得に失敗しました"));
    EXPECT_TRUE(contains(log1, server.address() + "へ接続します。"));
    EXPECT_TRUE(contains(log1, kanaName + "はリモートサーバ上に存在しません。アップロード対象とします。"));
    EXPECT_TRUE(contains(log1, "ghost/master/a.dicをアップロードします。"));
    EXPECT_EQ(log1.back(), "net実行しました。\r\n");
    expectMirrors(server, local, {"readme.txt", "ghost/master/a.dic", kanaName, "shell/master/s0.png"});
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));
    EXPECT_EQ(stored(server), (Lines{"readme.txt", "ghost/master/a.dic", kanaName, "shell/master/s0.png",
                                     "updates2.dau.uploading"})); // the list last
    EXPECT_FALSE(fs::exists(local / "updates2.dau"));

    // Change one file, add one, delete one.
    local.write("ghost/master/a.dic", "dic two");
    local.write("ghost/master/b.dic", "new");
    fs::remove(local / "readme.txt");
    server.clearLog();
    auto [log2, ok2] = runThroughLoop(*job);
    ASSERT_TRUE(ok2) << ::testing::PrintToString(log2);
    EXPECT_TRUE(contains(log2, "ghost/master/a.dicは更新されています。アップロード対象とします。"));
    EXPECT_TRUE(
        contains(log2, "ghost/master/b.dicはリモートサーバ上に存在しません。アップロード対象とします。"));
    EXPECT_EQ(stored(server), (Lines{"ghost/master/a.dic", "ghost/master/b.dic", "updates2.dau.uploading"}));
    expectMirrors(server, local, {"ghost/master/a.dic", "ghost/master/b.dic"});
    EXPECT_TRUE(fs::exists(server.root() + "pub/readme.txt")); // nothing is deleted on the server
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"),
              expectedList(local, {{"ghost/master/a.dic", "ghost/master/a.dic"},
                                   {"ghost/master/b.dic", "ghost/master/b.dic"},
                                   {kanaName, kanaCp932},
                                   {"shell/master/s0.png", "shell/master/s0.png"}}));

    // Nothing changed: no upload at all, and still a success.
    server.clearLog();
    auto [log3, ok3] = runThroughLoop(*job);
    EXPECT_TRUE(ok3);
    EXPECT_TRUE(contains(log3, "更新されたファイルはありません。"));
    EXPECT_TRUE(stored(server).empty());
    EXPECT_FALSE(fs::exists(local / "updates2.dau"));
}

TEST(NetworkJob, ImplicitTlsEndToEnd) {
    FtpServer::Config config;
    config.tlsPem = Certificates().serverPem;
    FtpServer server(config);
    server.rootDir().mkdir("pub");
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    job->OwnFTP->SSL = true;
    job->ClientOptions.CAFile = Certificates().caFile;
    auto [log1, ok1] = runThroughLoop(*job);
    ASSERT_TRUE(ok1) << ::testing::PrintToString(log1);
    local.write("ghost/master/a.dic", "changed over TLS");
    auto [log2, ok2] = runThroughLoop(*job);
    ASSERT_TRUE(ok2) << ::testing::PrintToString(log2);
    expectMirrors(server, local, {"readme.txt", "ghost/master/a.dic", kanaName, "shell/master/s0.png"});
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));
}

TEST(NetworkJob, ServerListsThatDoNotMatchExactly) {
    FtpServer server;
    TempDir local;
    makeGhost(local);
    std::string dicDigest = ReferenceMd5(ReadAll(local / "ghost/master/a.dic"));
    std::string upper = dicDigest;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    // readme.txt matches; a.dic only in upper case; a bad line stops the reading before the kana file.
    server.rootDir().write("pub/updates2.dau", "readme.txt\x01" +
                                                   ReferenceMd5(ReadAll(local / "readme.txt")) +
                                                   "\x01\r\nghost/master/a.dic\x01" + upper +
                                                   "\x01\r\ngone.txt\x01"
                                                   "abc\x01\r\nbad line\r\n" +
                                                   kanaCp932 + "\x01" + ReferenceMd5("kana") + "\x01\r\n");
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(contains(log, "リモートのupdates2.dauのロードに失敗しました"));
    EXPECT_FALSE(contains(log, "リモートのupdates2.dauの取得に失敗しました"));
    EXPECT_TRUE(contains(log, "ghost/master/a.dicは更新されています。アップロード対象とします。"));
    EXPECT_EQ(stored(server),
              (Lines{"ghost/master/a.dic", kanaName, "shell/master/s0.png", "updates2.dau.uploading"}));
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));
}

TEST(NetworkJob, MissingDirectoryIsCreatedWhenItsParentExists) {
    FtpServer server;
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns, "pub");
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(contains(log, "ターゲットディレクトリが見つかりません。作成します。"));
    EXPECT_FALSE(contains(log, "updates2.dauを取得します。"));
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));

    FtpServer second;
    auto deep = NetworkJob(second, local.path(), patterns, "missing/pub");
    auto [log2, ok2] = runThroughLoop(*deep);
    EXPECT_FALSE(ok2);
    ASSERT_GE(log2.size(), 3u);
    EXPECT_EQ(log2[log2.size() - 3], "ターゲットディレクトリが見つかりません。作成します。");
    EXPECT_EQ(log2[log2.size() - 2].rfind("FTP接続が出来ませんでした。転送は行われません：550", 0), 0u)
        << log2[log2.size() - 2];
    EXPECT_TRUE(stored(second).empty());
}

TEST(NetworkJob, FailedUploadStopsBeforeTheList) {
    FtpServer::Config config;
    config.readOnly = {"pub/shell"};
    FtpServer server(config);
    TempDir local;
    makeGhost(local);
    local.write("shell/master/s1.png", "later");
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log[log.size() - 2].rfind("FTP接続が出来ませんでした。転送は行われません：", 0), 0u);
    EXPECT_EQ(stored(server), (Lines{"readme.txt", "ghost/master/a.dic", kanaName}));
    EXPECT_FALSE(fs::exists(server.root() + "pub/updates2.dau"));
    EXPECT_FALSE(fs::exists(server.root() + "pub/shell/master/s1.png"));
}

TEST(NetworkJob, ServerStoppedDuringTheRunFailsTheJob) {
    auto server = std::make_unique<FtpServer>();
    server->rootDir().mkdir("pub");
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(*server, local.path(), patterns);
    // The message pump after the first upload stops the server.
    struct StopAfterUpload : ScriptedPrompts {
        FtpServer* server = nullptr;
        void ProcessMessages() override {
            if (server && !server->received().empty())
                server->stop();
        }
    } prompts;
    prompts.server = server.get();
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：ghost/master/a.dic"
                                   "のアップロードに失敗しました：サーバーとの接続が切れました。");
    EXPECT_FALSE(fs::exists(server->root() + "pub/updates2.dau"));
}

TEST(NetworkJob, AnsweringNoToTheDeleteListQuestionNeverConnects) {
    FtpServer server;
    TempDir local;
    makeGhost(local);
    local.write("delete.txt", "readme.txt\r\n");
    auto job = NetworkJob(server, local.path(), std::string("delete.txt\r\n") + patterns);
    job->OwnFTP->SetPassword("");
    ScriptedPrompts prompts;
    prompts.typed.push_back("secret");
    prompts.answers.push_back(false);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(prompts.inputs.size(), 1u); // the password was asked first
    EXPECT_EQ(prompts.questions.size(), 1u);
    EXPECT_TRUE(server.commands().empty());
}

TEST(NetworkJob, CommonPasswordIsAskedOnceForTwoJobs) {
    FtpServer server;
    TempDir local;
    makeGhost(local);
    TFTPConfig common;
    common.Server = server.address();
    common.ID = "user";
    common.Passive = true;
    auto first = NetworkJob(server, local.path(), patterns);
    auto second = NetworkJob(server, local.path(), patterns, "other");
    for (auto* job : {first.get(), second.get()}) {
        job->UseCommon = true;
        job->CommonFTP = &common;
    }
    ScriptedPrompts prompts;
    prompts.typed.push_back("secret");
    VectorSink sink;
    RunCounts counts = RunJobs(
        2, [&](int i) { return i == 0 ? first.get() : second.get(); }, sink);
    EXPECT_EQ(counts.Run, 2);
    EXPECT_EQ(counts.Succeeded, 2);
    EXPECT_EQ(prompts.inputs.size(), 1u);
    for (const std::string& line : sink.lines)
        EXPECT_EQ(line.find("secret"), std::string::npos) << "password in the log: " << line;
}

TEST(NetworkJob, VsftpdDemandingTlsSessionReuseTakesEveryFile) {
    VsftpdServer server(Certificates().serverCert, Certificates().serverKey);
    TempDir local;
    makeGhost(local);
    for (int i = 0; i < 30; ++i)
        local.write("ghost/master/d" + std::to_string(i) + ".dic", RandomBytes(3000 + i * 97, i));
    auto job = std::make_unique<TSettings>();
    job->Name = "vsftpd";
    job->OwnFTP = std::make_unique<TFTPConfig>();
    job->OwnFTP->Server = server.address();
    job->OwnFTP->ID = "anonymous";
    job->OwnFTP->SetPassword("guest");
    job->OwnFTP->Passive = false; // active mode cannot be encrypted here: passive it is, and the log says so
    job->OwnFTP->SSL = true;
    job->ClientOptions.CAFile = Certificates().caFile;
    job->ClientOptions.ConnectTimeoutMs = 10000;
    job->ClientOptions.StallTimeoutMs = 10000;
    job->Directory = "pub";
    job->TargetFolder = local.path();
    job->ProcessName = patterns;
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << log[log.size() - 2];
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "SSLでは能動モードのデータ接続を暗号化できないため、パッシブモードで転送します。"),
              1);
    for (int i = 0; i < 30; ++i) {
        std::string rel = "ghost/master/d" + std::to_string(i) + ".dic";
        EXPECT_EQ(ReadAll(server.pub() + rel), ReadAll(local / rel)) << rel;
    }
    EXPECT_EQ(ReadAll(server.pub() + "readme.txt"), ReadAll(local / "readme.txt"));
    // The second run reads the list back over a protected data connection and finds nothing to send.
    auto [log2, ok2] = runThroughLoop(*job);
    EXPECT_TRUE(ok2);
    EXPECT_TRUE(contains(log2, "更新されたファイルはありません。")) << ::testing::PrintToString(log2);
}

TEST(NetworkJob, NamesThatDecodeToOtherCharactersAreNotSentAgain) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir local;
    // name on disk and its CP932 form on the wire and in the list, in the order the folder lists them
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ghost/master/¢.txt", "ghost/master/\x81\x91.txt"},
        {"ghost/master/£.txt", "ghost/master/\x81\x92.txt"},
        {"ghost/master/¬.txt", "ghost/master/\x81\xCA.txt"},
        {"ghost/master/—.txt", "ghost/master/\x81\x5C.txt"},
        {"ghost/master/‖.txt", "ghost/master/\x81\x61.txt"},
        {"ghost/master/−.txt", "ghost/master/\x81\x7C.txt"},
        {"ghost/master/〜.txt", "ghost/master/\x81\x60.txt"},
        {"ghost/master/表.txt", "ghost/master/\x95\x5C.txt"}};
    for (const auto& [name, cp932] : files)
        local.write(name, "content of " + name);
    auto job = NetworkJob(server, local.path(), "ghost/master/*.txt");
    auto [log1, ok1] = runThroughLoop(*job);
    ASSERT_TRUE(ok1) << ::testing::PrintToString(log1);
    EXPECT_EQ(stored(server).size(), files.size() + 1);
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, {files.begin(), files.end()}));

    server.clearLog();
    auto [log2, ok2] = runThroughLoop(*job);
    ASSERT_TRUE(ok2) << ::testing::PrintToString(log2);
    EXPECT_TRUE(contains(log2, "更新されたファイルはありません。")) << ::testing::PrintToString(log2);
    EXPECT_TRUE(stored(server).empty());
}

TEST(NetworkJob, ANameWithoutACp932FormFailsOnlyItsJob) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir bad, good;
    bad.write("ghost/master/¥100.txt", "yen"); // ¥ would become 0x5C, the path separator
    bad.write("readme.txt", "r");
    good.write("readme.txt", "fine");
    auto first = NetworkJob(server, bad.path(), "readme.txt\r\nghost/master/*.txt");
    auto second = NetworkJob(server, good.path(), "readme.txt");
    second->Name = "next";
    ScriptedPrompts prompts;
    VectorSink sink;
    std::vector<TSettings*> jobs = {first.get(), second.get()};
    RunCounts counts = RunJobs(
        2, [&](int i) { return jobs[size_t(i)]; }, sink);
    EXPECT_EQ(counts.Run, 2);
    EXPECT_EQ(counts.Succeeded, 1);
    EXPECT_TRUE(
        contains(sink.lines, "ghost\\master\\¥100.txt のファイル名はCP932で表せないため、処理できません。"));
    EXPECT_TRUE(contains(sink.lines, "next実行しました。\r\n"));
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(stored(server), (Lines{"readme.txt", "updates2.dau.uploading"})); // the second job's alone
    EXPECT_EQ(ReadAll(server.root() + "pub/readme.txt"), "fine");
}

TEST(NetworkJob, ALoginCp932CannotHoldIsRefusedNotChanged) {
    FtpServer server;
    TempDir local;
    local.write("readme.txt", "r");
    for (bool inPassword : {false, true}) {
        auto job = NetworkJob(server, local.path(), "readme.txt");
        if (inPassword)
            job->OwnFTP->SetPassword("secret😀");
        else
            job->OwnFTP->ID = "user😀";
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_EQ(log[log.size() - 2],
                  std::string("FTP接続が出来ませんでした。転送は行われません：") +
                      (inPassword ? "パスワード" : "ユーザー名") +
                      "にShift_JIS(CP932)で表せない文字があります。ジョブのサーバー設定で変えてください。");
    }
    for (const std::string& c : server.commands())
        EXPECT_NE(c.rfind("USER", 0), 0u) << "a changed login was sent";
}

namespace {

// The last commands of a run (without QUIT), with the "../" that lead back from the last folder uploaded to.
Lines essentialTail(const FtpServer& server, size_t n) {
    Lines all = server.essentialCommands();
    all.erase(std::remove(all.begin(), all.end(), "QUIT"), all.end());
    Lines tail(all.end() - static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end());
    for (std::string& line : tail)
        for (size_t up; (up = line.find(" ../")) != std::string::npos;)
            line.erase(up + 1, 3);
    return tail;
}

const std::string oldList = "old.txt\x01"
                            "0123456789abcdef0123456789abcdef\x01\r\n";

} // namespace

TEST(NetworkJob, TheServerHoldsTheOldListOrTheNewOneWholeWhateverItRefuses) {
    struct Case {
        std::vector<std::string> switches;
        Lines tail;
    };
    const std::string tmp = "updates2.dau.uploading", prev = "updates2.dau.previous";
    const std::vector<Case> cases = {
        {{}, {"STOR " + tmp, "RNFR " + tmp, "RNTO updates2.dau"}},
        // Renames only onto a free name: the old list is moved aside, not deleted, until the new one is in.
        {{"--no-rename-over"},
         {"RNFR " + tmp, "RNTO updates2.dau", "DELE " + prev, "RNFR updates2.dau", "RNTO " + prev,
          "RNFR " + tmp, "RNTO updates2.dau", "DELE " + prev}},
        // Renames nothing at all: the list goes up in place, and the temporary copy goes.
        {{"--no-rename"}, {"STOR " + tmp, "RNFR " + tmp, "STOR updates2.dau", "DELE " + tmp}},
        // Takes RNFR but refuses every RNTO: the old list must not be deleted on the strength of that.
        {{"--refuse-rnto"},
         {"RNFR " + tmp, "RNTO updates2.dau", "DELE " + prev, "RNFR updates2.dau", "RNTO " + prev,
          "STOR updates2.dau", "DELE " + tmp}},
        // Forbids the temporary name: a plain upload of the list is still allowed.
        {{"--refuse-stor-named", tmp}, {"STOR " + tmp, "STOR updates2.dau"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.switches));
        FtpServer::Config config;
        config.switches = c.switches;
        FtpServer server(config);
        server.rootDir().write("pub/updates2.dau", oldList);
        TempDir local;
        makeGhost(local);
        auto job = NetworkJob(server, local.path(), patterns);
        auto [log, ok] = runThroughLoop(*job);
        ASSERT_TRUE(ok) << ::testing::PrintToString(log);
        EXPECT_EQ(essentialTail(server, c.tail.size()), c.tail);
        EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));
        EXPECT_FALSE(fs::exists(server.root() + "pub/" + tmp));
        EXPECT_FALSE(fs::exists(server.root() + "pub/" + prev));
        EXPECT_EQ(std::count(log.begin(), log.end(), "updates2.dauをアップロードします。"), 1);
    }
}

TEST(NetworkJob, ALinkCutWhileTheOldListIsAsideFailsAndTheNextRunPublishesWhole) {
    FtpServer server(
        serverWith({"--no-rename-over", "--drop-after-rnto", "1"})); // the cut comes after the move aside
    server.rootDir().write("pub/updates2.dau", oldList);
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log1, ok1] = runThroughLoop(*job);
    EXPECT_FALSE(ok1);
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau.previous"), oldList); // nothing was deleted
    auto [log2, ok2] = runThroughLoop(*job);
    ASSERT_TRUE(ok2) << ::testing::PrintToString(log2);
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), expectedList(local, allFiles()));
}

TEST(NetworkJob, ALinkThatDropsDuringTheListLeavesTheOldListIntact) {
    FtpServer server(serverWith({"--drop-during-stor", "updates2.dau.uploading"}));
    server.rootDir().write("pub/updates2.dau", oldList);
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log[log.size() - 2].rfind("FTP接続が出来ませんでした。転送は行われません：", 0), 0u)
        << log[log.size() - 2];
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), oldList);
}

TEST(NetworkJob, APatternThatLeavesTheBaseFolderUploadsWhereTheLogSays) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    TempDir local;
    local.write("other/x.txt", "outside");
    local.write("base/readme.txt", "inside");
    local.write("base/ghost/master/a.dic", "dic");
    auto job = NetworkJob(server, local / "base/", "../other/*.txt\r\nreadme.txt\r\nghost/master/*.dic");
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_TRUE(contains(log, "../other/x.txtをアップロードします。"));
    EXPECT_EQ(ReadAll(server.root() + "other/x.txt"), "outside");
    // The files after it are not one level too high.
    EXPECT_EQ(ReadAll(server.root() + "pub/readme.txt"), "inside");
    EXPECT_EQ(ReadAll(server.root() + "pub/ghost/master/a.dic"), "dic");
    EXPECT_TRUE(fs::exists(server.root() + "pub/updates2.dau"));
    EXPECT_FALSE(fs::exists(server.root() + "readme.txt"));
}

TEST(NetworkJob, AStalledListDownloadFailsTheJobWithoutAMisleadingStory) {
    FtpServer server(serverWith({"--stall-after", "1000"}));
    std::string list;
    for (int i = 0; list.size() < 200000; ++i)
        list += "file" + std::to_string(i) + ".txt\x01" + ReferenceMd5(std::to_string(i)) + "\x01\r\n";
    server.rootDir().write("pub/updates2.dau", list);
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    job->ClientOptions.StallTimeoutMs = 1500;
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "リモートのupdates2.dauの取得に失敗しました");
    EXPECT_EQ(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：サーバーの応答が止まりまし"
                                   "た（2秒間、何も届きませんでした）。");
    EXPECT_TRUE(stored(server).empty());
}

TEST(NetworkJob, CancelEndsTheRunAndLeavesTheServersListAlone) {
    for (bool duringUpload : {false, true}) {
        SCOPED_TRACE(duringUpload ? "during an upload" : "during the list build");
        FtpServer::Config config;
        if (duringUpload)
            config.switches = {"--stall-after", "65536"};
        FtpServer server(config);
        server.rootDir().write("pub/updates2.dau", oldList);
        TempDir local;
        makeGhost(local);
        local.write("shell/master/big.png", RandomBytes(8 << 20));
        auto job = NetworkJob(server, local.path(), patterns);
        auto later = NetworkJob(server, local.path(), patterns);
        later->Name = "later";
        ScriptedPrompts prompts;
        RecordedProgress progress;
        std::chrono::steady_clock::time_point cancelledAt;
        prompts.onPump = [&](int n) {
            // In the list build the first pumps come before the entries; in the upload, a few slices in.
            bool now = duringUpload ? !progress.shown.empty() && progress.shown.back().BytesDone > 0 && n > 30
                                    : n == 2;
            if (now && !CancelRequested()) {
                cancelledAt = std::chrono::steady_clock::now();
                RequestCancel();
            }
        };
        VectorSink sink;
        std::vector<TSettings*> jobs = {job.get(), later.get()};
        RunCounts counts = RunJobs(
            2, [&](int i) { return jobs[size_t(i)]; }, sink);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - cancelledAt).count();
        EXPECT_LT(seconds, 1.0);
        EXPECT_EQ(counts.Run, 1);
        EXPECT_EQ(counts.Succeeded, 0);
        EXPECT_TRUE(
            contains(sink.lines, "FTP接続が出来ませんでした。転送は行われません：ユーザーが中止しました。"))
            << ::testing::PrintToString(sink.lines);
        EXPECT_FALSE(contains(sink.lines, "later実行します。"));
        EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), oldList);
        if (!duringUpload)
            EXPECT_TRUE(server.commands().empty()); // no connection was made
        else
            EXPECT_GT(progress.shown.back().BytesTotal, 8 << 20);
        ClearCancel();
    }
}

namespace {

Lines sortedLines(Lines l) {
    std::sort(l.begin(), l.end());
    return l;
}

int logins(const FtpServer& server) {
    int n = 0;
    for (const std::string& c : server.commands())
        n += c.rfind("PASS", 0) == 0;
    return n;
}

// A ghost of many files in a few folders, for the uploads to overlap.
Lines makeManyFiles(const TempDir& dir, int count) {
    Lines names;
    for (int i = 0; i < count; ++i) {
        std::string name = std::string(i % 3 == 0   ? "ghost/master/"
                                       : i % 3 == 1 ? "shell/master/"
                                                    : "") +
                           "f" + std::to_string(i) + ".txt";
        dir.write(name, RandomBytes(20000 + static_cast<size_t>(i), static_cast<unsigned>(i)));
        names.push_back(name);
    }
    return names;
}

const char* const manyPatterns = "*.txt\r\nghost/master/*.txt\r\nshell/master/*.txt\r\n";

} // namespace

TEST(NetworkJob, FourConnectionsGiveTheSameServerAsOne) {
    for (int connections : {1, 4}) {
        SCOPED_TRACE(connections);
        FtpServer server;
        server.rootDir().mkdir("pub");
        TempDir local;
        Lines names = makeManyFiles(local, 30);
        auto job = NetworkJob(server, local.path(), manyPatterns, "pub", connections);
        auto [log1, ok1] = runThroughLoop(*job);
        ASSERT_TRUE(ok1) << ::testing::PrintToString(log1);
        EXPECT_EQ(logins(server), connections);
        Lines arrived = stored(server);
        ASSERT_FALSE(arrived.empty());
        EXPECT_EQ(arrived.back(), "updates2.dau.uploading"); // the list after every file
        arrived.pop_back();
        EXPECT_EQ(sortedLines(arrived), sortedLines(names));
        expectMirrors(server, local, names);
        TUpdates2dau list;
        list.LoadFromFile(server.root() + "pub/updates2.dau");
        EXPECT_EQ(list.Count(), names.size());
        for (size_t i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list[i].Digest, ReferenceMd5(ReadAll(local / list[i].FileName))) << list[i].FileName;
        // The log keeps one line per file, in the list's order.
        size_t lines = 0;
        for (const std::string& l : log1)
            lines += l.find("をアップロードします。") != std::string::npos &&
                     l != "updates2.dauをアップロードします。";
        EXPECT_EQ(lines, names.size());

        local.write("shell/master/f1.txt", "changed");
        server.clearLog();
        auto [log2, ok2] = runThroughLoop(*job);
        ASSERT_TRUE(ok2);
        EXPECT_EQ(stored(server), (Lines{"shell/master/f1.txt", "updates2.dau.uploading"}));
        server.clearLog();
        auto [log3, ok3] = runThroughLoop(*job);
        EXPECT_TRUE(ok3);
        EXPECT_TRUE(stored(server).empty());
        EXPECT_TRUE(contains(log3, "更新されたファイルはありません。"));
    }
}

TEST(NetworkJob, AServerThatAcceptsTwoLoginsIsUsedWithTwo) {
    FtpServer server(serverWith({"--max-logins", "2"}));
    TempDir local;
    Lines names = makeManyFiles(local, 12);
    auto job = NetworkJob(server, local.path(), manyPatterns, "pub", 4);
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << ::testing::PrintToString(log);
    EXPECT_EQ(logins(server), 2);
    expectMirrors(server, local, names);
    EXPECT_TRUE(fs::exists(server.root() + "pub/updates2.dau"));
}

TEST(NetworkJob, AFailedUploadAmongFourStopsTheRestAndTheListStaysOld) {
    FtpServer server(serverWith({"--refuse-stor-named", "f14.txt"}));
    server.rootDir().write("pub/updates2.dau", oldList);
    TempDir local;
    Lines names = makeManyFiles(local, 60);
    auto job = NetworkJob(server, local.path(), manyPatterns, "pub", 4);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log[log.size() - 2], "FTP接続が出来ませんでした。転送は行われません：f14."
                                   "txtのアップロードに失敗しました：553 Not allowed: "
                                   "f14.txt");
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), oldList);
    EXPECT_LT(stored(server).size(), 10u); // f14.txt is second: hardly any later file was started
    EXPECT_FALSE(contains(log, "updates2.dauをアップロードします。"));
}

TEST(NetworkJob, CancelWithFourTransfersInFlight) {
    FtpServer server(serverWith({"--stall-after", "65536"}));
    server.rootDir().write("pub/updates2.dau", oldList);
    TempDir local;
    for (int i = 0; i < 6; ++i)
        local.write("big" + std::to_string(i) + ".bin", RandomBytes(4 << 20, static_cast<unsigned>(i)));
    auto job = NetworkJob(server, local.path(), "*.bin", "pub", 4);
    ScriptedPrompts prompts;
    CancelWhen cancel(prompts, [&] {
        // Once four uploads are under way, each stalled by the server.
        int handedOut = 0;
        for (const std::string& c : server.commands())
            handedOut += c.rfind("STOR", 0) == 0;
        return handedOut >= 4;
    });
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(cancel.Cancelled());
    EXPECT_LT(cancel.SecondsSinceCancel(), 1.0);
    EXPECT_TRUE(contains(log, "FTP接続が出来ませんでした。転送は行われません：ユーザーが中止しました。"));
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), oldList);
}

namespace {

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}
#endif

// A ghost of small files, as most are.
void makeSmallFiles(const TempDir& dir, int count) {
    for (int i = 0; i < count; ++i)
        dir.write(std::string(i % 3 == 0   ? "ghost/master/"
                              : i % 3 == 1 ? "shell/master/"
                                           : "") +
                      "f" + std::to_string(i) + ".txt",
                  std::to_string(i));
}

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
// The open-file limit of the process, lowered for a test and restored after it.
struct OpenFileLimit {
    rlimit saved{};
    explicit OpenFileLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~OpenFileLimit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
};
#endif

} // namespace

#ifndef _WIN32 // POSIX only: links, modes, signals, limits
TEST(NetworkJob, AFirstUploadOf1500FilesUnderALimitOf256OpenFilesLeavesNoDescriptorBehind) {
    FtpServer server;
    server.rootDir().mkdir("pub");
    FtpServer second;
    second.rootDir().mkdir("pub");
    TempDir local;
    makeSmallFiles(local, 1500);
    OpenFileLimit limit(256);
    const int before = openDescriptors();

    auto job = NetworkJob(server, local.path(), manyPatterns, "pub", 4);
    auto [log, ok] = runThroughLoop(*job);
    ASSERT_TRUE(ok) << log[log.size() - 2];
    EXPECT_EQ(server.received().size(), 1501u);
    std::printf("open descriptors: %d before, %d after 1500 uploads", before, openDescriptors());
    EXPECT_EQ(openDescriptors(), before);

    // A run cancelled with uploads in flight closes its files too.
    ScriptedPrompts prompts;
    prompts.onPump = [&](int n) {
        if (n % 16 == 0 && !CancelRequested() && second.received().size() >= 200)
            RequestCancel();
    };
    auto cancelled = NetworkJob(second, local.path(), manyPatterns, "pub", 4);
    auto [log2, ok2] = runThroughLoop(*cancelled);
    ClearCancel();
    EXPECT_FALSE(ok2);
    EXPECT_LT(second.received().size(), 1500u);
    std::printf(", %d after a cancelled run\n", openDescriptors());
    EXPECT_EQ(openDescriptors(), before);
}
#endif

TEST(NetworkJob, AServersListThatNeverEndsOrDripsFailsTheJobInBoundedTime) {
    {
        FtpServer server(serverWith({"--endless-retr"}));
        TempDir local;
        makeGhost(local);
        auto job = NetworkJob(server, local.path(), patterns);
        auto start = std::chrono::steady_clock::now();
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
        const std::string& failure = log[log.size() - 2];
        EXPECT_EQ(
            failure.rfind(
                "FTP接続が出来ませんでした。転送は行われません：サーバーのupdates2.dauを取得できません", 0),
            0u)
            << failure;
        EXPECT_NE(failure.find("64 MiB"), std::string::npos) << failure;
        EXPECT_TRUE(stored(server).empty()); // nothing was taken for missing
        EXPECT_LE(fs::exists(local / "updates2.dau") ? fs::file_size(local / "updates2.dau") : 0, 0u);
    }
    {
        // A byte every 1.5 s is no progress.
        FtpServer server(serverWith({"--drip-retr", "1.5"}));
        TempDir local;
        makeGhost(local);
        auto job = NetworkJob(server, local.path(), patterns);
        job->ClientOptions.StallTimeoutMs = 3000;
        auto start = std::chrono::steady_clock::now();
        auto [log, ok] = runThroughLoop(*job);
        EXPECT_FALSE(ok);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 6.0);
        EXPECT_EQ(
            log[log.size() - 2],
            "FTP接続が出来ませんでした。転送は行われません：サーバーの応答が止まりました（3秒間、何も届き"
            "ませんでした）。");
        EXPECT_TRUE(stored(server).empty());
    }
}

TEST(NetworkJob, AListNear64MiBCostsASmallMultipleOfItsSizeAndTheComparisonHearsCancel) {
    FtpServer server;
    std::string list;
    list.reserve(64 << 20);
    const std::string digest = ReferenceMd5("x");
    for (int i = 0; list.size() < (63u << 20); ++i)
        list += "ghost/master/file" + std::to_string(i) + ".txt\x01" + digest + "\x01\r\n";
    list += "readme.txt\x01" + ReferenceMd5("read me\r\n") + "\x01\r\n";
    server.rootDir().write("pub/updates2.dau", list);
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    std::pair<Lines, bool> result;
    auto start = std::chrono::steady_clock::now();
    long peakKiB = PeakKiBAbove([&] { result = runThroughLoop(*job); });
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto& [log, ok] = result;
    ASSERT_TRUE(ok) << log[log.size() - 2];
    EXPECT_FALSE(contains(log, "readme.txtはリモートサーバ上に存在しません。アップロード対象とします。"));
    EXPECT_TRUE(
        contains(log, "ghost/master/a.dicはリモートサーバ上に存在しません。アップロード対象とします。"));
    const double listMiB = double(list.size()) / (1 << 20);
    std::printf("a %.0f MiB list: %.2f s for the whole job, %.0f MiB of memory above the start (%.1f x)\n",
                listMiB, seconds, peakKiB / 1024.0, peakKiB / 1024.0 / listMiB);
    EXPECT_LT(peakKiB / 1024.0, 4 * listMiB);

    // A cancel once the list is here is heard while it is read, not after.
    server.rootDir().write("pub/updates2.dau", list);
    ScriptedPrompts prompts;
    CancelWhen cancel(prompts, [&] {
        return fs::exists(local / "updates2.dau") && fs::file_size(local / "updates2.dau") == list.size();
    });
    auto [log2, ok2] = runThroughLoop(*job);
    EXPECT_FALSE(ok2);
    ASSERT_TRUE(cancel.Cancelled());
    EXPECT_LT(cancel.SecondsSinceCancel(), 1.0);
    EXPECT_FALSE(contains(log2, "更新されたファイルはありません。"));
}

TEST(NetworkJob, AFailedUploadIsToldAsItsOwnAndNoDirectoryIsSaidToBeMade) {
    FtpServer server(serverWith({"--refuse-stor-named", "readme.txt"}));
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log[log.size() - 2],
              "FTP接続が出来ませんでした。転送は行われません：readme.txtのアップロードに失敗し"
              "ました：553 Not allowed: readme.txt");
    for (const std::string& line : log)
        EXPECT_EQ(line.rfind("ディレクトリ", 0), std::string::npos) << line;
}

TEST(NetworkJob, AServerThatRefusesToEnterTheDirectoryItMadeGetsNoFile) {
    FtpServer server(serverWith({"--refuse-cwd"}));
    TempDir local;
    makeGhost(local);
    auto job = NetworkJob(server, local.path(), patterns);
    auto [log, ok] = runThroughLoop(*job);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(fs::is_directory(server.root() + "pub"));
    EXPECT_TRUE(stored(server).empty());
    EXPECT_EQ(log[log.size() - 2],
              "FTP接続が出来ませんでした。転送は行われません：550 Changing directories is not allowed.");
}

TEST(NetworkJob, CancelAgainstAServerThatStoppedAnsweringEndsTheJobWithinASecond) {
    FtpServer server(serverWith({"--silent-after", "RETR"}));
    server.rootDir().write("pub/updates2.dau", oldList);
    TempDir local;
    makeSmallFiles(local, 40);
    auto job = NetworkJob(server, local.path(), manyPatterns, "pub", 4);
    ScriptedPrompts prompts;
    CancelWhen cancel(prompts, [&] {
        // Once a command after the list's download has gone unanswered.
        Lines commands = server.commands();
        auto retr = std::find(commands.begin(), commands.end(), "RETR updates2.dau");
        return retr != commands.end() &&
               std::any_of(retr + 1, commands.end(), [](const std::string& c) { return c[0] != '#'; });
    });
    auto [log, ok] = runThroughLoop(*job);
    double seconds = cancel.SecondsSinceCancel();
    EXPECT_FALSE(ok);
    ASSERT_TRUE(cancel.Cancelled());
    std::printf("from cancel to the end of the job against a silent server: %.3f s\n", seconds);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(ReadAll(server.root() + "pub/updates2.dau"), oldList);
}
